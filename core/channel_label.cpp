#include "core/channel_label.h"

#include "core/device_image.h"

namespace zelto {

std::string ChannelLabel(int channel) { return "CH" + std::to_string(channel + 1); }

std::optional<int> ParseChannelLabel(std::string_view text) {
  if (text.size() > 2 && (text[0] == 'c' || text[0] == 'C') && (text[1] == 'h' || text[1] == 'H'))
    text.remove_prefix(2);
  if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kOutputChannels) return std::nullopt;
  return text[0] - '1';
}

}  // namespace zelto
