// The crossover limits of the boxes and the mix page fields.

#include <gtest/gtest.h>

#include "edit/channel_rules.h"

namespace zelto::rules {
namespace {

TEST(CrossoverRules, LimitsOfTheFormAndThePage) {
  EXPECT_EQ(LimitHighPass(5000, 2000), 2000);
  EXPECT_EQ(LimitHighPass(80, 2000), 80);
  EXPECT_EQ(LimitLowPass(300, 100), 300);
  // Channel 5's high-pass on the page: at most 100 Hz, or the low-pass below that.
  EXPECT_EQ(LimitPageHighPass(5, 250, 20000), 100);
  EXPECT_EQ(LimitPageHighPass(5, 250, 80), 80);
  EXPECT_EQ(LimitPageHighPass(5, 60, 20000), 60);
  EXPECT_EQ(LimitPageHighPass(4, 250, 20000), 250);
  EXPECT_EQ(LimitPageHighPass(4, 5000, 2000), 2000);
}

TEST(MixRules, TopFieldsLandInTheImage) {
  DeviceImage image;
  InitDeviceImage(image);
  EXPECT_TRUE(StoreMixPageField(image, 0, 12));
  EXPECT_TRUE(StoreMixPageField(image, 1, 300));
  EXPECT_FALSE(StoreMixPageField(image, 1, 255));
  EXPECT_FALSE(StoreMixPageField(image, 2, 1));
  EXPECT_EQ(image.mixPageFlags[0], 0);
  EXPECT_EQ(image.mixPageFlags[1], 12);
  EXPECT_EQ(image.mixPageFlags[2], 255);
}

}  // namespace
}  // namespace zelto::rules
