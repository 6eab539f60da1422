#pragma once
// Files for the measurement commands' tests: a REW filter file and measurements, written into a
// test's scratch folder, and the output blocks of a preset file for comparing.

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "core/device_image.h"
#include "presets/preset_file.h"
#include "ctl_run.h"

namespace zelto::ctl::testing {

inline constexpr const char* kRewFilters =
    "Filter Settings file\n\nRoom EQ V5.20\nNotes: front left\n\nEqualiser: Generic\n"
    "Filter  1: ON  PK       Fc   63.0 Hz  Gain  -8.0 dB  Q  4.000\n"
    "Filter  2: ON  PK       Fc  250.0 Hz  Gain  -4.0 dB  Q  1.500\n"
    "Filter  3: ON  PK       Fc 2900.0 Hz  Gain   3.0 dB  Q  2.000\n"
    "Filter  4: ON  HS       Fc 10000  Hz  Gain  -2.0 dB\n"
    "Filter  5: OFF None\n";

/// Written byte for byte: a text-mode stream on Windows would turn the test's own "\r\n" into
/// "\r\r\n".
inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

/// A REW text export of a car speaker: a bass hump, a 12 dB cancellation dip at 300 Hz and a
/// ripple, 1/48-octave points from 15 Hz to 22 kHz.
inline std::string CarMeasurementText() {
  std::string text = "* Measurement data measured by REW V5.20\n* Freq(Hz) SPL(dB) Phase(degrees)\n";
  for (double f = 15; f <= 22000; f *= std::pow(2.0, 1.0 / 48)) {
    const double o = std::log2(f);
    auto bump = [&](double hz, double db, double octaves) {
      const double d = (o - std::log2(hz)) / octaves;
      return db * std::exp(-d * d);
    };
    const double db = 84 + bump(45, 7, 0.6) + bump(300, -12, 0.1) + bump(2400, 4, 0.35) + std::sin(o * 9.1);
    char line[64];
    std::snprintf(line, sizeof line, "%.3f %.3f 0.0\n", f, db);
    text += line;
  }
  return text;
}

/// A REW text export of a subwoofer behind an 80 Hz LR24 low-pass in a car: cabin gain, a
/// resonance at 45 Hz, 1/48-octave points from 15 Hz to 500 Hz.
inline std::string SubwooferMeasurementText() {
  std::string text = "* Measurement data measured by REW V5.20\n* Freq(Hz) SPL(dB) Phase(degrees)\n";
  for (double f = 15; f <= 500; f *= std::pow(2.0, 1.0 / 48)) {
    const double d = std::log2(f / 45) / 0.25;
    const double lowPass = -20 * std::log10(1 + std::pow(f / 80, 4));  // LR24: two 12 dB Butterworths
    const double db = 95 + 6 * std::exp(-d * d / 2) + lowPass;
    char line[64];
    std::snprintf(line, sizeof line, "%.3f %.3f 0.0\n", f, db);
    text += line;
  }
  return text;
}

/// The output blocks (as sent) of a single-preset file's live preset.
inline std::vector<std::vector<std::uint8_t>> OutputBlocks(const std::string& path) {
  DeviceImage image;
  InitDeviceImage(image);
  std::vector<std::vector<std::uint8_t>> blocks;
  if (!ReadSinglePresetFile(ReadBytes(path), image)) return blocks;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto b = image.Block(0, BlockType::Output, ch).first(out::kSendSize);
    blocks.emplace_back(b.begin(), b.end());
  }
  return blocks;
}

}  // namespace zelto::ctl::testing
