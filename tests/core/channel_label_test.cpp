#include "core/channel_label.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "core/device_image.h"

namespace zelto {
namespace {

TEST(ChannelLabel, NamesAndReadsEveryOutputChannel) {
  for (int ch = 0; ch < kOutputChannels; ++ch) EXPECT_EQ(ParseChannelLabel(ChannelLabel(ch)), ch) << ch;
  EXPECT_EQ(ChannelLabel(0), "CH1");
  EXPECT_EQ(ChannelLabel(7), "CH8");
}

TEST(ChannelLabel, ReadsOnlyAChannelThatExists) {
  struct Case {
    std::string_view text;
    std::optional<int> channel;
  };
  const Case cases[] = {
      {"ch3", 2},
      {"CH3", 2},
      {"Ch8", 7},
      {"3", 2},
      {"1", 0},
      {"ch0", std::nullopt},
      {"9", std::nullopt},
      {"ch", std::nullopt},
      {"", std::nullopt},
      {"ch10", std::nullopt},
      {"ch3x", std::nullopt},
      {"cx3", std::nullopt},
      {" 3", std::nullopt},
      {"chh3", std::nullopt},
      {"-1", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseChannelLabel(c.text), c.channel) << c.text;
}

}  // namespace
}  // namespace zelto
