// The history against the simulated processor: what an undo and a redo send, and the branch a new
// edit drops.

#include "edit/history.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "edit/editor.h"
#include "presets/preset_files.h"
#include "presets/preset_slots.h"
#include "support/engine_harness.h"
#include "support/offline_editor.h"

namespace zelto {
namespace {

using testing::SimEngine;
using testing::SimKind;
using Lines = std::vector<std::string>;
using What = StepLabel::What;

class HistoryOnline : public ::testing::TestWithParam<SimKind> {
 protected:
  void SetUp() override {
    sim = std::make_unique<SimEngine>(GetParam());
    ASSERT_TRUE(sim->Connect());
    editor = std::make_unique<Editor>(sim->engine());
  }
  void TearDown() override { editor.reset(); }
  CFilter& Band(int ch, int k) { return sim->engine().Data().Output(ch).Eq().Filter(k); }
  /// Waits for `count` frames after `from` and then a little more, so nothing extra goes unseen.
  Lines FramesAfter(std::size_t from, std::size_t count) {
    Lines lines = sim->WaitForFrames(from, count);
    sim->PumpFor(std::chrono::milliseconds(300));
    const Lines all = sim->FrameLines();
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
  }

  /// The processor holds the band record the objects pack.
  void ExpectBandAtProcessor(int ch, int band) {
    auto* p = sim->processor();
    if (!p) return;
    Engine& e = sim->engine();
    const auto packed = [&] {
      std::lock_guard lock(e.Transfer());
      auto l = e.Data().Lock();
      e.Data().Output(ch).PackBand(band);
      auto b = e.Image().Block(0, BlockType::Output, ch).subspan(static_cast<std::size_t>(band) * 8, 8);
      return std::vector<std::uint8_t>(b.begin(), b.end());
    }();
    const DeviceImage memory = p->Memory();
    auto at = memory.Block(0, BlockType::Output, ch).subspan(static_cast<std::size_t>(band) * 8, 8);
    EXPECT_EQ(std::vector<std::uint8_t>(at.begin(), at.end()), packed);
  }

  std::unique_ptr<SimEngine> sim;
  std::unique_ptr<Editor> editor;
};

TEST_P(HistoryOnline, UndoOfAHandleDragSendsOneWriteOfTheOldGainAndRedoTheDraggedOne) {
  const int oldGain = Band(2, 12).gainCode();
  // A drag: many moves between press and release are one step.
  editor->BeginStep();
  for (int g = oldGain + 10; g <= oldGain + 60; g += 10) editor->EditBand(2, 12, Editor::BandChange::Gain(g));
  editor->EndStep();
  ASSERT_EQ(editor->Steps().Size(), 1u);
  EXPECT_EQ(StepText(editor->Steps().UndoStep()->label, Language::English), "CH3 band 13 gain");
  EXPECT_EQ(StepText(editor->Steps().UndoStep()->label, Language::Chinese), "CH3 第13段 增益");
  const Lines dragged = sim->WaitForFrames(0, 1);
  ASSERT_FALSE(dragged.empty());
  sim->PumpFor(std::chrono::milliseconds(300));

  std::size_t from = sim->FrameLineCount();
  ASSERT_TRUE(editor->Undo());
  EXPECT_EQ(Band(2, 12).gainCode(), oldGain);
  const Lines undone = FramesAfter(from, 1);
  ASSERT_EQ(undone.size(), 1u) << ::testing::PrintToString(undone);
  EXPECT_NE(undone[0].find("OUTPUT ch 2 idx 12 len 8"), std::string::npos) << undone[0];
  ExpectBandAtProcessor(2, 12);

  from = sim->FrameLineCount();
  ASSERT_TRUE(editor->Redo());
  EXPECT_EQ(Band(2, 12).gainCode(), oldGain + 60);
  const Lines redone = FramesAfter(from, 1);
  ASSERT_EQ(redone.size(), 1u) << ::testing::PrintToString(redone);
  EXPECT_NE(redone[0].find("OUTPUT ch 2 idx 12 len 8"), std::string::npos) << redone[0];
  ExpectBandAtProcessor(2, 12);
  EXPECT_FALSE(editor->Redo());
}

TEST_P(HistoryOnline, UndoOfAFileLoadSendsThePreviousBlocks) {
  const auto dir = std::filesystem::temp_directory_path() / ("zelto-history-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "a.dsps").string();
  PresetFiles files(sim->engine());
  editor->SetGain(5, 30);
  ASSERT_EQ(files.SavePresetFile(file).status, PresetFileResult::Status::Saved);
  // Codes within the gain range (at most 0 dB), so that nothing is limited on the way.
  editor->SetGain(5, 50);
  editor->SetGain(6, 51);
  sim->PumpFor(std::chrono::milliseconds(500));

  ASSERT_EQ(editor->LoadPresetFile(files, file).status, PresetFileResult::Status::Loaded);
  ASSERT_EQ(editor->Steps().Size(), 4u);  // the three gains and the load
  sim->PumpFor(std::chrono::milliseconds(1500));
  ASSERT_EQ(sim->engine().Data().Output(5).GainCode(), 30);

  const std::size_t from = sim->FrameLineCount();
  ASSERT_TRUE(editor->Undo());
  EXPECT_EQ(sim->engine().Data().Output(5).GainCode(), 50);
  EXPECT_EQ(sim->engine().Data().Output(6).GainCode(), 51);
  // The loaded file also carried its own name and input settings: the whole live preset goes back.
  const Lines undone = FramesAfter(from, 9);
  for (const char* block : {"WRITE slot 0 OUTPUT ch 5 len 296 -> ACK", "WRITE slot 0 OUTPUT ch 6 len 296 -> ACK"})
    EXPECT_NE(std::ranges::find(undone, block), undone.end()) << block;
  if (auto* p = sim->processor()) {
    EXPECT_EQ(GetU16(p->Memory().Block(0, BlockType::Output, 5), out::kGain), 50);
  }
  std::filesystem::remove_all(dir);
}

TEST_P(HistoryOnline, ARecalledSlotIsAStepOfItsOwnUndoneAsWholeBlocks) {
  Engine& engine = sim->engine();
  const auto settle = [&] { return sim->PumpUntilTransferDone(sim->Seen(Notice::TransferDone)); };
  editor->SetGain(5, 30);
  ASSERT_EQ(StoreToSlot(engine, 2, true), SlotOutcome::Queued);
  ASSERT_TRUE(settle());
  editor->SetGain(5, 50);
  sim->PumpFor(std::chrono::milliseconds(300));
  ASSERT_EQ(editor->Steps().Size(), 2u);

  // A step held open around the recall (the load dialog's) keeps what it did apart from it.
  editor->BeginStep({What::FileLoad}, true);
  editor->SetGain(6, 40);
  ASSERT_EQ(RecallFromLoadDialog(engine, 2), SlotOutcome::Queued);
  ASSERT_TRUE(settle());
  EXPECT_EQ(engine.Data().Output(5).GainCode(), 30);
  editor->EndStep();
  ASSERT_EQ(editor->Steps().Size(), 4u);  // the two gains, the gain in the open step, the recall

  std::size_t from = sim->FrameLineCount();
  ASSERT_TRUE(editor->Undo());
  EXPECT_EQ(engine.Data().Output(5).GainCode(), 50);
  const Lines undone = FramesAfter(from, 1);
  EXPECT_NE(std::ranges::find(undone, "WRITE slot 0 OUTPUT ch 5 len 296 -> ACK"), undone.end())
      << ::testing::PrintToString(undone);
  if (auto* p = sim->processor()) {
    EXPECT_EQ(GetU16(p->Memory().Block(0, BlockType::Output, 5), out::kGain), 50);
  }
  ASSERT_TRUE(editor->Redo());
  EXPECT_EQ(engine.Data().Output(5).GainCode(), 30);

  // Recalling the slot that is already live changes nothing: no step.
  ASSERT_EQ(RecallFromLoadDialog(engine, 2), SlotOutcome::Queued);
  ASSERT_TRUE(settle());
  EXPECT_EQ(editor->Steps().Size(), 4u);
}

TEST_P(HistoryOnline, AHistoryTakenBackFromItsBytesUndoesAsTheOriginalWould) {
  const int oldGain = Band(4, 3).gainCode();
  editor->EditBand(4, 3, Editor::BandChange::Gain(oldGain + 40));
  editor->SetDelay(1, 30);
  editor->SetDelay(1, 40);
  ASSERT_TRUE(editor->Undo());  // the cursor is kept too: one step can be redone
  sim->WaitForFrames(0, 4);
  sim->PumpFor(std::chrono::milliseconds(300));

  // Another editor of the same tuning (as after a restart) takes the history back.
  Editor restored(sim->engine());
  ASSERT_TRUE(restored.RestoreRecoveryPart(editor->SaveRecoveryPart()));
  EXPECT_EQ(restored.SaveRecoveryPart(), editor->SaveRecoveryPart());
  ASSERT_EQ(restored.Steps().Size(), 3u);
  EXPECT_TRUE(restored.Steps().CanRedo());

  // Each undo sends the one item its step changed.
  std::size_t from = sim->FrameLineCount();
  ASSERT_TRUE(restored.Undo());
  EXPECT_EQ(sim->engine().Data().Output(1).Delay(), 0);
  ASSERT_TRUE(restored.Undo());
  EXPECT_EQ(Band(4, 3).gainCode(), oldGain);
  const Lines undone = FramesAfter(from, 2);
  ASSERT_EQ(undone.size(), 2u) << ::testing::PrintToString(undone);
  EXPECT_NE(undone[0].find("OUTPUT ch 1 idx"), std::string::npos) << undone[0];
  EXPECT_NE(undone[1].find("OUTPUT ch 4 idx 3 len 8"), std::string::npos) << undone[1];
  ExpectBandAtProcessor(4, 3);
  from = sim->FrameLineCount();
  ASSERT_TRUE(restored.Redo());
  const Lines redone = FramesAfter(from, 1);
  ASSERT_FALSE(redone.empty());
  EXPECT_NE(redone.back().find("OUTPUT ch 4 idx 3 len 8"), std::string::npos) << redone.back();
  ExpectBandAtProcessor(4, 3);
}

INSTANTIATE_TEST_SUITE_P(Sim, HistoryOnline, ::testing::Values(SimKind::InProcess, SimKind::Tcp), testing::KindName);

TEST(History, ANewEditAfterAnUndoDropsTheRedoBranch) {
  testing::OfflineEditor offline;
  Editor& editor = offline.editor;
  Engine& engine = offline.engine;
  editor.SetDelay(0, 10);
  editor.SetDelay(0, 20);
  ASSERT_TRUE(editor.Undo());
  EXPECT_EQ(engine.Data().Output(0).Delay(), 10);
  EXPECT_TRUE(editor.Steps().CanRedo());
  editor.SetPhase(1, 1);
  EXPECT_FALSE(editor.Steps().CanRedo());
  EXPECT_FALSE(editor.Redo());
  ASSERT_TRUE(editor.Undo());
  ASSERT_TRUE(editor.Undo());
  EXPECT_EQ(engine.Data().Output(0).Delay(), 0);
  EXPECT_EQ(engine.Data().Output(1).Phase(), 0);
  EXPECT_FALSE(editor.Undo());
  // A value equal to the one shown is no step.
  editor.SetDelay(0, 0);
  EXPECT_EQ(editor.Steps().Size(), 2u);
}

TEST(History, KeepsAThousandBandDragsAsSmallDifferences) {
  History history;
  PresetImage before{};
  for (int i = 0; i < 1000; ++i) {
    PresetImage after = before;
    after[preset::kOutput + (i % 8) * out::kSize + (i % 31) * 8] ^= 0x5a;
    after[preset::kOutput + (i % 8) * out::kSize + (i % 31) * 8 + 4] ^= 0x11;
    ASSERT_TRUE(history.Record({What::BandGain, i % 8, i % 31}, false, before, after));
    before = after;
  }
  EXPECT_EQ(history.Size(), 1000u);
  EXPECT_LT(history.MemoryBytes(), 1u << 20);
}

TEST(HistoryBytes, ReadBackGiveTheSameStepsAndCursor) {
  History history;
  PresetImage before{}, after{};
  after[preset::kOutput + 5] = 7;
  after[preset::kOutput + 9] = 8;
  after[preset::kMicIn] = 3;
  ASSERT_TRUE(history.Record({What::BandGain, 0, 0}, false, before, after));
  history.RecordSwitch();
  ASSERT_TRUE(history.Record({What::AbCopy}, false, after, before, History::Target::OtherSide));
  ASSERT_TRUE(history.Record({What::FileLoad}, true, before, after));
  history.MarkUndone();

  const auto read = History::FromBytes(history.Bytes());
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Bytes(), history.Bytes());
  ASSERT_EQ(read->Size(), 4u);
  ASSERT_TRUE(read->RedoStep());
  EXPECT_TRUE(read->RedoStep()->wholeBlocks);
  EXPECT_EQ(read->RedoStep()->ranges, history.RedoStep()->ranges);
  EXPECT_EQ(read->UndoStep()->target, History::Target::OtherSide);
  EXPECT_EQ(read->UndoStep()->label, (StepLabel{What::AbCopy}));
  // An empty history is a history too.
  EXPECT_EQ(History::FromBytes(History().Bytes())->Size(), 0u);
}

TEST(HistoryBytes, DamagedBytesAreRefusedAndLeaveTheEditorsHistoryEmpty) {
  History history;
  PresetImage before{}, after{};
  after[preset::kOutput + 10] = 1;
  after[preset::kOutput + 11] = 2;
  after[preset::kOutput + 40] = 3;
  ASSERT_TRUE(history.Record({What::Band, 0, 1}, false, before, after));
  history.RecordSwitch();
  const std::vector<std::uint8_t> good = history.Bytes();
  // Offsets into `good`: the header (version, count, cursor), then the first step's header
  // (target, what, channel, band, whole blocks, range count) and its ranges.
  constexpr std::size_t kCount = 1, kCursor = 5, kStep = 9, kRanges = kStep + 5, kFirstRange = kRanges + 2;
  const auto with = [&](std::size_t at, std::uint8_t value) {
    auto b = good;
    b[at] = value;
    return b;
  };
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"another version", with(0, 2)},
      {"cut in the header", {good.begin(), good.begin() + 6}},
      {"cut in a step", {good.begin(), good.begin() + kFirstRange + 3}},
      {"one byte short", {good.begin(), good.end() - 1}},
      {"one byte left over",
       [&] {
         auto b = good;
         b.push_back(0);
         return b;
       }()},
      {"more steps than kept", with(kCount + 1, 0xFF)},
      {"a count beyond the bytes", with(kCount, 3)},
      {"the cursor beyond the steps", with(kCursor, 3)},
      {"an unknown target", with(kStep, 3)},
      {"an unknown label", with(kStep + 1, 0xEE)},
      {"whole blocks neither yes nor no", with(kStep + 4, 2)},
      {"a step with no range", with(kRanges, 0)},
      {"a range past the preset", with(kFirstRange + 1, 0x7F)},
      {"a range of no bytes", with(kFirstRange + 2, 0)},
      {"ranges out of order",
       [&] {
         auto b = good;  // the second range starts where the first does
         std::copy_n(b.begin() + kFirstRange, 2, b.begin() + kFirstRange + 4);
         return b;
       }()},
      {"a switch with bytes", with(good.size() - 2, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(History::FromBytes(c.bytes));
  }

  testing::OfflineEditor offline;
  Editor& editor = offline.editor;
  editor.SetDelay(0, 10);
  EXPECT_FALSE(editor.RestoreRecoveryPart(with(kStep, 3)));
  EXPECT_EQ(editor.Steps().Size(), 0u);
  EXPECT_FALSE(editor.Undo());
  EXPECT_TRUE(editor.RestoreRecoveryPart(good));
  EXPECT_EQ(editor.Steps().Size(), 2u);
}

TEST(History, AStepNoCallNamedIsNamedAfterWhatChanged) {
  const auto at = [](int ch, std::size_t offset, std::uint16_t length) {
    return ByteRange{static_cast<std::uint16_t>(preset::kOutput + ch * out::kSize + offset), length};
  };
  struct Case {
    std::vector<ByteRange> ranges;
    StepLabel label;
  };
  const Case cases[] = {
      {{at(0, 12 * 8 + band::kGainCode, 2)}, {What::BandGain, 0, 12}},
      {{at(3, 2 * 8 + band::kFrequency, 1), at(3, 2 * 8 + band::kGainCode, 1)}, {What::Band, 3, 2}},
      {{at(7, out::kGain, 1)}, {What::Gain, 7}},
      {{at(1, out::kCrossover + xover::kLpFrequency, 2)}, {What::LowPass, 1}},
      {{at(1, out::kGain, 2), at(1, out::kLimThreshold, 1)}, {What::Edits, 1}},
      {{at(1, 0, 1), at(2, 0, 1)}, {What::Edits}},
      {{ByteRange{preset::kMicIn, 1}}, {What::Edits}},
  };
  for (const Case& c : cases) EXPECT_EQ(LabelOfChange(c.ranges), c.label) << StepText(c.label, Language::English);
  EXPECT_EQ(StepText({What::BandGain, 0, 12}, Language::English), "CH1 band 13 gain");
  EXPECT_EQ(StepText({What::FileLoad}, Language::Chinese), "音效调用");
}

}  // namespace
}  // namespace zelto
