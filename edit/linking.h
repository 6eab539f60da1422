#pragma once
// Linking: pairs of left and right channel types, the link groups an edit reaches, and the
// channel copies joining a group brings.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/device_image.h"

namespace zelto {

namespace rules {

/// The partner of `channel` in an active link pair, if it is in one.
std::optional<int> PairPartner(const DeviceImage& image, int channel);

/// The channel types one link pair entry joins: left and right counterparts of one speaker.
struct PairTypes {
  std::uint8_t left;
  std::uint8_t right;
};
inline constexpr int kLinkPairEntries = 10;
const std::array<PairTypes, kLinkPairEntries>& LinkPairTypes();

/// Fills the pair table from the channel types of the eight output channels: an entry is active
/// when both of its types have a channel (a later channel of a type replaces an earlier one).
/// Returns the number of active entries.
int BuildLinkPairs(DeviceImage& image);
/// Every channel its own group again and every pair entry cleared (what switching linking off does).
void ClearLinks(DeviceImage& image);
/// The channels of `channel`'s link group, in channel order; `channel` itself is always one of them.
std::vector<int> LinkGroup(const DeviceImage& image, int channel);

/// Which side of a pair is the reference whose settings the other takes.
enum class CopyDirection { LeftToRight = 0, RightToLeft = 1 };
struct ChannelCopy {
  int source;
  int target;
  bool operator==(const ChannelCopy&) const = default;
};
/// Makes `channel` a member of group `group`; returns the copies that brings (every other member
/// of the group into `channel`), none when it was a member already.
std::vector<ChannelCopy> JoinLinkGroup(DeviceImage& image, int group, int channel);
/// Joins the two channels of every active pair, the reference side first; the copies in order.
std::vector<ChannelCopy> LinkActivePairs(DeviceImage& image, CopyDirection direction);

}  // namespace rules
}  // namespace zelto
