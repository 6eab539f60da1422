#pragma once
// Expected lines of the simulated processor's frame trace, built up from the pieces a preset
// transfer is made of.

#include <initializer_list>
#include <string>
#include <vector>

#include "core/device_image.h"

namespace zelto::testing {

using Lines = std::vector<std::string>;

/// A transfer framed by muting the master output and restoring it.
inline Lines QuietWrap(Lines body) {
  body.insert(body.begin(), "WRITE slot 0 SYSTEM SETTINGS len 8 -> ACK");
  body.push_back("WRITE slot 0 SYSTEM SETTINGS len 8 -> ACK");
  return body;
}

/// One line per output channel: `command` of `slot`, then `tail`.
inline Lines OutputLines(const std::string& command, int slot, const std::string& tail) {
  Lines lines;
  for (int c = 0; c < kOutputChannels; ++c)
    lines.push_back(command + " slot " + std::to_string(slot) + " OUTPUT ch " + std::to_string(c) + tail);
  return lines;
}

inline Lines Join(std::initializer_list<Lines> parts) {
  Lines out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace zelto::testing
