#include "model/ktv_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/bytes.h"
#include "core/change_tracking.h"
#include "frame_decode.h"

namespace zelto {
namespace {

using test::Decode;
using test::DecodedFrame;

constexpr std::uint8_t kOutput = static_cast<std::uint8_t>(BlockType::Output);
constexpr std::uint8_t kMusic = static_cast<std::uint8_t>(BlockType::MusicIn);
constexpr std::uint8_t kSystem = static_cast<std::uint8_t>(BlockType::System);
constexpr std::uint8_t kWrite = static_cast<std::uint8_t>(Command::Write);

class ChangeScanTest : public ::testing::Test {
 protected:
  void SetUp() override { InitDeviceImage(img); }

  DecodedFrame Next() { return Decode(data.NextChangeMessage(fb)); }
  /// Scans until the status poll and returns the item writes on the way.
  std::vector<DecodedFrame> Drain(int limit = 100) {
    std::vector<DecodedFrame> frames;
    for (int i = 0; i < limit; ++i) {
      auto f = Next();
      if (test::IsStatusPoll(f)) return frames;
      frames.push_back(f);
    }
    ADD_FAILURE() << "the scan never settled";
    return frames;
  }
  /// Frequencies of the band items of one output channel and item.
  std::vector<int> BandSteps(int channel, int item) {
    std::vector<int> hz;
    for (const auto& f : Drain()) {
      EXPECT_EQ(f.block, kOutput);
      EXPECT_EQ(f.channel, channel);
      EXPECT_EQ(f.item, item);
      hz.push_back(f.U16(band::kFrequency));
    }
    return hz;
  }

  DeviceImage img;
  ChangeTracking tracking{true};
  CKTV_Data data{img, tracking};
  FrameBuilder fb{img};
};

TEST_F(ChangeScanTest, StatusPollWhenNothingChanged) {
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(data.NothingToSend());
    const auto m = data.NextChangeMessage(fb);
    ASSERT_EQ(m->Length(), 24);
    EXPECT_TRUE(test::IsStatusPoll(Decode(m)));
    EXPECT_TRUE(IsStatusPoll(m->Buffer()));
  }
  EXPECT_FALSE(IsStatusPoll(fb.BuildSystemRead(SystemItem::Settings, 0)->Buffer()));
  EXPECT_FALSE(IsStatusPoll(fb.BuildItemWrite(BlockType::Output, 0, out::kItemSwitch)->Buffer()));
  EXPECT_FALSE(IsStatusPoll(std::span<const std::uint8_t>{}));
}

// "Everything sent" is read from the scan's own flags: whatever the scan still has to send, it
// is not, and once the scan is down to the status poll, it is.
TEST_F(ChangeScanTest, NothingToSendExactlyWhenTheScanIsDownToTheStatusPoll) {
  const std::vector<std::pair<const char*, std::function<void(CKTV_Data&)>>> edits = {
      {"settings", [](CKTV_Data& d) { d.MarkSettingsChanged(); }},
      {"music level", [](CKTV_Data& d) { d.Music().SetLevel(3); }},
      {"name", [](CKTV_Data& d) { d.Output(7).SetName("Sub"); }},
      {"gain", [](CKTV_Data& d) { d.Output(3).SetGain(12); }},
      {"limiter", [](CKTV_Data& d) { d.Output(5).SetLimiterThreshold(4); }},
      {"mix", [](CKTV_Data& d) { d.Output(2).SetInputShare(3, 40); }},
      {"band", [](CKTV_Data& d) { d.Output(1).Eq().Filter(4).SetGainCode(250); }},
      {"crossover", [](CKTV_Data& d) { d.Output(6).Eq().LowPass().SetFrequency(5000, true); }},
  };
  for (const auto& [what, edit] : edits) {
    SCOPED_TRACE(what);
    data.Edit(edit);
    EXPECT_FALSE(data.NothingToSend());
    EXPECT_FALSE(Drain().empty());
    EXPECT_TRUE(data.NothingToSend());
  }
}

TEST_F(ChangeScanTest, EditsMadeWhileTrackingIsOffAreNeverSent) {
  tracking.Set(false);
  data.Edit([](CKTV_Data& d) {
    d.Output(3).SetGain(12);
    d.Output(3).Eq().Filter(4).SetGainCode(250);
    d.Output(3).Eq().LowPass().SetFrequency(5000, true);
    d.Music().SetLevel(3);
    d.MarkSettingsChanged();
  });
  tracking.Set(true);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(ChangeScanTest, ClearAllDirtyForgetsEveryChange) {
  data.Edit([](CKTV_Data& d) {
    d.MarkSettingsChanged();
    d.Music().SetGain(3);
    d.Output(7).SetName("x");
    d.Output(7).SetInputShare(11, 1);
    d.Output(7).Eq().Filter(30).SetGainCode(1);
    d.Output(7).Eq().HighPass().SetFrequency(5000, true);
    d.ClearAllDirty();
  });
  EXPECT_TRUE(Drain().empty());
}

TEST_F(ChangeScanTest, ScanOrder) {
  data.Edit([](CKTV_Data& d) {
    d.Output(0).Eq().Filter(4).SetGainCode(150);
    d.Output(0).SetLimiterAttack(9);
    d.Output(0).SetInputShare(10, 20);
    d.Output(0).SetInputShare(1, 20);
    d.Output(0).Eq().HighPass().SetFrequency(30, true);
    d.Output(0).SetGain(50);
    d.Output(0).SetName("Tw");
    d.Output(1).SetDelay(5);
    d.Music().SetLevel(30);
    d.Music().SetPhase(1);
    d.MarkSettingsChanged();
  });
  struct Want {
    std::uint8_t block, channel, item;
  };
  const std::vector<Want> want = {{kSystem, static_cast<std::uint8_t>(SystemItem::Settings), 0},
                                  {kMusic, 2, 9},
                                  {kMusic, 2, 11},
                                  {kOutput, 0, 36},
                                  {kOutput, 0, 31},
                                  {kOutput, 0, 32},
                                  {kOutput, 0, 33},
                                  {kOutput, 0, 34},
                                  {kOutput, 0, 35},
                                  {kOutput, 0, 4},
                                  {kOutput, 1, 31}};
  const auto got = Drain();
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].command, kWrite) << i;
    EXPECT_EQ(got[i].block, want[i].block) << i;
    EXPECT_EQ(got[i].channel, want[i].channel) << i;
    EXPECT_EQ(got[i].item, want[i].item) << i;
  }
  // Payloads are the packed bytes of each item.
  // Item 36 covers block bytes 288..295: the name starts two bytes into it and its last two bytes
  // never travel.
  EXPECT_EQ(got[3].payload, (std::vector<std::uint8_t>{' ', ' ', 'T', 'w', 0, 0, 0, 0}));
  EXPECT_EQ(got[4].U16(2), 50);
  EXPECT_EQ(got[5].U16(xover::kHpFrequency), 30);
  EXPECT_EQ(got[6].payload[1], 20);
  EXPECT_EQ(got[7].payload[2], 20);  // share of source 10
  EXPECT_EQ(got[8].payload[4], 9);   // attack
  EXPECT_EQ(got[9].U16(band::kGainCode), 550);
  EXPECT_EQ(got[10].U16(4), 5);  // delay
}

TEST_F(ChangeScanTest, EarlierChannelsGoFirst) {
  data.Edit([](CKTV_Data& d) {
    d.Output(3).SetGain(20);
    d.Output(0).SetName("Left");
  });
  const auto got = Drain();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].channel, 0);
  EXPECT_EQ(got[0].item, 36);
  EXPECT_EQ(got[1].channel, 3);
  EXPECT_EQ(got[1].item, 31);
}

TEST_F(ChangeScanTest, BandFrequencySettlesAnOctavePerScan) {
  constexpr int kChannel = 2, kBand = 5;
  auto move = [&](int hz) {
    data.Edit([&](CKTV_Data& d) { d.Output(kChannel).Eq().Filter(kBand).SetFrequency(hz, true); });
    return BandSteps(kChannel, kBand);
  };
  EXPECT_EQ(move(100), std::vector<int>{100});
  EXPECT_EQ(move(1600), (std::vector<int>{200, 400, 800, 1600}));
  EXPECT_EQ(move(1000), std::vector<int>{1000});
  EXPECT_EQ(move(1600), std::vector<int>{1600});
  EXPECT_EQ(move(700), (std::vector<int>{800, 700}));
  EXPECT_EQ(data.Output(kChannel).Eq().Filter(kBand).sentFrequency(), 700);
}

TEST_F(ChangeScanTest, PackingEverythingMidSettleDoesNotSkipTheRemainingOctaves) {
  // Saving a file packs the targets into the live image; the steps still start from what the
  // processor was last sent, for bands and crossovers alike.
  constexpr int kChannel = 2, kBand = 5;
  data.Edit([&](CKTV_Data& d) { d.Output(kChannel).Eq().Filter(kBand).SetFrequency(100, true); });
  ASSERT_EQ(BandSteps(kChannel, kBand), std::vector<int>{100});
  data.Edit([&](CKTV_Data& d) { d.Output(kChannel).Eq().Filter(kBand).SetFrequency(1600, true); });
  EXPECT_EQ(Next().U16(band::kFrequency), 200);
  data.PackAll();
  EXPECT_EQ(BandSteps(kChannel, kBand), (std::vector<int>{400, 800, 1600}));

  data.Edit([&](CKTV_Data& d) { d.Output(6).Eq().HighPass().SetFrequency(160, true); });
  EXPECT_EQ(Next().U16(xover::kHpFrequency), 40);
  data.PackAll();
  std::vector<int> hp;
  for (const auto& f : Drain()) hp.push_back(f.U16(xover::kHpFrequency));
  EXPECT_EQ(hp, (std::vector<int>{80, 160}));
}

TEST_F(ChangeScanTest, ANewTargetTakesOverWhileSettling) {
  data.UnpackAll(img.live, 0);  // band 9 of channel 0 now holds the image's 124 Hz
  auto& band = data.Output(0).Eq().Filter(8);
  data.Edit([&](CKTV_Data&) { band.SetFrequency(4000, true); });
  EXPECT_EQ(Next().U16(band::kFrequency), 248);
  data.Edit([&](CKTV_Data&) { band.SetFrequency(600, true); });
  EXPECT_EQ(BandSteps(0, 8), (std::vector<int>{496, 600}));
}

TEST_F(ChangeScanTest, CrossoverSettlesBothFilters) {
  data.Edit([](CKTV_Data& d) {
    d.Output(6).Eq().HighPass().SetFrequency(100, true);
    d.Output(6).Eq().LowPass().SetFrequency(2000, true);
  });
  std::vector<std::pair<int, int>> steps;
  for (const auto& f : Drain()) {
    EXPECT_EQ(f.item, 32);
    steps.emplace_back(f.U16(xover::kHpFrequency), f.U16(xover::kLpFrequency));
  }
  // The fall of the low-pass and the rise of the high-pass each move an octave at most per item.
  const std::vector<std::pair<int, int>> want = {{40, 10000}, {80, 5000}, {100, 2500}, {100, 2000}};
  EXPECT_EQ(steps, want);
}

// A preset image with a value in every byte the objects carry, valid for them to read back.
PresetImage ValidRandomPreset(unsigned seed) {
  std::mt19937 rng(seed);
  auto byte = [&] { return static_cast<std::uint8_t>(rng()); };
  PresetImage p;
  for (auto& b : p) b = byte();
  auto name = [&](std::span<std::uint8_t> field, std::size_t chars) {
    std::fill(field.begin(), field.end(), 0);
    const std::size_t n = rng() % (chars + 1);
    for (std::size_t i = 0; i < n; ++i) field[i] = static_cast<std::uint8_t>('A' + rng() % 26);
  };
  auto bands = [&](std::span<std::uint8_t> block, int count, bool shelves) {
    for (int k = 0; k < count; ++k) {
      EqBandRecord r = EqBandRecord::Read(BandSlot(std::span<const std::uint8_t>(block), k));
      r.gainCode = static_cast<std::uint16_t>(400 + rng() % 401);
      r.bandwidthIndex = static_cast<std::int16_t>(4 + rng() % 292);
      r.type = shelves && (k == 0 || k == count - 1) ? static_cast<std::uint8_t>(rng() % 3) : 0;
      r.Write(BandSlot(block, k));
    }
  };
  auto s = std::span(p);
  auto fx = s.subspan(preset::kEffect, fx::kSize);
  bands(fx, fx::kBands, false);
  name(fx.subspan(fx::kName, 8), 7);
  for (auto off : {preset::kMicIn, preset::kMusicIn}) {
    auto in = s.subspan(off, in::kSize);
    bands(in, in::kBands, true);
    name(in.subspan(in::kName, 8), 7);
  }
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    auto o = s.subspan(preset::kOutput + static_cast<std::size_t>(ch) * out::kSize, out::kSize);
    bands(o, out::kBands, false);
    name(o.subspan(out::kName, 8), 7);
    auto x = o.subspan(out::kCrossover, xover::kSize);
    PutU16(x, xover::kHpFrequency, static_cast<std::uint16_t>(20 + rng() % 19981));
    PutU16(x, xover::kLpFrequency, static_cast<std::uint16_t>(20 + rng() % 19981));
  }
  return p;
}

TEST_F(ChangeScanTest, UnpackThenPackReproducesTheImage) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const PresetImage loaded = ValidRandomPreset(seed);
    img.live = loaded;
    data.UnpackAll(img.live, 0);
    ASSERT_EQ(img.live, loaded);
    data.PackAll();
    for (std::size_t i = 0; i < preset::kSize; ++i)
      ASSERT_EQ(img.live[i], loaded[i]) << "seed " << seed << " byte " << i;
    // The effect record's crossover and parameter bytes in particular.
    EXPECT_TRUE(std::equal(loaded.begin() + preset::kEffect + 120, loaded.begin() + preset::kEffect + 144,
                           img.live.begin() + preset::kEffect + 120));
    EXPECT_TRUE(Drain().empty()) << "unpacking marked something";
  }
}

TEST_F(ChangeScanTest, UnpackLimitsTheCrossoversOfChannels0To5) {
  auto hpOf = [&](int ch) {
    return GetU16(img.Block(0, BlockType::Output, ch), out::kCrossover + xover::kHpFrequency);
  };
  auto lpOf = [&](int ch) {
    return GetU16(img.Block(0, BlockType::Output, ch), out::kCrossover + xover::kLpFrequency);
  };
  for (int ch : {0, 5, 6}) {
    auto x = img.Block(0, BlockType::Output, ch).subspan(out::kCrossover, xover::kSize);
    PutU16(x, xover::kHpFrequency, 30000);
    PutU16(x, xover::kLpFrequency, 5);
  }
  data.UnpackAll(img.live, 0);
  EXPECT_EQ(hpOf(0), 20000);
  EXPECT_EQ(lpOf(0), 20);
  EXPECT_EQ(hpOf(5), 20000);
  EXPECT_EQ(data.Output(5).Eq().LowPass().frequency(), 20);
  EXPECT_EQ(hpOf(6), 30000);
  EXPECT_EQ(data.Output(6).Eq().LowPass().frequency(), 5);
}

TEST_F(ChangeScanTest, EffectIsUnpackedOnlyForParts0And6) {
  auto fxName = img.live.begin() + preset::kEffect + fx::kName;
  std::copy_n("Hall\0\0\0", 8, fxName);
  data.UnpackAll(img.live, 3);
  EXPECT_EQ(data.Effect().Name(), "Effect");
  data.UnpackAll(img.live, 6);
  EXPECT_EQ(data.Effect().Name(), "Hall");
}

TEST_F(ChangeScanTest, RefusedNameIsSkipped) {
  auto block = img.Block(0, BlockType::Output, 1);
  std::copy_n("TWEETERS", 8, block.begin() + out::kName);
  data.UnpackAll(img.live, 0);
  data.Edit([](CKTV_Data& d) {
    d.Output(1).DirtyFlags().name = true;
    d.Output(1).SetLevel(3);
  });
  const auto got = Drain();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].item, 31);
  EXPECT_TRUE(std::equal(block.begin() + out::kName, block.begin() + out::kName + 8, "TWEETERS"));
}

TEST_F(ChangeScanTest, LinkedEditsReachEveryMember) {
  img.linkGroups[0] = img.linkGroups[1] = 0;
  data.Edit([](CKTV_Data& d) { d.Output(0).SetGain(33); });
  const auto got = Drain();
  ASSERT_EQ(got.size(), 2u);
  for (int ch : {0, 1}) {
    EXPECT_EQ(got[static_cast<std::size_t>(ch)].channel, ch);
    EXPECT_EQ(got[static_cast<std::size_t>(ch)].U16(2), 33);
    EXPECT_EQ(got[static_cast<std::size_t>(ch)].link, 0);  // item 31 never carries the link flag
  }
}

// The window edits while the worker scans; with both under the model lock the last value of every
// edit reaches the image and nothing is lost or torn.
TEST_F(ChangeScanTest, EditsAndScansFromTwoThreads) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    while (!done) data.NextChangeMessage(fb);
  });
  for (int i = 1; i <= 2000; ++i) {
    data.Edit([i](CKTV_Data& d) {
      d.Output(i % 8).SetGain(i % 61);
      d.Output(i % 8).Eq().Filter(i % 31).SetGainCode(i % 401);
      d.Output(i % 8).SetDelay(i);
    });
  }
  done = true;
  worker.join();
  Drain(2000);
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    auto b = img.Block(0, BlockType::Output, ch);
    const auto& o = data.Output(ch);
    EXPECT_EQ(GetS16(b, out::kDelay), o.Delay()) << ch;
    EXPECT_EQ(GetU16(b, out::kGain), o.GainOff() ? 0 : o.GainCode()) << ch;
    for (int k = 0; k < out::kBands; ++k)
      EXPECT_EQ(GetU16(BandSlot(b, k), band::kGainCode), 400 + o.Eq().Filter(k).gainCode()) << ch << "/" << k;
  }
}

}  // namespace
}  // namespace zelto
