#pragma once
// A car as the twin plays into it: per output channel that speaker's impulse response at each
// microphone position, the rate they were measured or modelled at, and the noise floor of the
// microphone. A car comes from a car file (car_file.h) or is built by Zelto itself (demo_car.h).

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zelto::twin {

struct CarSpeaker {
  int output = 1;  // 1..8, the processor's output channel as the car file counts it
  std::string name;
  std::vector<std::vector<float>> ir;  // one mono impulse response per microphone position
};

struct Car {
  int sampleRate = 48000;
  std::optional<double> noiseDbfs;  // RMS level of white noise added at the microphone
  std::vector<std::string> positions;
  std::vector<CarSpeaker> speakers;  // outputs not listed are silent

  /// The speaker on `output` (1..8), or null.
  const CarSpeaker* SpeakerOn(int output) const;
};

}  // namespace zelto::twin
