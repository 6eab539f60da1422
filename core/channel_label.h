#pragma once
// The name every front end gives an output channel ("CH3"), and the one reading of it that the
// command line accepts ("ch3", "CH3" or plain "3").

#include <optional>
#include <string>
#include <string_view>

namespace zelto {

/// "CH1".."CH8" for output channel 0..7.
std::string ChannelLabel(int channel);

/// The 0-based output channel of "ch3", "CH3" or "3"; nothing for any other text.
std::optional<int> ParseChannelLabel(std::string_view text);

}  // namespace zelto
