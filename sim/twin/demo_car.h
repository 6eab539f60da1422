#pragma once
// The car Zelto builds itself (zelto-sim --car demo): the speakers of the car picture at its
// positions, the microphone at six places around the driver's head, a driver response per speaker
// kind, reflections off the glass, roof and floor, cabin gain and a few modes, and one speaker
// wired the wrong way round. docs/demo-car.md tells how it is made. The same car comes out every
// time, to the last bit.

#include <array>
#include <string_view>

#include "sim/twin/car.h"

namespace zelto::twin {

inline constexpr std::string_view kDemoCarName = "demo";
/// The output (1..8) whose speaker is wired in reverse polarity.
inline constexpr int kDemoReversedOutput = 4;
inline constexpr double kSpeedOfSound = 343.0;  // m/s at 20 °C

struct Point3 {
  double x = 0, y = 0, z = 0;  // metres: x to the right, y to the back, z up
};

/// Where the speaker of `output` (1..8) sits, and whether it has one.
bool DemoSpeakerPlace(int output, Point3& where);
/// The six microphone places: centre (the driver's head), left, right, front, back, up.
const std::array<Point3, 6>& DemoMicrophonePlaces();

Car BuildDemoCar();

}  // namespace zelto::twin
