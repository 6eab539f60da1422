#pragma once
// Cars Zelto builds itself from a description of the cabin's speakers and microphone places: a
// driver response per speaker kind, reflections off the glass, roof and floor, cabin gain, a few
// modes and a diffuse tail. The demo car (zelto-sim --car demo) is one: the speakers of the car
// picture at its positions, the microphone at six places around the driver's head, one speaker
// wired the wrong way round. docs/demo-car.md tells how it is made. The same description gives the
// same car every time, to the last bit.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim/twin/car.h"

namespace zelto::twin {

inline constexpr std::string_view kDemoCarName = "demo";
/// The output (1..8) of the demo car whose speaker is wired in reverse polarity.
inline constexpr int kDemoReversedOutput = 4;
inline constexpr double kSpeedOfSound = 343.0;  // m/s at 20 °C

struct Point3 {
  double x = 0, y = 0, z = 0;  // metres: x to the right, y to the back, z up from the cabin floor
};

enum class DriverKind { Tweeter, Mid, Woofer, FullRange, Subwoofer };

struct ModelSpeaker {
  int output = 1;  // 1..8
  std::string name;
  DriverKind kind = DriverKind::FullRange;
  Point3 place;
  bool reversed = false;  // wired in reverse polarity
  double lateMs = 0.0;    // arrives this much later than its distance says (an amplifier's own delay)
};

struct ModelMicrophone {
  std::string name;
  Point3 place;
};

/// A cancellation at one microphone position: every speaker heard there loses `depthDb` around
/// `hz`, as where two arrivals meet in opposite phase.
struct ModelNull {
  std::size_t position = 0;
  double hz = 100.0;
  double depthDb = 20.0;
  double widthOct = 0.2;
};

struct CarModel {
  std::vector<ModelSpeaker> speakers;
  std::vector<ModelMicrophone> microphones;
  double noiseDbfs = -72.0;
  std::vector<ModelNull> nulls;
};

/// The car described by `model`, at 48 kHz, every response 16384 samples long.
Car BuildCar(const CarModel& model);

/// The demo car's description: the car picture's speakers for the default channel types.
CarModel DemoCarModel();
Car BuildDemoCar();

}  // namespace zelto::twin
