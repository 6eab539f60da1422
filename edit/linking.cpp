#include "edit/linking.h"

#include "edit/positions.h"

namespace zelto::rules {

namespace {

constexpr std::array<PairTypes, kLinkPairEntries> kPairTypes = {{
    {1, 7},    // front tweeters
    {2, 8},    // front mids
    {3, 9},    // front woofers
    {4, 10},   // front upper mids
    {5, 11},   // front lower mids
    {6, 12},   // front full range
    {13, 16},  // rear tweeters
    {14, 17},  // rear woofers
    {15, 18},  // rear full range
    {22, 23},  // subwoofers
}};

}  // namespace

std::optional<int> PairPartner(const DeviceImage& image, int channel) {
  for (const LinkPair& pair : image.linkPairs) {
    if (!pair.active) continue;
    if (pair.first == channel) return pair.second;
    if (pair.second == channel) return pair.first;
  }
  return std::nullopt;
}

const std::array<PairTypes, kLinkPairEntries>& LinkPairTypes() { return kPairTypes; }

int BuildLinkPairs(DeviceImage& image) {
  // Channel numbers are kept one higher while scanning, so that 0 means "no channel of this type".
  std::array<int, kLinkPairEntries> left{};
  std::array<int, kLinkPairEntries> right{};
  // Only the eight output channels count: a type byte beyond them (the table has twelve) names no
  // channel, and pairing it would make a copy into a channel that does not exist.
  const auto types = OutputChannelTypes(image.ChannelTypes());
  for (std::size_t ch = 0; ch < types.size(); ++ch) {
    for (std::size_t j = 0; j < kPairTypes.size(); ++j) {
      if (types[ch] == kPairTypes[j].left) left[j] = static_cast<int>(ch) + 1;
      if (types[ch] == kPairTypes[j].right) right[j] = static_cast<int>(ch) + 1;
    }
  }
  int active = 0;
  for (std::size_t j = 0; j < kPairTypes.size(); ++j) {
    LinkPair& pair = image.linkPairs[j];
    pair.active = left[j] != 0 && right[j] != 0 ? 1 : 0;
    pair.first = static_cast<std::uint8_t>(left[j] ? left[j] - 1 : 0);
    pair.second = static_cast<std::uint8_t>(right[j] ? right[j] - 1 : 0);
    active += pair.active;
  }
  return active;
}

void ClearLinks(DeviceImage& image) {
  for (int i = 0; i < kLinkGroupEntries; ++i) image.linkGroups[static_cast<std::size_t>(i)] = i;
  for (LinkPair& pair : image.linkPairs) pair = LinkPair{};
}

std::vector<int> LinkGroup(const DeviceImage& image, int channel) {
  std::vector<int> group;
  for (int ch = 0; ch < kOutputChannels; ++ch)
    if (ch == channel || image.SameLinkGroup(channel, ch)) group.push_back(ch);
  return group;
}

std::vector<ChannelCopy> JoinLinkGroup(DeviceImage& image, int group, int channel) {
  std::vector<ChannelCopy> copies;
  if (channel < 0 || channel >= kOutputChannels) return copies;
  auto& number = image.linkGroups[static_cast<std::size_t>(channel)];
  if (number == group) return copies;
  number = group;
  for (int other = 0; other < kOutputChannels; ++other)
    if (other != channel && image.linkGroups[static_cast<std::size_t>(other)] == group)
      copies.push_back({other, channel});
  return copies;
}

std::vector<ChannelCopy> LinkActivePairs(DeviceImage& image, CopyDirection direction) {
  std::vector<ChannelCopy> copies;
  for (const LinkPair& pair : image.linkPairs) {
    if (!pair.active) continue;
    const int reference = direction == CopyDirection::LeftToRight ? pair.first : pair.second;
    const int follower = direction == CopyDirection::LeftToRight ? pair.second : pair.first;
    for (const ChannelCopy& c : JoinLinkGroup(image, reference, follower)) copies.push_back(c);
  }
  return copies;
}

}  // namespace zelto::rules
