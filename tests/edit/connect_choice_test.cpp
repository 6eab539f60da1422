// Edits the processor never received survive a connect: made offline, or lost with a failed link.
// A read-back that differs from them is a choice (send mine / keep the processor's), each one step
// of the history; what the simulated processor receives for each answer is checked.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bytes.h"
#include "edit/ab_compare.h"
#include "edit/editor.h"
#include "edit/unsent_edits.h"
#include "support/engine_harness.h"

namespace zelto {
namespace {

using testing::SimEngine;
using testing::SimKind;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

std::string BlockLine(int channel) { return "WRITE slot 0 OUTPUT ch " + std::to_string(channel) + " len 296 -> ACK"; }

class ConnectChoice : public ::testing::TestWithParam<SimKind> {
 protected:
  void SetUp() override {
    sim = std::make_unique<SimEngine>(GetParam());
    editor = &sim->editor();
  }
  void TearDown() override {
    editor = nullptr;
    sim.reset();
  }
  Engine& engine() { return sim->engine(); }
  int Gain(int ch) { return engine().Data().Output(ch).GainCode(); }
  int BandGain(int ch, int k) { return engine().Data().Output(ch).Eq().Filter(k).gainCode(); }
  /// Runs `action` and returns the frames the processor received for it, waiting a little beyond
  /// `expected` so that one too many shows.
  Lines FramesOf(const std::function<void()>& action, std::size_t expected) {
    const std::size_t before = sim->FrameLineCount();
    action();
    sim->WaitForFrames(before, expected, 5s);
    sim->PumpFor(300ms);
    const Lines all = sim->FrameLines();
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  }
  void Disconnect() {
    ASSERT_TRUE(engine().Connected());
    engine().OnConnectButton();
    ASSERT_FALSE(engine().Connected());
  }

  /// The processor holds its own gain 45 on CH5 (set while connected, so nothing is unsent); then,
  /// offline, the user sets CH2's gain and a band of CH3; the connect finds the processor without
  /// them and asks.
  void EditOfflineAndReconnect() {
    ASSERT_TRUE(sim->Connect());
    editor->SetGain(4, 45);
    sim->PumpFor(500ms);
    processorGain1 = Gain(1);
    processorBand2 = BandGain(2, 5);
    Disconnect();
    EXPECT_FALSE(editor->HasUnsentEdits()) << "the processor answered every edit before the disconnect";

    editor->SetGain(1, 30);
    editor->EditBand(2, 5, Editor::BandChange::Gain(250));
    editor->SetGain(4, 50);
    editor->SetGain(4, 45);  // back to what the processor holds: nothing to ask about
    ASSERT_NE(processorGain1, 30);
    ASSERT_NE(processorBand2, 250);

    const std::size_t before = sim->FrameLineCount();
    ASSERT_TRUE(sim->Connect());
    afterConnect = sim->FrameLineCount();
    ASSERT_GT(afterConnect, before);
    ASSERT_TRUE(editor->ConnectChoicePending());
    EXPECT_TRUE(sim->PumpUntil([&] { return sim->Seen(Notice::ConnectChoice) > 0; }, 2s));
    EXPECT_EQ(editor->ConnectChoiceChannels(), (std::vector<int>{1, 2}));
    // Until the user answers, the window shows what the processor holds.
    EXPECT_EQ(Gain(1), processorGain1);
    EXPECT_EQ(BandGain(2, 5), processorBand2);
  }
  /// What the processor holds (the in-process one can be looked into).
  void ExpectProcessorGain(int ch, int code) {
    auto* p = sim->processor();
    if (!p) return;
    EXPECT_EQ(GetU16(p->Memory().Block(0, BlockType::Output, ch), out::kGain), code) << ch;
  }

  std::unique_ptr<SimEngine> sim;
  Editor* editor = nullptr;
  int processorGain1 = 0;
  int processorBand2 = 0;
  std::size_t afterConnect = 0;
};

TEST_P(ConnectChoice, SendingMineSendsTheDifferingBlocksAndUndoSendsTheProcessorsBack) {
  EditOfflineAndReconnect();
  if (HasFatalFailure()) return;

  Lines sent = FramesOf([&] { EXPECT_TRUE(editor->ResolveConnectChoice(true).applied); }, 2);
  EXPECT_EQ(sent, (Lines{BlockLine(1), BlockLine(2)}));
  EXPECT_EQ(Gain(1), 30);
  EXPECT_EQ(BandGain(2, 5), 250);
  EXPECT_EQ(Gain(4), 45);
  ExpectProcessorGain(1, 30);
  ExpectProcessorGain(4, 45);
  EXPECT_FALSE(editor->ConnectChoicePending());
  EXPECT_EQ(StepText(editor->Steps().UndoStep()->label, Language::English), "send my settings");

  sent = FramesOf([&] { EXPECT_TRUE(editor->Undo()); }, 2);
  EXPECT_EQ(sent, (Lines{BlockLine(1), BlockLine(2)}));
  EXPECT_EQ(Gain(1), processorGain1);
  EXPECT_EQ(BandGain(2, 5), processorBand2);
  ExpectProcessorGain(1, processorGain1);

  sent = FramesOf([&] { EXPECT_TRUE(editor->Redo()); }, 2);
  EXPECT_EQ(sent, (Lines{BlockLine(1), BlockLine(2)}));
  EXPECT_EQ(Gain(1), 30);
}

TEST_P(ConnectChoice, KeepingTheProcessorsSendsNothingAndUndoBringsMineBack) {
  EditOfflineAndReconnect();
  if (HasFatalFailure()) return;

  Lines sent = FramesOf([&] { EXPECT_TRUE(editor->ResolveConnectChoice(false).applied); }, 0);
  EXPECT_TRUE(sent.empty()) << ::testing::PrintToString(sent);
  EXPECT_EQ(Gain(1), processorGain1);
  EXPECT_EQ(BandGain(2, 5), processorBand2);
  EXPECT_FALSE(editor->HasUnsentEdits());
  EXPECT_EQ(StepText(editor->Steps().UndoStep()->label, Language::Chinese), "保留处理器的设置");

  // The two values go back as the items they are.
  sent = FramesOf([&] { EXPECT_TRUE(editor->Undo()); }, 2);
  EXPECT_EQ(sent,
            (Lines{"WRITE slot 0 OUTPUT ch 1 idx 31 len 8 -> ACK", "WRITE slot 0 OUTPUT ch 2 idx 5 len 8 -> ACK"}));
  EXPECT_EQ(Gain(1), 30);
  EXPECT_EQ(BandGain(2, 5), 250);
  ExpectProcessorGain(1, 30);
}

// An A/B switch made offline changes the tuning by whole blocks; those wait for the connect too.
TEST_P(ConnectChoice, AnAbSwitchMadeOfflineIsKeptForTheConnect) {
  ASSERT_TRUE(sim->Connect());
  editor->SwitchAb();  // B, a copy of A
  const int gainOnA = Gain(2);
  editor->SetGain(2, gainOnA == 20 ? 21 : 20);
  sim->PumpFor(500ms);
  const int gainOnB = Gain(2);
  Disconnect();

  editor->SwitchAb();  // back to A, offline
  ASSERT_EQ(Gain(2), gainOnA);
  ASSERT_TRUE(sim->Connect());
  ASSERT_TRUE(editor->ConnectChoicePending());
  EXPECT_EQ(editor->ConnectChoiceChannels(), (std::vector<int>{2}));
  EXPECT_EQ(Gain(2), gainOnB);
  EXPECT_EQ(FramesOf([&] { EXPECT_TRUE(editor->ResolveConnectChoice(true).applied); }, 1), Lines{BlockLine(2)});
  EXPECT_EQ(Gain(2), gainOnA);
  ExpectProcessorGain(2, gainOnA);
}

// A tuning restored from the recovery file while no processor is connected is the user's work:
// the connect asks before the processor's settings replace it.
TEST_P(ConnectChoice, ATuningRestoredOfflineIsAskedAbout) {
  ASSERT_TRUE(sim->Connect());
  const int processorGain = Gain(3);
  Disconnect();
  {
    auto lock = engine().Data().Lock();
    engine().Data().Output(3).SetGain(processorGain == 20 ? 21 : 20);
  }
  editor->KeepForConnect();
  ASSERT_TRUE(sim->Connect());
  ASSERT_TRUE(editor->ConnectChoicePending());
  EXPECT_EQ(editor->ConnectChoiceChannels(), (std::vector<int>{3}));
  EXPECT_EQ(FramesOf([&] { EXPECT_TRUE(editor->ResolveConnectChoice(false).applied); }, 0), Lines{});
  EXPECT_EQ(Gain(3), processorGain);
}

INSTANTIATE_TEST_SUITE_P(Sim, ConnectChoice, ::testing::Values(SimKind::InProcess, SimKind::Tcp), testing::KindName);

TEST(ConnectChoiceInProcess, NothingIsAskedWithoutUnsentEditsThatDiffer) {
  struct Case {
    const char* name;
    std::function<void(Editor&)> offline;
  };
  const Case cases[] = {
      {"no edit", [](Editor&) {}},
      {"an edit to what the processor holds", [](Editor& e) { e.SetGain(3, 33); }},
  };
  for (const Case& c : cases) {
    SimEngine sim(SimKind::InProcess);
    Editor& editor = sim.editor();
    sim.processor()->EditMemory([](DeviceImage& m) { PutU16(m.Block(0, BlockType::Output, 3), out::kGain, 33); });
    c.offline(editor);
    const std::size_t before = sim.FrameLineCount();
    ASSERT_TRUE(sim.Connect()) << c.name;
    sim.PumpFor(300ms);
    EXPECT_FALSE(editor.ConnectChoicePending()) << c.name;
    EXPECT_EQ(sim.Seen(Notice::ConnectChoice), 0) << c.name;
    EXPECT_FALSE(editor.HasUnsentEdits()) << c.name;
    EXPECT_EQ(sim.engine().Data().Output(3).GainCode(), 33) << c.name;
    // Nothing but the identity request and the read-back went out.
    EXPECT_EQ(sim.FrameLineCount() - before, 1u + kReadBackMessages) << c.name;
  }
}

TEST(ConnectChoiceInProcess, AnEditLostWithAFailedLinkIsOfferedOnTheNextConnect) {
  SimEngine sim(SimKind::InProcess);
  sim.engine().SetLinkTiming(testing::ShortLinkTiming());
  Editor& editor = sim.editor();
  ASSERT_TRUE(sim.Connect());
  const int held = sim.engine().Data().Output(6).GainCode();
  ASSERT_NE(held, 35);
  sim.processor()->Unplug();
  editor.SetGain(6, 35);
  ASSERT_TRUE(sim.PumpUntil([&] { return !sim.engine().Connected(); }, 10s));
  EXPECT_TRUE(editor.HasUnsentEdits());
  sim.processor()->Replug();
  ASSERT_TRUE(sim.Connect());
  ASSERT_TRUE(editor.ConnectChoicePending());
  EXPECT_EQ(editor.ConnectChoiceChannels(), std::vector<int>{6});
  EXPECT_EQ(sim.engine().Data().Output(6).GainCode(), held);
  EXPECT_TRUE(editor.ResolveConnectChoice(true).applied);
  sim.PumpFor(500ms);
  EXPECT_EQ(GetU16(sim.processor()->Memory().Block(0, BlockType::Output, 6), out::kGain), 35);
}

TEST(UnsentEdits, AChangedByteMarksItsWholeValue) {
  struct Case {
    std::size_t offset;  // within an output block
    std::size_t first;
    std::size_t length;
  };
  const Case cases[] = {
      {band::kSize * 3 + band::kFrequency + 1, band::kSize * 3, 2},  // the high byte of a frequency
      {band::kSize * 3 + band::kGainCode, band::kSize * 3 + band::kGainCode, 2},
      {band::kSize * 3 + band::kType, band::kSize * 3 + band::kType, 1},
      {out::kGain + 1, out::kGain, 2},
      {out::kPhase, out::kPhase, 1},
      {out::kCrossover + xover::kLpFrequency + 1, out::kCrossover + xover::kLpFrequency, 2},
      {out::kName + 3, out::kName, 8},
  };
  for (const Case& c : cases) EXPECT_EQ(OutputValueAt(c.offset), std::make_pair(c.first, c.length)) << c.offset;

  // Laid over another image, a marked frequency never mixes the halves of two numbers.
  PresetImage processor{}, mine{};
  const std::size_t freq = preset::kOutput + out::kSize * 2 + band::kSize * 3;
  PutU16(std::span(processor).subspan(freq, 2), 0, 500);
  PutU16(std::span(mine).subspan(freq, 2), 0, 1000);
  PutU16(std::span(mine).subspan(freq + band::kSize, 2), 0, 2000);  // the next band: not marked
  UnsentEdits unsent;
  unsent.Mark(std::vector<ByteRange>{{static_cast<std::uint16_t>(freq + 1), 1}}, false);
  const PresetImage merged = unsent.Merge(processor, mine);
  EXPECT_EQ(GetU16(std::span(merged).subspan(freq, 2), 0), 1000);
  EXPECT_EQ(GetU16(std::span(merged).subspan(freq + band::kSize, 2), 0), 0);
  EXPECT_EQ(DifferingChannels(processor, merged), std::vector<int>{2});
}

}  // namespace
}  // namespace zelto
