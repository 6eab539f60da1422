#include "acoustics/ui/auto_tune_choices.h"

#include <cstdlib>
#include <sstream>

#include "acoustics/ui/sim_microphone.h"
#include "core/channel_label.h"

namespace zelto {

namespace {

std::optional<std::vector<int>> ChannelList(const std::string& text) {
  std::vector<int> out;
  std::stringstream s(text);
  for (std::string word; std::getline(s, word, ',');) {
    const auto ch = ParseChannelLabel(word);
    if (!ch) return std::nullopt;
    out.push_back(*ch);
  }
  if (out.empty()) return std::nullopt;
  return out;
}

}  // namespace

AutoTuneChoices AutoTuneChoices::Read(const std::function<const char*(const char*)>& lookup) {
  AutoTuneChoices c;
  const auto get = [&](const char* name) {
    const char* v = lookup(name);
    return v ? std::string(v) : std::string();
  };
  const auto refuse = [&](const char* name, const std::string& value, const char* why) {
    c.problems.push_back(std::string(name) + "=" + value + ": " + why);
  };
  c.audioOut = get("ZELTO_AUDIO_OUT");
  c.audioIn = get("ZELTO_AUDIO_IN");
  if (const auto v = get("ZELTO_TUNE_CHANNELS"); !v.empty()) {
    c.channels = ChannelList(v);
    if (!c.channels) refuse("ZELTO_TUNE_CHANNELS", v, "not a list of channels ch1..ch8");
  }
  if (const auto v = get("ZELTO_TUNE_FULL_RANGE"); !v.empty()) {
    const auto list = ChannelList(v);
    if (list)
      c.fullRange = *list;
    else
      refuse("ZELTO_TUNE_FULL_RANGE", v, "not a list of channels ch1..ch8");
  }
  if (const auto v = get("ZELTO_TUNE_REFERENCE"); !v.empty()) {
    c.reference = ParseChannelLabel(v);
    if (!c.reference) refuse("ZELTO_TUNE_REFERENCE", v, "not a channel ch1..ch8");
  }
  if (const auto v = get("ZELTO_TUNE_POSITIONS"); !v.empty()) {
    char* end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (*end == '\0' && n >= 1 && n <= kMaxPositions)
      c.positions = static_cast<int>(n);
    else
      refuse("ZELTO_TUNE_POSITIONS", v, "not a number from 1 to 16");
  }
  if (const auto v = get("ZELTO_TUNE_LENGTH"); !v.empty()) {
    char* end = nullptr;
    const double s = std::strtod(v.c_str(), &end);
    if (*end == '\0' && s >= 0.5 && s <= 30)
      c.seconds = s;
    else
      refuse("ZELTO_TUNE_LENGTH", v, "not a sweep length from 0.5 to 30 s");
  }
  c.target = get("ZELTO_TUNE_TARGET");
  if (const auto v = get("ZELTO_SIM_MICROPHONE"); !v.empty()) {
    c.simMicrophone = ParseSimMicrophonePort(v);
    if (!c.simMicrophone) refuse("ZELTO_SIM_MICROPHONE", v, "not a control port on loopback");
  }
  if (const auto v = get("ZELTO_MICROPHONE_ANSWER"); !v.empty()) {
    if (v == "ok")
      c.microphoneAnswer = true;
    else if (v == "cancel")
      c.microphoneAnswer = false;
    else
      refuse("ZELTO_MICROPHONE_ANSWER", v, "takes ok or cancel");
  }
  return c;
}

AutoTuneChoices AutoTuneChoices::FromEnvironment() {
  return Read([](const char* name) { return std::getenv(name); });
}

}  // namespace zelto
