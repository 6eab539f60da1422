#include "core/frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/bytes.h"

namespace zelto {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const SendDataPtr& m) {
  auto b = m->Buffer();
  return {b.begin(), b.end()};
}

class FrameBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDeviceImage(img); }
  DeviceImage img;
  FrameBuilder fb{img};
};

TEST_F(FrameBuilderTest, ExampleFramesAreByteExact) {
  const Bytes factoryReset = {0xA2, 0xA2, 0xA2, 0xA3, 0xB3, 0x01, 0x00, 0x04, 0x89, 0x00, 0x00, 0x00,
                              0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x38, 0xAA};
  const Bytes statusPoll = {0xA2, 0xA2, 0xA2, 0xA3, 0xB4, 0x01, 0x00, 0x04, 0x03, 0x00, 0x00, 0x00,
                            0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xBA, 0xAA};
  const Bytes readLiveOut0 = {0xA2, 0xA2, 0xA2, 0xA3, 0xB4, 0x01, 0x00, 0x03, 0x00, 0xAB, 0x00, 0x00,
                              0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x15, 0xAA};
  EXPECT_EQ(Of(fb.BuildSystemWrite(SystemItem::FactoryReset, 0)), factoryReset);
  // Built after a frame that left non-zero payload bytes behind: the poll still carries zeros.
  ASSERT_NE(fb.BuildBlockWrite(0, BlockType::Output, 0, true, false), nullptr);
  EXPECT_EQ(Of(fb.BuildStatusPoll()), statusPoll);
  EXPECT_EQ(Of(fb.BuildBlockRead(0, BlockType::Output, 0, true)), readLiveOut0);
}

}  // namespace
}  // namespace zelto
