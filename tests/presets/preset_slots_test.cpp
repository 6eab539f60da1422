#include "presets/preset_slots.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bytes.h"
#include "presets/preset_name.h"
#include "support/engine_harness.h"
#include "support/trace_lines.h"

namespace zelto {
namespace {

using testing::SimEngine;
using testing::SimKind;
using Lines = std::vector<std::string>;

using testing::Join;
using testing::OutputLines;
using testing::QuietWrap;

// Gives every live output block values of its own, all inside the ranges the objects accept.
void MarkLiveOutputs(Engine& engine, int seed) {
  std::lock_guard lock(engine.Transfer());
  for (int c = 0; c < kOutputChannels; ++c) {
    auto block = engine.Image().Block(0, BlockType::Output, c);
    for (int band = 0; band < out::kBands; ++band)
      PutU16(block, static_cast<std::size_t>(band) * band::kSize + band::kGainCode,
             static_cast<std::uint16_t>(500 + seed + 3 * c + band));
    PutU16(block, out::kGain, static_cast<std::uint16_t>(20 + seed + c));
    PutS16(block, out::kDelay, static_cast<std::int16_t>(40 * c + seed));
  }
}

std::vector<std::uint8_t> LiveOutputs(Engine& engine) {
  std::lock_guard lock(engine.Transfer());
  std::vector<std::uint8_t> b;
  for (int c = 0; c < kOutputChannels; ++c) {
    auto block = engine.Image().Block(0, BlockType::Output, c).first(out::kSendSize);
    b.insert(b.end(), block.begin(), block.end());
  }
  return b;
}

class PresetSlots : public ::testing::TestWithParam<SimKind> {
 protected:
  void SetUp() override {
    sim = std::make_unique<SimEngine>(GetParam());
    ASSERT_TRUE(sim->Connect());
  }
  Engine& engine() { return sim->engine(); }

  // Runs `operation`, then waits until the processor has received `expected` frames after the
  // ones it had, and returns them.
  template <class F>
  Lines Run(F&& operation, std::size_t expected) {
    const std::size_t before = sim->FrameLineCount();
    operation();
    return sim->WaitForFrames(before, expected);
  }

  std::unique_ptr<SimEngine> sim;
};

TEST_P(PresetSlots, StoreToSlotThreeThenRecallGivesBackTheStoredSettings) {
  MarkLiveOutputs(engine(), 1);
  const auto stored = LiveOutputs(engine());
  const Lines store = Run([&] { EXPECT_EQ(StoreToSlot(engine(), 3, false), SlotOutcome::Queued); }, 11);
  EXPECT_EQ(
      store,
      QuietWrap(Join({{"WRITE slot 3 SYSTEM PRESET_NAME len 16 -> ACK"}, OutputLines("WRITE", 3, " len 296 -> ACK")})));
  EXPECT_EQ(sim->view.ranges.back(), 9);

  MarkLiveOutputs(engine(), 30);
  ASSERT_NE(LiveOutputs(engine()), stored);
  const int readsDone = sim->Seen(Notice::LiveReadDone);
  const Lines recall = Run([&] { EXPECT_EQ(RecallFromLoadDialog(engine(), 3), SlotOutcome::Queued); }, 10);
  EXPECT_EQ(recall, QuietWrap(OutputLines("READ", 3, " len 8 -> DATA")));
  ASSERT_TRUE(
      sim->PumpUntil([&] { return sim->Seen(Notice::LiveReadDone) > readsDone && engine().Tracking().IsOn(); }));
  EXPECT_EQ(LiveOutputs(engine()), stored);
  EXPECT_EQ(engine().Image().currentPreset[0], 3);
  // The objects now hold what came back.
  EXPECT_EQ(GetU16(engine().Image().Block(0, BlockType::Output, 2), out::kGain), 20 + 1 + 2);
}

TEST_P(PresetSlots, SaveToSlotNamesTheSlotAndTheLiveSettings) {
  const Lines lines =
      Run([&] { EXPECT_EQ(SaveToSlotNamed(engine(), 4, "Stage Left 2024 long"), SlotOutcome::Queued); }, 11);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[1], "WRITE slot 4 SYSTEM PRESET_NAME len 16 -> ACK");
  EXPECT_EQ(NameFromField(engine().Image().Preset(4)), "Stage Left 2024");
  EXPECT_EQ(NameFromField(engine().Image().live), "Stage Left 2024");
  if (auto* p = sim->processor()) {
    EXPECT_EQ(NameFromField(p->Memory().Preset(4)), "Stage Left 2024");
  }

  const std::size_t before = sim->FrameLineCount();
  EXPECT_EQ(SaveToSlotNamed(engine(), 5, "    "), SlotOutcome::BlankName);
  EXPECT_EQ(NameFromField(engine().Image().Preset(5)), "");
  sim->PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(sim->FrameLineCount(), before);
}

TEST_P(PresetSlots, DeleteSendsAnEmptyNameAndLeavesTheParameters) {
  MarkLiveOutputs(engine(), 9);
  ASSERT_EQ(SaveToSlotNamed(engine(), 2, "Keep"), SlotOutcome::Queued);
  sim->WaitForFrames(sim->FrameLineCount(), 11);
  const Lines lines = Run([&] { EXPECT_EQ(DeleteSlot(engine(), 2), SlotOutcome::Queued); }, 1);
  EXPECT_EQ(lines, Lines{"WRITE slot 2 SYSTEM PRESET_NAME len 16 -> ACK"});
  EXPECT_EQ(NameFromField(engine().Image().Preset(2)), "");
  if (auto* p = sim->processor()) {
    const auto memory = p->Memory();
    const auto frames = p->Frames();
    const auto payload = frames.back().Payload();
    EXPECT_EQ(std::vector<std::uint8_t>(payload.begin(), payload.end()), std::vector<std::uint8_t>(16, 0));
    EXPECT_EQ(NameFromField(memory.Preset(2)), "");
    EXPECT_EQ(GetU16(memory.Block(2, BlockType::Output, 1), out::kGain), 20 + 9 + 1);
  }
  // A batch of one still closes the progress window.
  ASSERT_TRUE(sim->PumpUntil([&] { return sim->view.transferWindowHidden >= sim->view.transferWindowShown; }));
}

TEST_P(PresetSlots, ReadAllSlotsReadsMusicAndOutputsOfSlotsOneToSixInsideTheMute) {
  Lines body;
  for (int slot = 1; slot <= kDeviceSlots; ++slot) {
    body.push_back("READ slot " + std::to_string(slot) + " MUSIC_IN ch 2 into-slot len 8 -> DATA");
    const Lines outputs = OutputLines("READ", slot, " into-slot len 8 -> DATA");
    body.insert(body.end(), outputs.begin(), outputs.end());
  }
  if (auto* p = sim->processor())
    p->EditMemory([](DeviceImage& m) { PutU16(m.Block(5, BlockType::Output, 7), out::kGain, 33); });
  const int done = sim->Seen(Notice::PresetsReadDone);
  const Lines lines = Run([&] { EXPECT_EQ(ReadAllSlots(engine()), SlotOutcome::Queued); }, 56);
  EXPECT_EQ(lines, QuietWrap(body));
  EXPECT_EQ(sim->view.ranges.back(), 54);
  ASSERT_TRUE(sim->PumpUntil([&] { return sim->Seen(Notice::PresetsReadDone) > done; }));
  if (auto* p = sim->processor()) {
    std::lock_guard lock(engine().Transfer());
    EXPECT_EQ(GetU16(engine().Image().Block(5, BlockType::Output, 7), out::kGain), 33);
    const auto memory = p->Memory();
    for (int slot = 1; slot <= kDeviceSlots; ++slot)
      for (int c = 0; c < kOutputChannels; ++c) {
        const auto a = engine().Image().Block(slot, BlockType::Output, c).first(out::kSendSize);
        const auto b = memory.Block(slot, BlockType::Output, c).first(out::kSendSize);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin())) << slot << " " << c;
      }
  }
  // The master output sounds again afterwards.
  EXPECT_EQ(engine().Image().MasterSwitch(), 1);
}

TEST_P(PresetSlots, SendAllMutesEveryOutputSendsLiveAndSlotsThenRestoresTheSwitches) {
  {
    std::lock_guard lock(engine().Transfer());
    engine().Image().Block(0, BlockType::Output, 6)[out::kSwitch] = 0;  // one output was off
    NameToField("Six", engine().Image().Preset(6));
  }
  Lines mute, restore;
  for (int c = 0; c < kOutputChannels; ++c) {
    mute.push_back("WRITE slot 0 OUTPUT ch " + std::to_string(c) + " idx 31 len 8 -> ACK");
  }
  restore = mute;
  Lines expected =
      Join({mute, {"WRITE slot 0 MUSIC_IN ch 2 len 112 -> ACK"}, OutputLines("WRITE", 0, " len 296 -> ACK")});
  for (int slot = 1; slot <= kDeviceSlots; ++slot)
    expected = Join({expected,
                     {"WRITE slot " + std::to_string(slot) + " SYSTEM PRESET_NAME len 16 -> ACK",
                      "WRITE slot " + std::to_string(slot) + " MUSIC_IN ch 2 len 112 -> ACK"},
                     OutputLines("WRITE", slot, " len 296 -> ACK")});
  expected = Join({expected, restore});
  const Lines lines = Run([&] { EXPECT_EQ(SendAll(engine()), SlotOutcome::Queued); }, expected.size());
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(sim->view.ranges.back(), 77);
  EXPECT_EQ(engine().Image().Block(0, BlockType::Output, 0)[out::kSwitch], 1);
  EXPECT_EQ(engine().Image().Block(0, BlockType::Output, 6)[out::kSwitch], 0);
  if (auto* p = sim->processor()) {
    const auto frames = p->Frames();
    // The live blocks went out silent; the last writes put each switch back.
    std::size_t liveBlocks = 0;
    for (const auto& f : frames)
      if (f.Slot() == 0 && f.BlockTypeCode() == 3 && f.PayloadLength() == out::kSendSize) {
        EXPECT_EQ(f.Payload()[out::kSwitch], 0);
        ++liveBlocks;
      }
    EXPECT_EQ(liveBlocks, 8u);
    const auto memory = p->Memory();
    EXPECT_EQ(memory.Block(0, BlockType::Output, 0)[out::kSwitch], 1);
    EXPECT_EQ(memory.Block(0, BlockType::Output, 6)[out::kSwitch], 0);
    EXPECT_EQ(NameFromField(memory.Preset(6)), "Six");
  }
}

INSTANTIATE_TEST_SUITE_P(Sim, PresetSlots, ::testing::Values(SimKind::InProcess, SimKind::Tcp), testing::KindName);

// Without a link every operation says so and queues nothing.
TEST(PresetSlotsOffline, EveryOperationRefusesWithoutALink) {
  SimEngine sim(SimKind::InProcess);
  Engine& engine = sim.engine();
  const std::string nameBefore = NameFromField(engine.Image().Preset(1));
  struct Case {
    const char* what;
    std::function<SlotOutcome()> run;
  };
  const Case cases[] = {
      {"store", [&] { return StoreToSlot(engine, 1, false); }},
      {"store packing", [&] { return StoreToSlot(engine, 0, true); }},
      {"save named", [&] { return SaveToSlotNamed(engine, 1, "New"); }},
      {"recall", [&] { return RecallSlot(engine, 1, true); }},
      {"recall from load dialog", [&] { return RecallFromLoadDialog(engine, 1); }},
      {"delete", [&] { return DeleteSlot(engine, 1); }},
      {"read all", [&] { return ReadAllSlots(engine); }},
      {"send all", [&] { return SendAll(engine); }},
  };
  for (const auto& c : cases) {
    sim.view.messages.clear();
    EXPECT_EQ(c.run(), SlotOutcome::NotConnected) << c.what;
    EXPECT_EQ(sim.view.messages, std::vector<UserMessage>{UserMessage::UnableToConnect}) << c.what;
    EXPECT_EQ(engine.Queue().Count(), 0u) << c.what;
  }
  EXPECT_EQ(NameFromField(engine.Image().Preset(1)), nameBefore);
  EXPECT_EQ(engine.Image().currentPreset[0], 0);
  EXPECT_EQ(engine.Image().MasterSwitch(), 1);
  EXPECT_EQ(sim.view.transferWindowShown, 0);
  EXPECT_EQ(sim.processor()->FrameCount(), 0u);
}

TEST(PresetSlotsOffline, SlotNumbersOutsideTheDeviceSlotsAreRefused) {
  SimEngine sim(SimKind::InProcess);
  EXPECT_EQ(StoreToSlot(sim.engine(), 7, false), SlotOutcome::BadSlot);
  EXPECT_EQ(RecallSlot(sim.engine(), 0, false), SlotOutcome::BadSlot);
  EXPECT_EQ(DeleteSlot(sim.engine(), -1), SlotOutcome::BadSlot);
  EXPECT_EQ(sim.engine().Queue().Count(), 0u);
}

}  // namespace
}  // namespace zelto
