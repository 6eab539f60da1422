// Pairs of channel types, link groups and the copies joining one brings.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "edit/linking.h"

namespace zelto::rules {
namespace {

using Types = std::array<std::uint8_t, 12>;
constexpr Types kDefaultTypes = {1, 7, 5, 11, 15, 18, 24, 0, 0, 0, 0, 0};

TEST(SelectionRules, PairPartnerOnlyForActivePairs) {
  DeviceImage image;
  InitDeviceImage(image);
  image.linkPairs[0] = {1, 0, 1};
  image.linkPairs[1] = {0, 2, 3};
  EXPECT_EQ(PairPartner(image, 0), 1);
  EXPECT_EQ(PairPartner(image, 1), 0);
  EXPECT_EQ(PairPartner(image, 2), std::nullopt);
}

DeviceImage ImageWithTypes(std::array<std::uint8_t, 12> types) {
  DeviceImage image;
  InitDeviceImage(image);
  std::copy(types.begin(), types.end(), image.ChannelTypes().begin());
  return image;
}

TEST(LinkRules, DefaultTypesPairThreeChannelPairs) {
  DeviceImage image = ImageWithTypes(kDefaultTypes);
  EXPECT_EQ(BuildLinkPairs(image), 3);
  EXPECT_EQ(PairPartner(image, 0), 1);
  EXPECT_EQ(PairPartner(image, 3), 2);
  EXPECT_EQ(PairPartner(image, 5), 4);
  EXPECT_EQ(PairPartner(image, 6), std::nullopt);  // the subwoofer has no counterpart
  const auto copies = LinkActivePairs(image, CopyDirection::LeftToRight);
  EXPECT_EQ(copies, (std::vector<ChannelCopy>{{0, 1}, {2, 3}, {4, 5}}));
  EXPECT_TRUE(image.SameLinkGroup(0, 1));
  EXPECT_FALSE(image.SameLinkGroup(1, 2));
  EXPECT_EQ(LinkGroup(image, 3), (std::vector<int>{2, 3}));
}

TEST(LinkRules, RightToLeftCopiesTheOtherWay) {
  DeviceImage image = ImageWithTypes(kDefaultTypes);
  BuildLinkPairs(image);
  EXPECT_EQ(LinkActivePairs(image, CopyDirection::RightToLeft), (std::vector<ChannelCopy>{{1, 0}, {3, 2}, {5, 4}}));
}

TEST(LinkRules, PairingEdges) {
  // Two front-left tweeters and one right: only the later left one pairs.
  DeviceImage twoLeft = ImageWithTypes({1, 1, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(BuildLinkPairs(twoLeft), 1);
  EXPECT_EQ(PairPartner(twoLeft, 2), 1);
  EXPECT_EQ(PairPartner(twoLeft, 0), std::nullopt);
  // Centre speakers and the plain subwoofer never pair; one side alone stays inactive.
  DeviceImage centre = ImageWithTypes({19, 20, 21, 24, 22, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(BuildLinkPairs(centre), 0);
  EXPECT_EQ(centre.linkPairs[9].active, 0);
  EXPECT_EQ(centre.linkPairs[9].first, 4);
  // A type byte beyond the eight output channels names no channel to copy into.
  DeviceImage beyond = ImageWithTypes({1, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0});
  EXPECT_EQ(BuildLinkPairs(beyond), 0);
  EXPECT_TRUE(LinkActivePairs(beyond, CopyDirection::LeftToRight).empty());
}

TEST(LinkRules, JoiningAGroupTwiceCopiesOnce) {
  DeviceImage image = ImageWithTypes(kDefaultTypes);
  EXPECT_EQ(JoinLinkGroup(image, 0, 1), (std::vector<ChannelCopy>{{0, 1}}));
  EXPECT_TRUE(JoinLinkGroup(image, 0, 1).empty());
  // A third member takes the settings of every member already there.
  EXPECT_EQ(JoinLinkGroup(image, 0, 6), (std::vector<ChannelCopy>{{0, 6}, {1, 6}}));
  ClearLinks(image);
  for (int ch = 0; ch < kOutputChannels; ++ch) EXPECT_EQ(LinkGroup(image, ch), std::vector<int>{ch});
  for (const auto& pair : image.linkPairs) EXPECT_EQ(pair.active, 0);
}

}  // namespace
}  // namespace zelto::rules
