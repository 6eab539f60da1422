#pragma once
// The car file: JSON naming the sample rate, the noise floor, the microphone positions and, per
// output channel, one mono WAV impulse response per position, with paths relative to the file:
//
//   {"sample_rate": 48000, "noise_dbfs": -70, "positions": ["centre", "left"],
//    "speakers": [{"output": 1, "name": "front left tweeter", "ir": ["fl_centre.wav", "fl_left.wav"]}]}
//
// A file that cannot be played as it is written is refused as a whole, with a message naming the
// first fault; nothing is half loaded.

#include <filesystem>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/twin/car.h"

namespace zelto::twin {

inline constexpr int kMaxCarPositions = 64;
// Longer responses than this are surely not of a car's cabin, and would take gigabytes.
inline constexpr double kMaxImpulseSeconds = 10.0;

/// The car file with its impulse responses still as paths.
struct CarDescription {
  int sampleRate = 0;
  std::optional<double> noiseDbfs;
  std::vector<std::string> positions;
  struct Speaker {
    int output = 0;
    std::string name;
    std::vector<std::filesystem::path> ir;  // resolved against the file's folder
  };
  std::vector<Speaker> speakers;
};

/// Reads the JSON text of a car file; relative paths are taken from `folder`. Null with `error`
/// set when the text is not a car file that can be played.
std::optional<CarDescription> ParseCarDescription(std::string_view text, const std::filesystem::path& folder,
                                                  std::string* error);

/// Decodes one mono impulse response at `sampleRate` from the bytes of a sound file called `name`.
/// Null with `error` set otherwise.
std::optional<std::vector<float>> DecodeImpulseResponse(std::span<const std::uint8_t> bytes, const std::string& name,
                                                        int sampleRate, std::string* error);
/// Reads one mono impulse response at `sampleRate`. Null with `error` set otherwise.
std::optional<std::vector<float>> ReadImpulseResponse(const std::filesystem::path& wav, int sampleRate,
                                                      std::string* error);

/// Writes one mono impulse response as a 32-bit float WAV. False with `error` set.
bool WriteImpulseResponse(const std::filesystem::path& wav, int sampleRate, const std::vector<float>& samples,
                          std::string* error);

/// Reads a car file and every impulse response it names. Null with `error` set (naming the file and
/// the fault) when anything is wrong.
std::optional<Car> LoadCarFile(const std::filesystem::path& file, std::string* error);

}  // namespace zelto::twin
