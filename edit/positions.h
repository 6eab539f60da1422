#pragma once
// The car picture's speaker positions: which position a channel type lights, which channel a
// position edits, which delay box belongs to which position; and which strip and curve buttons act.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/encodings.h"

namespace zelto {

namespace rules {

/// One speaker position of the car picture: its button, its code, its delay box and the channel
/// types it stands for.
struct PositionSpot {
  int buttonId;
  int code;
  int delayBoxId;
  std::array<std::uint8_t, 3> types;
  int typeCount;

  bool Has(int type) const;
};

inline constexpr int kPositionCount = 16;
/// The spin of a delay box is the box id + 30, except for box 2597 whose spin is 2627.
inline constexpr int kDelaySpinOffset = 30;
inline constexpr int kLastDelayBox = 2597;
inline constexpr int kLastDelaySpin = 2627;

/// The sixteen positions in the order the picture lists them.
const std::array<PositionSpot, kPositionCount>& PositionSpots();
/// The position with this code, or null.
const PositionSpot* SpotOfCode(int code);
/// The position with this button id, or null.
const PositionSpot* SpotOfButton(int buttonId);
/// The position a channel type is shown on, or null (type 0 and unknown types have none).
const PositionSpot* SpotOfType(int type);
int DelaySpinOfBox(int boxId);

/// The channel a position edits: for codes 1, 3, 7, 9, 14 and 17 the first channel whose type is
/// in the position's group; for every other code the last channel whose type equals the code.
/// `types` are the channel types of the output channels (the first eight bytes of the table).
std::optional<int> ChannelForPosition(std::span<const std::uint8_t> types, int code);
/// A position (and its delay box) is shown while some channel has a type it stands for.
bool PositionShown(std::span<const std::uint8_t> types, int code);
/// Name of a position for tool tips: the channel-type name of its code.
std::string_view PositionName(int code, Language lang);

// Channel strips and curve buttons.
inline constexpr int kStripCount = 7;        // channels 0..6 have a strip, channel 7 none
inline constexpr int kCurveButtonCount = 7;  // "CH1".."CH6", "CH7/8"
/// The one strip whose select button re-selects its channel even when it is already current.
inline constexpr int kAlwaysReselectChannel = 1;
/// Whether pressing the select button of `pressed` runs a selection while `current` is current.
bool SelectButtonActs(int current, int pressed);
/// Whether curve button `button` may flip its channel's flag (never for the current channel).
bool CurveButtonActs(int current, int button);

/// The channel types of the eight output channels (the first eight bytes of the table).
std::span<const std::uint8_t> OutputChannelTypes(std::span<const std::uint8_t> types);

}  // namespace rules
}  // namespace zelto
