// Which position shows, which channel it edits, and which strip and curve buttons act.

#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "edit/positions.h"

namespace zelto::rules {
namespace {

using Types = std::array<std::uint8_t, 12>;
constexpr Types kDefaultTypes = {1, 7, 5, 11, 15, 18, 24, 0, 0, 0, 0, 0};

TEST(PositionRules, DefaultTypesShowTheirPositionsOnly) {
  // Front-left mid (2) and the centre speakers have no channel with the default types.
  for (int code : {1, 3, 7, 9, 14, 17, 24}) EXPECT_TRUE(PositionShown(kDefaultTypes, code)) << code;
  for (int code : {2, 8, 13, 16, 19, 20, 21, 22, 23}) EXPECT_FALSE(PositionShown(kDefaultTypes, code)) << code;
}

TEST(PositionRules, ChannelForPosition) {
  struct Case {
    Types types;
    int code;
    std::optional<int> channel;
  };
  const Case cases[] = {
      {kDefaultTypes, 1, 0},
      {kDefaultTypes, 9, 3},  // type 11 stands on the front-right woofer position
      {kDefaultTypes, 24, 6},
      {kDefaultTypes, 2, std::nullopt},
      {kDefaultTypes, 99, std::nullopt},
      // Types 5 and 6 both stand on position 3: the first of them is taken.
      {{0, 6, 5, 0, 0, 0, 0, 0}, 3, 1},
      // Two channels of type 13: the rear-left tweeter takes the later one.
      {{13, 0, 13, 0, 0, 0, 0, 0}, 13, 2},
      // Positions 14 and 17 take the first channel of their group.
      {{0, 15, 14, 0, 0, 0, 0, 0}, 14, 1},
      {{0, 0, 0, 18, 17, 0, 0, 0}, 17, 3},
      // A type number beyond the eight output channels is not a channel.
      {{0, 0, 0, 0, 0, 0, 0, 0, 13, 0, 0, 0}, 13, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ChannelForPosition(c.types, c.code), c.channel) << "code " << c.code;
}

TEST(PositionRules, EveryTypeHasOnePositionAndBox) {
  for (int type = 1; type <= 24; ++type) {
    const PositionSpot* spot = SpotOfType(type);
    ASSERT_NE(spot, nullptr) << type;
    EXPECT_EQ(SpotOfButton(spot->buttonId), spot);
  }
  EXPECT_EQ(SpotOfType(0), nullptr);
  EXPECT_EQ(SpotOfType(25), nullptr);
  EXPECT_EQ(SpotOfType(4)->delayBoxId, 2580);
  EXPECT_EQ(SpotOfType(19)->delayBoxId, 2597);
  EXPECT_EQ(DelaySpinOfBox(2597), 2627);
  EXPECT_EQ(DelaySpinOfBox(2585), 2615);
}

TEST(SelectionRules, PressingTheCurrentChannelActsOnlyOnTheSecondStrip) {
  EXPECT_FALSE(SelectButtonActs(0, 0));
  EXPECT_TRUE(SelectButtonActs(0, 3));
  EXPECT_TRUE(SelectButtonActs(1, 1));
  EXPECT_FALSE(CurveButtonActs(4, 4));
  EXPECT_TRUE(CurveButtonActs(4, 5));
}

}  // namespace
}  // namespace zelto::rules
