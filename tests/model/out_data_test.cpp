#include "model/out_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/change_tracking.h"
#include "frame_decode.h"

namespace zelto {
namespace {

class OutDataTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDeviceImage(img); }
  std::span<std::uint8_t> Block(int ch) { return img.Block(0, BlockType::Output, ch); }
  void Link(std::initializer_list<int> channels, int group) {
    for (int ch : channels) img.linkGroups[static_cast<std::size_t>(ch)] = group;
  }
  static void ClearDirty(CKTV_OutData& o) { o.DirtyFlags() = {}; }

  DeviceImage img;
  ChangeTracking tracking{true};
  KTV_OutRoute route{img, tracking};
};

TEST_F(OutDataTest, DefaultsPackAtTheBlockOffsets) {
  // Before any read-back the channel holds the image's defaults: sound on and source 0 at full
  // share, so a file saved now is not a silent car.
  route[0].PackAll();
  const auto b = Block(0);
  const std::vector<std::uint8_t> item31 = {0x01, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x00, 0x00};
  const std::vector<std::uint8_t> mix = {100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(mix.begin(), mix.end(), b.begin() + out::kMix));
  EXPECT_TRUE(std::equal(item31.begin(), item31.end(), b.begin() + out::kSwitch));
  const std::vector<std::uint8_t> crossover = {0x14, 0x00, 0x02, 0x02, 0x20, 0x4E, 0x02, 0x02};
  EXPECT_TRUE(std::equal(crossover.begin(), crossover.end(), b.begin() + out::kCrossover));
  EXPECT_EQ(GetS16(b, out::kLimThreshold), 300);
  EXPECT_EQ(b[out::kLimAttack], 106);
  EXPECT_EQ(b[out::kLimRelease], 5);
  const std::vector<std::uint8_t> name = {'F', 'L', 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(name.begin(), name.end(), b.begin() + out::kName));
  EXPECT_EQ(EqBandRecord::Read(BandSlot(b, 17)), (EqBandRecord{1000, 600, 15, 2, 0}));
  EXPECT_EQ(route[4].Name(), "Center");
  EXPECT_EQ(route[2].Eq().HighPass().crossoverRange(), 7);
}

TEST_F(OutDataTest, SettersLimitValuesToWhatTheirBytesHold) {
  auto& o = route[1];
  o.SetGain(75);
  o.SetDelay(40000);
  o.SetPhase(7);
  o.SetLimiterThreshold(-20);
  o.SetLimiterAttack(312);
  o.SetLimiterRelease(9);
  o.SetInputShare(2, 250);
  o.Eq().Filter(3).SetFrequency(70000, true);
  o.Eq().HighPass().SetFrequency(-5, true);
  o.PackAll();
  const auto b = Block(1);
  EXPECT_EQ(GetS16(b, out::kGain), 60);
  EXPECT_EQ(GetS16(b, out::kDelay), 960);
  EXPECT_EQ(b[out::kPhase], 1);
  EXPECT_EQ(GetS16(b, out::kLimThreshold), 0);
  EXPECT_EQ(b[out::kLimAttack], 255);
  EXPECT_EQ(b[out::kLimRelease], 5);
  EXPECT_EQ(b[out::kMix + 2], 100);
  EXPECT_EQ(EqBandRecord::Read(BandSlot(b, 3)).frequency, 20000);
  EXPECT_EQ(GetU16(b, out::kCrossover + xover::kHpFrequency), 20);
  o.SetDelay(-3);
  EXPECT_EQ(o.Delay(), 0);
}

TEST_F(OutDataTest, GainZeroSwitchesTheGainOff) {
  route[3].SetGain(0);
  EXPECT_TRUE(route[3].GainOff());
  route[3].PackItem31();
  EXPECT_EQ(GetU16(Block(3), out::kGain), 0);
  route[3].SetGain(35);
  EXPECT_FALSE(route[3].GainOff());
  route[3].SetGainOff(true);
  route[3].PackItem31();
  EXPECT_EQ(GetU16(Block(3), out::kGain), 0);
  EXPECT_EQ(route[3].GainCode(), 35);
}

// What a linked channel sees of an edit on its group partner.
struct Seen {
  int gain, gainOff, phase, outputSwitch, delay, eqMode, level, threshold, attack, release;
  bool graphicEqBands, item31Dirty, limiterDirty;
  bool operator==(const Seen&) const = default;
};

Seen SeenOf(const CKTV_OutData& o) {
  return {o.GainCode(),
          o.GainOff(),
          o.Phase(),
          o.OutputSwitch(),
          o.Delay(),
          o.EqMode(),
          o.Level(),
          o.LimiterThreshold(),
          o.LimiterAttack(),
          o.LimiterRelease(),
          o.Eq().Filter(12).graphicEq(),
          o.DirtyFlags().item31,
          o.DirtyFlags().limiter};
}

TEST_F(OutDataTest, LinkGroupPropagation) {
  struct Case {
    const char* setter;
    std::function<void(CKTV_OutData&)> edit;
    std::function<void(Seen&)> linkedChange;  // expected change on the other members
  };
  // Channel 0 differs from its partners before the edit, so a copied value shows.
  auto copiesGroup = [](Seen& s) {
    s.gain = 45;
    s.level = 7;
    s.eqMode = 1;
    s.graphicEqBands = true;
    s.item31Dirty = true;
  };
  const std::vector<Case> cases = {
      {"SetGain", [](CKTV_OutData& o) { o.SetGain(20); },
       [](Seen& s) {
         s.gain = 20;
         s.level = 7;
         s.eqMode = 1;
         s.graphicEqBands = true;
         s.item31Dirty = true;
       }},
      {"SetGain 0", [](CKTV_OutData& o) { o.SetGain(0); },
       [](Seen& s) {
         s.gain = 0;
         s.gainOff = 1;
         s.level = 7;
         s.eqMode = 1;
         s.graphicEqBands = true;
         s.item31Dirty = true;
       }},
      {"SetPhase", [](CKTV_OutData& o) { o.SetPhase(1); }, copiesGroup},
      {"SetEqMode", [](CKTV_OutData& o) { o.SetEqMode(1); }, copiesGroup},
      {"SetLevel", [](CKTV_OutData& o) { o.SetLevel(9); }, [](Seen&) {}},
      {"SetOutputSwitch", [](CKTV_OutData& o) { o.SetOutputSwitch(true); }, [](Seen&) {}},
      {"SetDelay", [](CKTV_OutData& o) { o.SetDelay(480); }, [](Seen&) {}},
      {"SetGainOff", [](CKTV_OutData& o) { o.SetGainOff(true); }, [](Seen&) {}},
      {"SetLimiterThreshold", [](CKTV_OutData& o) { o.SetLimiterThreshold(250); },
       [](Seen& s) {
         s.threshold = 250;
         s.attack = 20;
         s.release = 2;
         s.limiterDirty = true;
       }},
      {"SetLimiterAttack", [](CKTV_OutData& o) { o.SetLimiterAttack(9); },
       [](Seen& s) {
         s.threshold = 280;
         s.attack = 9;
         s.release = 2;
         s.limiterDirty = true;
       }},
      {"SetLimiterRelease", [](CKTV_OutData& o) { o.SetLimiterRelease(4); },
       [](Seen& s) {
         s.threshold = 280;
         s.attack = 20;
         s.release = 4;
         s.limiterDirty = true;
       }},
  };
  for (const auto& c : cases) {
    DeviceImage image;
    InitDeviceImage(image);
    KTV_OutRoute r{image, tracking};
    // Channel 0 gets its own values while it is still alone.
    r[0].SetGain(45);
    r[0].SetLevel(7);
    r[0].SetEqMode(1);
    r[0].SetLimiterThreshold(280);
    r[0].SetLimiterAttack(20);
    r[0].SetLimiterRelease(2);
    for (int ch : {0, 1, 2}) image.linkGroups[static_cast<std::size_t>(ch)] = 5;
    for (int ch = 0; ch < kOutputChannels; ++ch) ClearDirty(r[ch]);
    const Seen before = SeenOf(r[1]);
    const Seen outsider = SeenOf(r[3]);

    c.edit(r[0]);

    Seen want = before;
    c.linkedChange(want);
    EXPECT_EQ(SeenOf(r[1]), want) << c.setter;
    EXPECT_EQ(SeenOf(r[2]), want) << c.setter;
    EXPECT_EQ(SeenOf(r[3]), outsider) << c.setter;
  }
}

TEST_F(OutDataTest, PropagationDoesNotCascade) {
  Link({0, 1}, 0);
  route[1].SetPhase(1);
  EXPECT_EQ(route[1].Phase(), 1);
  EXPECT_EQ(route[0].Phase(), 0);
  EXPECT_FALSE(route[0].DirtyFlags().limiter);
}

TEST_F(OutDataTest, NamesOfEightCharactersAreRefused) {
  auto& o = route[5];
  EXPECT_FALSE(o.SetName("ABCDEFGH"));
  EXPECT_EQ(o.Name(), "ULF");
  EXPECT_FALSE(o.DirtyFlags().name);
  EXPECT_TRUE(o.SetName("ABCDEFG"));
  EXPECT_TRUE(o.DirtyFlags().name);
  ASSERT_TRUE(o.PackName());
  const std::vector<std::uint8_t> stored = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 0};
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), Block(5).begin() + out::kName));

  // A full 8-byte name read from the processor cannot be stored back: the old bytes stay.
  std::vector<std::uint8_t> block(Block(5).begin(), Block(5).end());
  std::copy_n("WOOFER12", 8, block.begin() + out::kName);
  o.Unpack(block);
  EXPECT_EQ(o.Name(), "WOOFER12");
  EXPECT_FALSE(o.PackName());
  FrameBuilder fb{img};
  EXPECT_EQ(o.PackName(fb), nullptr);
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), Block(5).begin() + out::kName));
}

TEST_F(OutDataTest, NothingIsMarkedWhileTrackingIsOff) {
  tracking.Set(false);
  Link({0, 1}, 0);
  auto& o = route[0];
  o.SetName("X");
  o.SetGain(10);
  o.SetPhase(1);
  o.SetLimiterAttack(3);
  o.SetInputShare(9, 50);
  const std::array<std::uint8_t, 6> mix = {1, 2, 3, 4, 5, 6};
  o.SetInputMix(mix);
  for (int ch : {0, 1}) {
    const auto& d = route[ch].DirtyFlags();
    EXPECT_FALSE(d.name || d.item31 || d.limiter || d.mixA || d.mixB) << ch;
  }
  EXPECT_EQ(route[1].GainCode(), 10);  // the value itself still travels to the partner
}

TEST_F(OutDataTest, UnpackReadsEveryFieldAndMarksNothing) {
  std::vector<std::uint8_t> b(out::kSize, 0);
  EqBandRecord{321, 650, 40, 1, 0}.Write(BandSlot(std::span(b), 6));
  for (int k = 0; k < 31; ++k)
    if (k != 6) EqBandRecord{static_cast<std::uint16_t>(100 + k), 600, 15, 0, 0}.Write(BandSlot(std::span(b), k));
  b[out::kSwitch] = 1;
  b[out::kPhase] = 1;
  PutU16(b, out::kGain, 0);
  PutS16(b, out::kDelay, 960);
  b[out::kEqMode] = 1;
  b[out::kLevel] = 77;
  const std::vector<std::uint8_t> x = {0x64, 0x00, 0x01, 0x07, 0xD0, 0x07, 0x00, 0x03};  // HP 100, LP 2000
  std::copy(x.begin(), x.end(), b.begin() + out::kCrossover);
  for (int i = 0; i < 12; ++i) b[out::kMix + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 8);
  PutS16(b, out::kLimThreshold, -5);
  b[out::kLimAttack] = 7;
  b[out::kLimRelease] = 3;
  std::copy_n(" Sub  ", 6, b.begin() + out::kName);

  auto& o = route[6];
  o.Unpack(b);
  EXPECT_EQ(o.Eq().BandRecord(6), (EqBandRecord{321, 650, 40, 1, 0}));
  EXPECT_TRUE(o.OutputSwitch());
  EXPECT_EQ(o.Phase(), 1);
  EXPECT_TRUE(o.GainOff());
  EXPECT_EQ(o.Delay(), 960);
  EXPECT_EQ(o.EqMode(), 1);
  EXPECT_TRUE(o.Eq().Filter(0).graphicEq());
  EXPECT_EQ(o.Level(), 77);
  EXPECT_EQ(o.Eq().HighPass().frequency(), 100);
  EXPECT_EQ(o.Eq().HighPass().crossoverType(), 1);
  EXPECT_EQ(o.Eq().HighPass().slope(), 7);
  EXPECT_EQ(o.Eq().LowPass().frequency(), 2000);
  EXPECT_EQ(o.Eq().LowPass().slope(), 3);
  EXPECT_EQ(o.InputMix()[11], 88);
  EXPECT_EQ(o.LimiterThreshold(), -5);
  EXPECT_EQ(o.LimiterAttack(), 7);
  EXPECT_EQ(o.LimiterRelease(), 3);
  EXPECT_EQ(o.Name(), "Sub");
  const auto& d = o.DirtyFlags();
  EXPECT_FALSE(d.name || d.item31 || d.limiter || d.mixA || d.mixB);
  for (int i = 0; i < o.Eq().FilterCount(); ++i) EXPECT_FALSE(o.Eq().Filter(i).pending()) << i;
}

TEST_F(OutDataTest, MixSettersMarkTheItemThatCarriesTheirBytes) {
  auto& o = route[2];
  o.SetInputShare(7, 40);  // byte 271: item 33
  EXPECT_TRUE(o.DirtyFlags().mixA);
  EXPECT_FALSE(o.DirtyFlags().mixB);
  ClearDirty(o);
  o.SetInputShare(8, 40);  // byte 272: item 34
  EXPECT_FALSE(o.DirtyFlags().mixA);
  EXPECT_TRUE(o.DirtyFlags().mixB);
  ClearDirty(o);
  const std::array<std::uint8_t, 6> mix = {10, 20, 30, 40, 50, 60};
  o.SetInputMix2(mix);
  EXPECT_TRUE(o.DirtyFlags().mixA && o.DirtyFlags().mixB);
  EXPECT_EQ(o.InputMix()[5], 60);
  EXPECT_EQ(o.InputMix()[8], 40);
}

TEST_F(OutDataTest, CopyFromTakesEqGainAndModeOnly) {
  auto& src = route[0];
  auto& dst = route[1];
  src.Eq().Filter(3).SetGainCode(300);
  src.Eq().HighPass().SetFrequency(90, false);
  src.SetGain(0);
  src.SetEqMode(1);
  src.SetDelay(100);
  src.SetPhase(1);
  dst.CopyFrom(src);
  EXPECT_EQ(dst.Eq().BandRecord(3), src.Eq().BandRecord(3));
  EXPECT_EQ(dst.Eq().HighPass().frequency(), 90);
  EXPECT_TRUE(dst.GainOff());
  EXPECT_EQ(dst.EqMode(), 1);
  EXPECT_TRUE(dst.Eq().Filter(30).graphicEq());
  EXPECT_EQ(dst.Delay(), 0);
  EXPECT_EQ(dst.Phase(), 0);
  EXPECT_EQ(dst.Name(), "FR");
}

TEST_F(OutDataTest, PackAllAndSendCarriesTheTargetsAndSettlesTheFilters) {
  FrameBuilder fb{img};
  auto& o = route[4];
  o.Eq().Filter(10).SetFrequency(3000, true);  // pending, still 1 octave at a time
  ASSERT_TRUE(o.Eq().Filter(10).pending());
  const auto f = test::Decode(o.PackAllAndSend(fb, 0));
  EXPECT_EQ(f.block, static_cast<std::uint8_t>(BlockType::Output));
  EXPECT_EQ(f.channel, 4);
  ASSERT_EQ(f.payload.size(), out::kSendSize);
  EXPECT_EQ(f.U16(10 * band::kSize), 3000);
  EXPECT_FALSE(o.Eq().Filter(10).pending());
  EXPECT_EQ(o.Eq().Filter(10).sentFrequency(), 3000);
}

}  // namespace
}  // namespace zelto
