#include "model/in_data.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/bytes.h"
#include "core/change_tracking.h"
#include "frame_decode.h"

namespace zelto {
namespace {

class InDataTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDeviceImage(img); }
  std::span<std::uint8_t> Mic() { return img.Block(0, BlockType::MicIn, 0); }
  std::span<std::uint8_t> Music() { return img.Block(0, BlockType::MusicIn, kMusicChannelBase); }

  DeviceImage img;
  ChangeTracking tracking{true};
  KTV_MicRoute mics{img, tracking};
  KTV_MusicRoute musics{img, tracking};
};

TEST_F(InDataTest, ConstructedInputsPackTheirDefaults) {
  mics[0].PackAll();
  musics[0].PackAll();
  const auto mic = Mic();
  EXPECT_EQ(GetS16(mic, in::kGain), 40);  // -40 dB
  EXPECT_EQ(mic[in::kLevel], 40);         // -80 dBu
  EXPECT_EQ(mic[in::kSwitch], 1);
  EXPECT_EQ(mic[in::kExtraSwitch], 1);
  EXPECT_EQ(GetS16(mic, in::kSetting96), 500);
  EXPECT_EQ(ReadField(mic.subspan(in::kName, 8)), "Mic 1");
  EXPECT_EQ(EqBandRecord::Read(BandSlot(mic, 0)), (EqBandRecord{40, 600, 15, 0, 1}));
  EXPECT_EQ(EqBandRecord::Read(BandSlot(mic, 8)), (EqBandRecord{10000, 600, 15, 0, 2}));
  const std::vector<std::uint8_t> crossover = {0x14, 0x00, 0x02, 0x00, 0x20, 0x4E, 0x02, 0x00};
  EXPECT_TRUE(std::equal(crossover.begin(), crossover.end(), mic.begin() + in::kCrossover));

  const auto music = Music();
  EXPECT_EQ(GetS16(music, in::kGain), 60);  // -20 dB
  EXPECT_EQ(music[in::kSwitch], 0);
  EXPECT_EQ(ReadField(music.subspan(in::kName, 8)), "Music 1");
  // The music block carries no level steps and no switch B.
  EXPECT_EQ(music[in::kLevelSteps], 0);
  EXPECT_EQ(music[in::kExtraSwitch], 0);
}

TEST_F(InDataTest, MicrophoneItem12WritesSettingCIntoByte99) {
  mics[0].SetSettingA(-7);
  mics[0].SetSettingB(3);
  mics[0].SetSettingC(0x5A);
  FrameBuilder fb{img};
  const auto f = test::Decode(mics[0].PackItem12(fb));
  EXPECT_EQ(Mic()[99], 0x5A);
  EXPECT_EQ(Mic()[98], 3);
  EXPECT_EQ(GetS16(Mic(), 96), -7);
  EXPECT_EQ(f.block, static_cast<std::uint8_t>(BlockType::MicIn));
  EXPECT_EQ(f.item, 12);
  EXPECT_EQ(f.payload, std::vector<std::uint8_t>(Mic().begin() + 96, Mic().begin() + 104));
}

TEST_F(InDataTest, UnpackingAZeroGainSwitchesTheGainOff) {
  std::vector<std::uint8_t> block(Music().begin(), Music().end());
  PutS16(block, in::kGain, 0);
  PutS16(block, in::kDelay, 96);
  block[in::kPhase] = 1;
  block[in::kLevel] = 0;
  auto& music = musics[0];
  music.Unpack(block);
  EXPECT_TRUE(music.GainOff());
  EXPECT_EQ(music.Delay(), 96);
  EXPECT_EQ(music.Phase(), 1);
  EXPECT_FALSE(music.DirtyFlags().item9 || music.DirtyFlags().item11);
  music.SetGain(70);
  EXPECT_FALSE(music.GainOff());
}

TEST_F(InDataTest, MusicSettersMarkItems9And11) {
  auto& music = musics[0];
  for (auto edit : std::vector<void (*)(CMusic_InData&)>{
           [](CMusic_InData& m) { m.SetInputSwitch(1); }, [](CMusic_InData& m) { m.SetPhase(1); },
           [](CMusic_InData& m) { m.SetGain(50); }, [](CMusic_InData& m) { m.SetDelay(3); },
           [](CMusic_InData& m) { m.SetGainOff(true); }}) {
    music.DirtyFlags() = {};
    edit(music);
    EXPECT_TRUE(music.DirtyFlags().item9);
    EXPECT_FALSE(music.DirtyFlags().item11);
  }
  music.DirtyFlags() = {};
  music.SetLevel(60);
  EXPECT_TRUE(music.DirtyFlags().item11);
  EXPECT_FALSE(music.DirtyFlags().item9);

  tracking.Set(false);
  music.DirtyFlags() = {};
  music.SetLevel(61);
  music.SetGain(1);
  EXPECT_FALSE(music.DirtyFlags().item9 || music.DirtyFlags().item11);
}

TEST_F(InDataTest, MusicItem9CarriesOnlyItsOwnBytes) {
  Music()[in::kLevelSteps] = 0x11;
  Music()[in::kExtraSwitch] = 0x22;
  auto& music = musics[0];
  music.SetGain(0);
  music.SetPhase(1);
  FrameBuilder fb{img};
  const auto f = test::Decode(music.PackItem9(fb));
  EXPECT_EQ(f.block, static_cast<std::uint8_t>(BlockType::MusicIn));
  EXPECT_EQ(f.channel, kMusicChannelBase);
  EXPECT_EQ(f.item, 9);
  const std::vector<std::uint8_t> want = {0x11, 1, 0x22, 0, 0, 0, 0, 0};
  EXPECT_EQ(f.payload, want);
}

}  // namespace
}  // namespace zelto
