#pragma once
// The auto-tune dialog's starting choices, taken from the environment: what a demonstration
// (scripts/run --demo-tune) or a run nobody watches (a screenshot) chooses before Start.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelto {

/// The most microphone positions a run takes.
inline constexpr int kMaxPositions = 16;

/// What the dialog starts with, for a demonstration or a run nobody watches: given in the
/// environment (see FromEnvironment), each empty or unset entry left to the dialog's defaults.
struct AutoTuneChoices {
  std::string audioOut;                        // ZELTO_AUDIO_OUT: feeds the processor (number, name, part)
  std::string audioIn;                         // ZELTO_AUDIO_IN: the microphone
  std::optional<std::vector<int>> channels;    // ZELTO_TUNE_CHANNELS: ch1,ch2,... (0-based here)
  std::vector<int> fullRange;                  // ZELTO_TUNE_FULL_RANGE: channels marked full-range or bass
  std::optional<int> reference;                // ZELTO_TUNE_REFERENCE: the timing reference channel
  int positions = 0;                           // ZELTO_TUNE_POSITIONS: microphone positions, 1..16
  double seconds = 0;                          // ZELTO_TUNE_LENGTH: sweep length in seconds
  std::string target;                          // ZELTO_TUNE_TARGET: flat, car or a file
  std::optional<std::uint16_t> simMicrophone;  // ZELTO_SIM_MICROPHONE: a simulated car's control port
  std::optional<bool> microphoneAnswer;        // ZELTO_MICROPHONE_ANSWER: ok or cancel, asked of nobody
  /// Why an entry was not taken, one line each.
  std::vector<std::string> problems;

  /// Reads the entries through `lookup` (the environment's getenv, or a test's table).
  static AutoTuneChoices Read(const std::function<const char*(const char*)>& lookup);
  static AutoTuneChoices FromEnvironment();
};

}  // namespace zelto
