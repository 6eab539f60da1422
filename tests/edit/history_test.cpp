// The history against the simulated processor: what an undo and a redo send, and the branch a new
// edit drops.

#include "edit/history.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "model/band_record.h"
#include "edit/editor.h"
#include "presets/preset_files.h"
#include "presets/preset_slots.h"
#include "support/engine_harness.h"
#include "support/offline_editor.h"
#include "support/temp_dir.h"

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
    editor = &sim->editor();
  }
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
  Editor* editor = nullptr;
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
  const testing::TestTempDir dir;
  const std::string file = dir.File("a.dsps");
  PresetFiles& files = sim->files();
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
  // Only the two channels the load changed go back, as whole blocks.
  const Lines undone = FramesAfter(from, 2);
  EXPECT_EQ(undone, (Lines{"WRITE slot 0 OUTPUT ch 5 len 296 -> ACK", "WRITE slot 0 OUTPUT ch 6 len 296 -> ACK"}));
  if (auto* p = sim->processor()) {
    EXPECT_EQ(GetU16(p->Memory().Block(0, BlockType::Output, 5), out::kGain), 50);
  }
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
  editor->BeginStep({What::FileLoad}, History::SendAs::Blocks);
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

// The processor is changed by another program while the editor is away (zeltoctl beside it).
void SetOnProcessor(SimEngine& sim, const std::function<void(Editor&)>& edit) {
  testing::EngineHarness other(sim.SecondClient());
  Editor& editor = other.runtime.editor();
  other.engine.OnConnectButton();
  ASSERT_TRUE(other.engine.Connected());
  ASSERT_TRUE(other.PumpUntil([&] { return other.Saw(Notice::TransferDone) && other.engine.Tracking().IsOn(); },
                              std::chrono::seconds(20)));
  edit(editor);
  other.PumpUntil([] { return false; }, std::chrono::milliseconds(500));
  other.engine.OnConnectButton();
}

TEST_P(HistoryOnline, AReadBackThatChangedATypedValueIsAStepAndUndoNeverSendsAMixedValue) {
  Engine& engine = sim->engine();
  // Band 18 of CH1 typed to 1010 Hz from where it was (1000 Hz: the high bytes are the same).
  editor->EditBand(0, 17, Editor::BandChange::Frequency(1001));
  const int typed = Band(0, 17).frequency();
  const std::size_t steps = editor->Steps().Size();
  editor->EditBand(0, 17, Editor::BandChange::Frequency(1010));
  ASSERT_EQ(typed >> 8, 1010 >> 8);
  sim->PumpFor(std::chrono::milliseconds(500));
  engine.OnConnectButton();
  ASSERT_FALSE(engine.Connected());
  SetOnProcessor(*sim, [](Editor& e) { e.EditBand(0, 17, Editor::BandChange::Frequency(2000)); });
  ASSERT_TRUE(sim->Connect());
  EXPECT_EQ(Band(0, 17).frequency(), 2000);
  EXPECT_FALSE(editor->ConnectChoicePending()) << "nothing was unsent";
  ASSERT_EQ(editor->Steps().Size(), steps + 2);
  EXPECT_EQ(StepText(editor->Steps().UndoStep()->label, Language::English), "processor settings");

  // Each undo sends one whole frequency: first the typed 1010 Hz, then the one before; never the
  // low byte of that one under the high byte of 2000 (2025 Hz from 1001 Hz).
  for (const int hz : {1010, typed}) {
    const std::size_t from = sim->FrameLineCount();
    ASSERT_TRUE(editor->Undo());
    EXPECT_EQ(Band(0, 17).frequency(), hz);
    const Lines undone = FramesAfter(from, 1);
    ASSERT_EQ(undone.size(), 1u) << ::testing::PrintToString(undone);
    EXPECT_NE(undone[0].find("OUTPUT ch 0 idx 17 len 8"), std::string::npos) << undone[0];
    if (auto* p = sim->processor()) {
      EXPECT_EQ(GetU16(p->Memory().Block(0, BlockType::Output, 0), 17 * 8 + band::kFrequency), hz);
    }
  }
  // And forward again to what the processor had.
  ASSERT_TRUE(editor->Redo());
  ASSERT_TRUE(editor->Redo());
  EXPECT_EQ(Band(0, 17).frequency(), 2000);
  sim->PumpFor(std::chrono::milliseconds(300));
  ExpectBandAtProcessor(0, 17);
}

INSTANTIATE_TEST_SUITE_P(Sim, HistoryOnline, ::testing::Values(SimKind::InProcess, SimKind::Tcp), testing::KindName);

// Every value of a channel wider than a byte that a user sets, changed by two steps (the second
// in its low byte only) and then on the processor in its high byte while the editor was away: the
// processor only ever receives the values of a step, the user's or the read-back's.
TEST(HistoryReadBack, EveryWideValueComesBackWhole) {
  struct Case {
    const char* name;
    std::size_t offset;  // in the output block
    std::function<void(Editor&, int)> set;
    int a, b, processor;  // b differs from a in its low byte, the processor's in its high byte
    bool recordGain = false;
  };
  constexpr int kBand = 9;
  const std::size_t band = kBand * band::kSize;
  const Case cases[] = {
      {"band frequency", band + band::kFrequency,
       [](Editor& e, int v) { e.EditBand(3, kBand, Editor::BandChange::Frequency(v)); }, 1001, 1010, 2000},
      {"band gain", band + band::kGainCode, [](Editor& e, int v) { e.EditBand(3, kBand, Editor::BandChange::Gain(v)); },
       250, 260, 380, true},
      {"band width", band + band::kBandwidth,
       [](Editor& e, int v) { e.EditBand(3, kBand, Editor::BandChange::Width(v)); }, 10, 20, 280},
      {"high-pass", out::kCrossover + xover::kHpFrequency,
       [](Editor& e, int v) { e.SetCrossoverFrequency(3, true, v, Editor::CrossoverBox::Graph); }, 1001, 1010, 2000},
      {"low-pass", out::kCrossover + xover::kLpFrequency,
       [](Editor& e, int v) { e.SetCrossoverFrequency(3, false, v, Editor::CrossoverBox::Graph); }, 3001, 3010, 5000},
      {"delay", out::kDelay, [](Editor& e, int v) { e.SetDelay(3, v); }, 10, 20, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimEngine sim(SimKind::InProcess);
    Editor& editor = sim.editor();
    ASSERT_TRUE(sim.Connect());
    const auto held = [&] {
      const int v = GetU16(sim.processor()->Memory().Block(0, BlockType::Output, 3), c.offset);
      return c.recordGain ? v - kRecordGainOffset : v;
    };
    const int original = held();
    c.set(editor, c.a);
    c.set(editor, c.b);
    // A crossover frequency travels an octave per frame.
    ASSERT_TRUE(sim.PumpUntil([&] { return held() == c.b; }, std::chrono::seconds(5)));
    sim.engine().OnConnectButton();
    sim.processor()->EditMemory([&](DeviceImage& m) {
      PutU16(m.Block(0, BlockType::Output, 3), c.offset,
             static_cast<std::uint16_t>(c.processor + (c.recordGain ? kRecordGainOffset : 0)));
    });
    ASSERT_TRUE(sim.Connect());
    for (const int expected : {c.b, c.a, original}) {
      ASSERT_TRUE(editor.Undo());
      // On the way (an octave per frame) only values between two set ones pass; whole values
      // arrive in the end.
      EXPECT_TRUE(sim.PumpUntil([&] { return held() == expected; }, std::chrono::seconds(5))) << held();
    }
    EXPECT_FALSE(editor.Undo());
  }
}

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
    ASSERT_TRUE(history.Record({What::BandGain, i % 8, i % 31}, History::SendAs::Items, before, after, i));
    before = after;
  }
  EXPECT_EQ(history.Size(), 1000u);
  EXPECT_LT(history.MemoryBytes(), 1u << 20);
}

// Every value of more than one byte, changed in its low byte only by a step and in its high byte
// by someone else afterwards: an undo writes the step's whole value back, never the step's low
// byte under the other high byte.
TEST(History, UndoWritesWholeValuesOverAnImageChangedSince) {
  std::size_t fields = 0;
  for (std::size_t at = 0; at < preset::kSize;) {
    const Field field = PresetFieldAt(at);
    at = std::size_t{field.offset} + field.size;
    if (field.size < 2) continue;
    ++fields;
    SCOPED_TRACE(field.offset);
    PresetImage before{}, after{};
    before[field.offset] = 0x11;
    after[field.offset] = 0x22;
    for (std::size_t i = 1; i < field.size; ++i) before[field.offset + i] = after[field.offset + i] = 0x33;
    History history;
    ASSERT_TRUE(history.Record({}, History::SendAs::Items, before, after, 0));
    ASSERT_EQ(history.UndoStep()->changes.size(), 1u);
    EXPECT_EQ(history.UndoStep()->changes[0].field, field);

    PresetImage since = after;
    for (std::size_t i = 1; i < field.size; ++i) since[field.offset + i] = 0x44;
    history.UndoStep()->Apply(since, true);
    EXPECT_EQ(since, before);
    history.UndoStep()->Apply(since, false);
    EXPECT_EQ(since, after);
  }
  // Frequencies, gains, widths and crossovers of 8 outputs, 2 inputs and the effect, the delays,
  // gains and limiters, and the names.
  EXPECT_GT(fields, 8u * 31 * 3);
}

TEST(History, ALinkChangeAloneIsAStep) {
  History history;
  const PresetImage same{};
  LinkState unlinked = LinkState::Unlinked(), linked = unlinked;
  linked.on = true;
  linked.groups[1] = 0;
  EXPECT_FALSE(history.Record({What::Unlink}, History::SendAs::Items, same, same, 0, &unlinked, &unlinked));
  ASSERT_TRUE(history.Record({What::Unlink}, History::SendAs::Items, same, same, 0, &linked, &unlinked));
  ASSERT_TRUE(history.UndoStep()->link);
  EXPECT_EQ(history.UndoStep()->link->first, linked);
  EXPECT_TRUE(history.UndoStep()->changes.empty());
}

// A history of two steps and one undone, in bytes: every kind of value, a link and a file title.
std::pair<History, std::vector<std::uint8_t>> TwoSteps() {
  History history;
  PresetImage before{}, after{};
  PutU16(after, preset::kOutput + 17 * 8 + band::kFrequency, 1010);
  PutS16(after, preset::kOutput + out::kDelay, -3);
  after[preset::kMicIn + in::kPhase] = 1;
  std::copy_n("Club", 4, after.begin() + preset::kName);
  LinkState unlinked = LinkState::Unlinked(), linked = unlinked;
  linked.on = true;
  linked.pairs[2] = {1, 4, 5};
  linked.groups[5] = 4;
  EXPECT_TRUE(
      history.Record({What::FileLoad}, History::SendAs::Blocks, before, after, 1234567890123, &unlinked, &linked));
  history.SetLastTitle("club.dsps");
  EXPECT_TRUE(history.Record({What::EqReset, 2}, History::SendAs::MutedBlocks, after, before, 5));
  history.MarkUndone();
  return {std::move(history), history.Bytes()};
}

TEST(HistoryBytes, ReadBackGiveTheSameStepsAndCursor) {
  const auto [history, bytes] = TwoSteps();
  const auto read = History::FromBytes(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->Bytes(), bytes);
  ASSERT_EQ(read->Size(), 2u);
  EXPECT_EQ(read->Cursor(), 1u);
  const History::Step& load = read->At(0);
  EXPECT_EQ(load.send, History::SendAs::Blocks);
  EXPECT_EQ(load.timeMs, 1234567890123);
  EXPECT_EQ(load.fileTitle, "club.dsps");
  ASSERT_TRUE(load.link);
  EXPECT_EQ(load.link->second, history.At(0).link->second);
  EXPECT_EQ(load.changes.size(), 4u);  // name, microphone phase, delay, band frequency
  EXPECT_EQ(read->RedoStep()->send, History::SendAs::MutedBlocks);
  EXPECT_EQ(read->AppliedFileTitle(), "club.dsps");
  // An empty history is a history too.
  EXPECT_EQ(History::FromBytes(History().Bytes())->Size(), 0u);
}

// The first form kept byte ranges and the A/B switch as a step.
std::vector<std::uint8_t> FirstFormBytes() {
  std::vector<std::uint8_t> b = {1, 3, 0, 0, 0, 3, 0, 0, 0};
  const auto u16 = [&](std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  // A gain step on CH1, the switch, then band 18's frequency of CH1 from 1001 to 1010 Hz: only its
  // low byte changed, so the step held that byte alone.
  const std::uint16_t gain = preset::kOutput + out::kGain;
  b.insert(b.end(), {0, static_cast<std::uint8_t>(What::Gain), 1, 0, 0});
  u16(1);
  u16(gain);
  u16(1);
  b.insert(b.end(), {20, 30});
  b.insert(b.end(), {2, static_cast<std::uint8_t>(What::AbSwitch), 0, 0, 0});
  u16(0);
  const std::uint16_t frequency = preset::kOutput + 17 * 8 + band::kFrequency;
  b.insert(b.end(), {0, static_cast<std::uint8_t>(What::BandFrequency), 1, 18, 0});
  u16(1);
  u16(frequency);
  u16(1);
  b.insert(b.end(), {0xE9, 0xF2});
  return b;
}

TEST(HistoryBytes, TheFirstFormIsReadAsWholeValuesBackToTheLastSwitch) {
  PresetImage tuning{};
  PutU16(tuning, preset::kOutput + 17 * 8 + band::kFrequency, 1010);
  const auto read = History::FromBytes(FirstFormBytes(), tuning);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->Size(), 1u);
  EXPECT_EQ(read->Cursor(), 1u);
  const History::Step& step = *read->UndoStep();
  EXPECT_EQ(step.label, (StepLabel{What::BandFrequency, 0, 17}));
  ASSERT_EQ(step.changes.size(), 1u);
  EXPECT_EQ(step.changes[0].before, 1001);
  EXPECT_EQ(step.changes[0].after, 1010);
}

TEST(HistoryBytes, DamagedBytesAreRefusedAndLeaveTheEditorsHistoryEmpty) {
  const std::vector<std::uint8_t> good = TwoSteps().second;
  // Offsets into `good`: the header (version, count, cursor), then the first step's header (what,
  // channel, band, how it is sent, time, change count) and its first change (the name).
  constexpr std::size_t kCount = 1, kCursor = 5, kStep = 9, kSend = kStep + 3, kChanges = kStep + 12;
  constexpr std::size_t kFirstChange = kChanges + 2;
  // The name (offset and two texts), then three numbers (offset and two values each).
  constexpr std::size_t kLinkFlag = kFirstChange + (2 + 2 * preset::kNameSize) + 3 * (2 + 4 + 4);
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
      {"another version", with(0, 9)},
      {"cut in the header", {good.begin(), good.begin() + 6}},
      {"cut in a step", {good.begin(), good.begin() + kFirstChange + 3}},
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
      {"an unknown label", with(kStep, 0xEE)},
      {"a channel that does not exist", with(kStep + 1, 9)},
      {"an unknown way of sending", with(kSend, 3)},
      {"a change inside a value", with(kFirstChange, 1)},
      {"a change past the preset", with(kFirstChange + 1, 0x7F)},
      {"a link flag neither yes nor no", with(kLinkFlag, 2)},
      {"a link group that does not exist", with(kLinkFlag + 1 + 1 + 30 + 5, kLinkGroupEntries)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(History::FromBytes(c.bytes));
  }

  testing::OfflineEditor offline;
  Editor& editor = offline.editor;
  editor.SetDelay(0, 10);
  EXPECT_FALSE(editor.RestoreRecoveryPart(std::vector<std::uint8_t>{3, 1, 2}));
  EXPECT_EQ(editor.Steps().Size(), 0u);
  EXPECT_FALSE(editor.Undo());
  EXPECT_TRUE(editor.RestoreRecoveryPart(FirstFormBytes()));
  EXPECT_EQ(editor.Steps().Size(), 1u);
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
