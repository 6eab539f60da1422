#include "edit/positions.h"

#include <algorithm>

#include "core/device_image.h"

namespace zelto::rules {

namespace {

constexpr std::array<PositionSpot, kPositionCount> kSpots = {{
    {2700, 1, 2580, {1, 4, 0}, 2},
    {2702, 2, 2581, {2, 0, 0}, 1},
    {2704, 3, 2582, {3, 5, 6}, 3},
    {2701, 7, 2583, {7, 10, 0}, 2},
    {2703, 8, 2584, {8, 0, 0}, 1},
    {2705, 9, 2585, {9, 11, 12}, 3},
    {2706, 13, 2586, {13, 0, 0}, 1},
    {2708, 14, 2588, {14, 15, 0}, 2},
    {2709, 16, 2589, {16, 0, 0}, 1},
    {2711, 17, 2591, {17, 18, 0}, 2},
    {2717, 19, 2597, {19, 0, 0}, 1},
    {2715, 20, 2595, {20, 0, 0}, 1},
    {2716, 21, 2596, {21, 0, 0}, 1},
    {2712, 22, 2592, {22, 0, 0}, 1},
    {2714, 23, 2594, {23, 0, 0}, 1},
    {2713, 24, 2593, {24, 0, 0}, 1},
}};

// Positions whose button stands for a group of types take the first channel of the group; the
// others take the last channel of exactly their type.
constexpr std::array<int, 6> kFirstMatchCodes = {1, 3, 7, 9, 14, 17};

// English names of the channel types, for tool tips on the car picture.
constexpr std::array<std::string_view, 25> kTypeNamesEn = {"None",
                                                           "Front left tweeter",
                                                           "Front left mid",
                                                           "Front left woofer",
                                                           "Front left mid-high",
                                                           "Front left mid-low",
                                                           "Front left full range",
                                                           "Front right tweeter",
                                                           "Front right mid",
                                                           "Front right woofer",
                                                           "Front right mid-high",
                                                           "Front right mid-low",
                                                           "Front right full range",
                                                           "Rear left tweeter",
                                                           "Rear left mid-low",
                                                           "Rear left full range",
                                                           "Rear right tweeter",
                                                           "Rear right mid-low",
                                                           "Rear right full range",
                                                           "Centre tweeter",
                                                           "Centre mid-low",
                                                           "Centre full range",
                                                           "Left subwoofer",
                                                           "Right subwoofer",
                                                           "Subwoofer"};

}  // namespace

std::span<const std::uint8_t> OutputChannelTypes(std::span<const std::uint8_t> types) {
  return types.first(std::min<std::size_t>(types.size(), kOutputChannels));
}

bool PositionSpot::Has(int type) const {
  for (int i = 0; i < typeCount; ++i)
    if (types[static_cast<std::size_t>(i)] == type) return true;
  return false;
}

const std::array<PositionSpot, kPositionCount>& PositionSpots() { return kSpots; }

const PositionSpot* SpotOfCode(int code) {
  for (const auto& s : kSpots)
    if (s.code == code) return &s;
  return nullptr;
}

const PositionSpot* SpotOfButton(int buttonId) {
  for (const auto& s : kSpots)
    if (s.buttonId == buttonId) return &s;
  return nullptr;
}

const PositionSpot* SpotOfType(int type) {
  if (type <= 0) return nullptr;
  for (const auto& s : kSpots)
    if (s.Has(type)) return &s;
  return nullptr;
}

int DelaySpinOfBox(int boxId) { return boxId == kLastDelayBox ? kLastDelaySpin : boxId + kDelaySpinOffset; }

std::optional<int> ChannelForPosition(std::span<const std::uint8_t> types, int code) {
  const PositionSpot* spot = SpotOfCode(code);
  if (!spot) return std::nullopt;
  const auto channels = OutputChannelTypes(types);
  const bool firstOfGroup = std::find(kFirstMatchCodes.begin(), kFirstMatchCodes.end(), code) != kFirstMatchCodes.end();
  std::optional<int> found;
  for (std::size_t ch = 0; ch < channels.size(); ++ch) {
    const int type = channels[ch];
    if (firstOfGroup) {
      if (spot->Has(type)) return static_cast<int>(ch);
    } else if (type == code) {
      found = static_cast<int>(ch);
    }
  }
  return found;
}

bool PositionShown(std::span<const std::uint8_t> types, int code) {
  const PositionSpot* spot = SpotOfCode(code);
  if (!spot) return false;
  for (std::uint8_t type : OutputChannelTypes(types))
    if (type != 0 && spot->Has(type)) return true;
  return false;
}

std::string_view PositionName(int code, Language lang) {
  if (code < 0 || code >= static_cast<int>(kTypeNamesEn.size())) return {};
  return lang == Language::Chinese ? ChannelTypeName(code) : kTypeNamesEn[static_cast<std::size_t>(code)];
}

bool SelectButtonActs(int current, int pressed) { return pressed != current || pressed == kAlwaysReselectChannel; }

bool CurveButtonActs(int current, int button) { return button != current; }

}  // namespace zelto::rules
