#pragma once
// The microphone of a simulated car (zelto-sim --car ... --control-port PORT): where the window
// measures a car that only exists in zelto-sim, the user's "OK, moved" moves that microphone too,
// as a person would move a real one.

#include <cstdint>
#include <optional>
#include <string>

namespace zelto {

/// The control port named by `text` ("5751" or "127.0.0.1:5751"; only loopback is spoken to);
/// nothing for any other text.
std::optional<std::uint16_t> ParseSimMicrophonePort(const std::string& text);

/// Moves the simulated car's microphone to `position` (0-based) through its control port on
/// loopback. The car's answer (the position it now uses), or why it could not be moved, in `reply`.
bool MoveSimMicrophone(std::uint16_t port, int position, std::string* reply);

}  // namespace zelto
