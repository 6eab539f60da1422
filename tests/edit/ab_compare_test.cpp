#include "edit/ab_compare.h"

#include <gtest/gtest.h>

#include <array>

#include <string>
#include <vector>

#include "core/bytes.h"
#include "edit/editor.h"
#include "edit/linking.h"
#include "model/ktv_data.h"
#include "support/engine_harness.h"

namespace zelto {
namespace {

using testing::SimEngine;
using testing::SimKind;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

std::string OutputBlockLine(int channel) {
  return "WRITE slot 0 OUTPUT ch " + std::to_string(channel) + " len 296 -> ACK";
}

class AbOnline : public ::testing::TestWithParam<SimKind> {
 protected:
  void SetUp() override {
    sim = std::make_unique<SimEngine>(GetParam());
    ASSERT_TRUE(sim->Connect());
    ab = &sim->ab();
  }
  Engine& engine() { return sim->engine(); }

  /// Sets the gain of each channel as the window would and waits until the processor has it.
  void EditGains(const std::vector<std::pair<int, int>>& gains) {
    const std::size_t before = sim->FrameLineCount();
    engine().Data().Edit([&](CKTV_Data& d) {
      for (auto [channel, code] : gains) d.Output(channel).SetGain(code);
    });
    ASSERT_EQ(sim->WaitForFrames(before, gains.size()).size(), gains.size());
  }
  /// Runs `action` and returns every frame the processor received for it, waiting a little
  /// beyond `expected` frames so that one too many shows.
  Lines FramesOf(const std::function<void()>& action, std::size_t expected) {
    const std::size_t before = sim->FrameLineCount();
    action();
    sim->WaitForFrames(before, expected, 5s);
    sim->PumpFor(300ms);
    const Lines all = sim->FrameLines();
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
  }
  int GainAtProcessor(int channel) {
    auto* p = sim->processor();
    return p ? GetU16(p->Memory().Block(0, BlockType::Output, channel), out::kGain) : -1;
  }

  std::unique_ptr<SimEngine> sim;
  AbCompare* ab = nullptr;
};

TEST_P(AbOnline, ASwitchSendsWholeBlocksForTheDifferingChannelsOnly) {
  EditGains({{0, 50}, {1, 51}, {4, 52}});

  // The first switch makes B a copy of A: nothing differs, nothing is sent.
  AbCompare::Outcome first;
  EXPECT_EQ(FramesOf([&] { first = ab->Switch(); }, 0), Lines{});
  EXPECT_EQ(ab->Active(), AbSide::B);
  EXPECT_TRUE(ab->Started());
  EXPECT_EQ(first.queued, 0);

  // B: two channels and the microphone input differ from A.
  EditGains({{1, 30}, {4, 31}});
  engine().Data().Edit([](CKTV_Data& d) { d.Mic().SetGain(70); });

  const Lines toA{"WRITE slot 0 MIC_IN ch 0 len 112 -> ACK", OutputBlockLine(1), OutputBlockLine(4)};
  AbCompare::Outcome back;
  EXPECT_EQ(FramesOf([&] { back = ab->Switch(); }, toA.size()), toA);
  EXPECT_EQ(ab->Active(), AbSide::A);
  EXPECT_EQ(back.queued, 3);
  EXPECT_EQ(back.changed.OutputCount(), 2);
  EXPECT_TRUE(back.changed.mic);
  EXPECT_FALSE(back.changed.music || back.changed.effect);
  // The objects hold A again, and so does the processor.
  EXPECT_EQ(engine().Data().Output(0).GainCode(), 50);
  EXPECT_EQ(engine().Data().Output(1).GainCode(), 51);
  EXPECT_EQ(engine().Data().Output(4).GainCode(), 52);
  if (sim->processor()) {
    EXPECT_EQ(GainAtProcessor(1), 51);
    EXPECT_EQ(GainAtProcessor(4), 52);
  }
  // The graph can draw B's curves meanwhile.
  const PresetImage other = ab->OtherTuning();
  EXPECT_EQ(GetU16(std::span(other).subspan(preset::kOutput + 4 * out::kSize), out::kGain), 31);

  // And to B once more.
  EXPECT_EQ(FramesOf([&] { ab->Switch(); }, toA.size()), toA);
  EXPECT_EQ(engine().Data().Output(1).GainCode(), 30);
  EXPECT_EQ(engine().Data().Output(4).GainCode(), 31);
  if (sim->processor()) {
    EXPECT_EQ(GainAtProcessor(4), 31);
  }
}

TEST_P(AbOnline, EditsGoToTheActiveSideAndCopiesMakeBothSidesEqual) {
  ab->Switch();  // B
  EditGains({{2, 20}, {3, 21}, {7, 22}});
  EXPECT_EQ(FramesOf([&] { ab->Switch(); }, 3).size(), 3u);  // back to A
  ASSERT_EQ(engine().Data().Output(7).GainCode(), 60);

  // Copying into the side not active sends nothing; A still plays.
  EXPECT_EQ(FramesOf([&] { ab->Copy(AbSide::A, AbSide::B); }, 0), Lines{});
  EXPECT_EQ(engine().Data().Output(7).GainCode(), 60);
  // Both sides equal: a switch sends nothing.
  EXPECT_EQ(FramesOf([&] { ab->Switch(); }, 0), Lines{});

  // B gets an edit, then copying B into A while A plays sends what differs.
  EditGains({{5, 10}});
  EXPECT_EQ(FramesOf([&] { ab->Switch(); }, 1), Lines{OutputBlockLine(5)});  // A
  const Lines copied{OutputBlockLine(5)};
  EXPECT_EQ(FramesOf([&] { ab->Copy(AbSide::B, AbSide::A); }, copied.size()), copied);
  EXPECT_EQ(engine().Data().Output(5).GainCode(), 10);
  EXPECT_EQ(FramesOf([&] { ab->Switch(); }, 0), Lines{});
}

TEST_P(AbOnline, EightDifferingChannelsAreHeardAfterEightBlocks) {
  ab->Switch();
  std::vector<std::pair<int, int>> gains;
  for (int c = 0; c < kOutputChannels; ++c) gains.emplace_back(c, 10 + c);
  EditGains(gains);
  Lines expected;
  for (int c = 0; c < kOutputChannels; ++c) expected.push_back(OutputBlockLine(c));
  EXPECT_EQ(FramesOf([&] { ab->Switch(); }, expected.size()), expected);
}

int OtherGain(AbCompare& ab, int channel) {
  const PresetImage other = ab.OtherTuning();
  return GetU16(std::span(other).subspan(preset::kOutput + static_cast<std::size_t>(channel) * out::kSize), out::kGain);
}

TEST_P(AbOnline, EachSideKeepsItsOwnHistoryThroughAnyNumberOfSwitches) {
  Editor& editor = sim->editor();
  EXPECT_EQ(FramesOf([&] { editor.SwitchAb(); }, 0), Lines{});  // B starts as a copy of A
  EXPECT_EQ(FramesOf([&] { editor.SetGain(2, 20); }, 1).size(), 1u);
  EXPECT_EQ(FramesOf([&] { editor.SetGain(6, 21); }, 1).size(), 1u);
  EXPECT_EQ(FramesOf([&] { EXPECT_TRUE(editor.Undo()); }, 1).size(), 1u);  // B's CH7 back
  ASSERT_TRUE(editor.Steps().CanRedo());

  // Switching is listening: no step, and A has a history of its own.
  const Lines channel2{OutputBlockLine(2)};
  EXPECT_EQ(FramesOf([&] { editor.SwitchAb(); }, 1), channel2);  // A
  EXPECT_FALSE(editor.Steps().CanUndo());
  EXPECT_FALSE(editor.Steps().CanRedo());
  EXPECT_EQ(FramesOf([&] { EXPECT_FALSE(editor.Undo()); }, 0), Lines{});
  EXPECT_EQ(FramesOf([&] { editor.SetGain(3, 33); }, 1).size(), 1u);
  const Lines channels23{OutputBlockLine(2), OutputBlockLine(3)};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(FramesOf([&] { editor.SwitchAb(); }, 2), channels23);  // B, A, B
  ASSERT_EQ(ab->Active(), AbSide::B);

  // B's redo branch is still there, and Ctrl+Z acts on B, as item writes of the channel changed.
  EXPECT_EQ(editor.StepsOf(AbSide::B).Size(), 2u);
  const Lines redone = FramesOf([&] { EXPECT_TRUE(editor.Redo()); }, 1);
  ASSERT_EQ(redone.size(), 1u) << ::testing::PrintToString(redone);
  EXPECT_NE(redone[0].find("OUTPUT ch 6 idx"), std::string::npos) << redone[0];
  if (sim->processor()) {
    EXPECT_EQ(GainAtProcessor(6), 21);
  }
  for (int channel : {6, 2}) {
    const Lines undone = FramesOf([&] { EXPECT_TRUE(editor.Undo()); }, 1);
    ASSERT_EQ(undone.size(), 1u) << ::testing::PrintToString(undone);
    EXPECT_NE(undone[0].find("OUTPUT ch " + std::to_string(channel) + " idx"), std::string::npos) << undone[0];
    EXPECT_EQ(ab->Active(), AbSide::B);
  }
  EXPECT_FALSE(editor.Steps().CanUndo());
  // A's step waits on A.
  EXPECT_EQ(FramesOf([&] { editor.SwitchAb(); }, 1), Lines{OutputBlockLine(3)});
  const Lines undoneOnA = FramesOf([&] { EXPECT_TRUE(editor.Undo()); }, 1);
  ASSERT_EQ(undoneOnA.size(), 1u);
  EXPECT_NE(undoneOnA[0].find("OUTPUT ch 3 idx"), std::string::npos) << undoneOnA[0];
}

TEST_P(AbOnline, CopiesAreStepsOfTheSideTheyChangeAndOnlyACopyIntoThePlayingSideSendsAnything) {
  Editor& editor = sim->editor();
  editor.SwitchAb();  // B
  EXPECT_EQ(FramesOf([&] { editor.SetGain(3, 25); }, 1).size(), 1u);
  const Lines channel3{OutputBlockLine(3)};
  EXPECT_EQ(FramesOf([&] { editor.SwitchAb(); }, 1), channel3);  // A

  // B into A while A plays: the block goes out, and its undo sends A's block back.
  EXPECT_EQ(FramesOf([&] { editor.CopyAb(AbSide::B, AbSide::A); }, 1), channel3);
  EXPECT_EQ(engine().Data().Output(3).GainCode(), 25);
  EXPECT_EQ(FramesOf([&] { EXPECT_TRUE(editor.Undo()); }, 1), channel3);
  EXPECT_EQ(engine().Data().Output(3).GainCode(), 60);
  if (sim->processor()) {
    EXPECT_EQ(GainAtProcessor(3), 60);
  }

  // A into B, which is not heard: nothing is sent; the copy is a step of B's history, not A's.
  EXPECT_EQ(FramesOf([&] { editor.CopyAb(AbSide::A, AbSide::B); }, 0), Lines{});
  EXPECT_EQ(OtherGain(*ab, 3), 60);
  EXPECT_EQ(StepText(editor.StepsOf(AbSide::B).UndoStep()->label, Language::English), "A/B copy");
  EXPECT_TRUE(editor.Steps().CanRedo());                        // A's undone copy can still be redone
  EXPECT_EQ(FramesOf([&] { editor.SwitchAb(); }, 0), Lines{});  // B, equal to A now
  EXPECT_EQ(FramesOf([&] { EXPECT_TRUE(editor.Undo()); }, 1), channel3);
  EXPECT_EQ(engine().Data().Output(3).GainCode(), 25);
  EXPECT_EQ(ab->Active(), AbSide::B);
}

// The processor's first two channels as a left/right pair, so the link button has a pair to join.
void PairFirstTwo(Engine& engine) {
  const std::array<std::uint8_t, 2> types{1, 7};
  std::copy(types.begin(), types.end(), engine.Image().ChannelTypes().begin());
}

TEST_P(AbOnline, LinkingIsAStepWithItsStateAndEachSideHasItsOwn) {
  Editor& editor = sim->editor();
  PairFirstTwo(engine());
  EXPECT_EQ(FramesOf([&] { editor.SetGain(0, 30); }, 1).size(), 1u);
  const Lines linked = FramesOf([&] { editor.Link(rules::CopyDirection::LeftToRight); }, 1);
  ASSERT_FALSE(linked.empty());
  EXPECT_NE(linked[0].find("OUTPUT ch 1 linked len 296"), std::string::npos) << linked[0];
  ASSERT_TRUE(editor.LinkOn());
  EXPECT_EQ(engine().Data().Output(1).GainCode(), 30);

  // Undo takes the copy back (the block of the one channel it changed) and the link off: later
  // edits reach one channel only.
  EXPECT_EQ(FramesOf([&] { EXPECT_TRUE(editor.Undo()); }, 1), Lines{OutputBlockLine(1)});
  EXPECT_FALSE(editor.LinkOn());
  EXPECT_EQ(engine().Data().Output(1).GainCode(), 60);
  EXPECT_EQ(FramesOf([&] { editor.EditBand(0, 4, Editor::BandChange::Gain(230)); }, 1).size(), 1u);
  EXPECT_NE(engine().Data().Output(1).Eq().Filter(4).gainCode(), 230);
  ASSERT_TRUE(editor.Redo() == false);  // the band edit ended the redo branch

  // Linked on A; B (a copy) starts linked, is unlinked there, and A stays linked.
  editor.Link(rules::CopyDirection::LeftToRight);
  sim->PumpFor(300ms);
  editor.SwitchAb();
  EXPECT_TRUE(editor.LinkOn());
  editor.Unlink();
  EXPECT_FALSE(editor.LinkOn());
  EXPECT_EQ(StepText(editor.Steps().UndoStep()->label, Language::English), "unlink");
  editor.SwitchAb();
  EXPECT_TRUE(editor.LinkOn());
  editor.SwitchAb();
  EXPECT_FALSE(editor.LinkOn());
  ASSERT_TRUE(editor.Undo());  // the unlink, on B
  EXPECT_TRUE(editor.LinkOn());

  // Both sides' links and histories go through the recovery part.
  Editor restored(engine());
  restored.SetAb(ab);
  ASSERT_TRUE(restored.RestoreRecoveryPart(editor.SaveRecoveryPart()));
  EXPECT_EQ(restored.SaveRecoveryPart(), editor.SaveRecoveryPart());
  EXPECT_TRUE(restored.LinkOn());
  EXPECT_EQ(restored.StepsOf(AbSide::A).Size(), editor.StepsOf(AbSide::A).Size());
  EXPECT_TRUE(restored.Steps().CanRedo());
}

TEST_P(AbOnline, UndoOfAnEqResetGoesAsTheResetDid) {
  Editor& editor = sim->editor();
  editor.EditBand(2, 3, Editor::BandChange::Gain(260));
  editor.EditBand(2, 9, Editor::BandChange::Gain(150));
  sim->PumpFor(500ms);
  // Muted, the block, unmuted: three frames.
  const Lines reset = FramesOf([&] { editor.ResetGroupEq(2); }, 3);
  ASSERT_EQ(reset.size(), 3u) << ::testing::PrintToString(reset);
  EXPECT_EQ(FramesOf([&] { EXPECT_TRUE(editor.Undo()); }, 3), reset);
  EXPECT_EQ(engine().Data().Output(2).Eq().Filter(9).gainCode(), 150);
  EXPECT_EQ(FramesOf([&] { EXPECT_TRUE(editor.Redo()); }, 3), reset);
  EXPECT_EQ(FramesOf([&] { editor.SetEqBypass(2, true); }, 3), reset);
  EXPECT_EQ(FramesOf([&] { EXPECT_TRUE(editor.Undo()); }, 3), reset);
}

INSTANTIATE_TEST_SUITE_P(Sim, AbOnline, ::testing::Values(SimKind::InProcess, SimKind::Tcp), testing::KindName);

TEST(AbOffline, SwitchingWithoutAProcessorSwapsTheObjectsAndQueuesNothing) {
  SimEngine sim(SimKind::InProcess);
  AbCompare& ab = sim.ab();
  ab.Switch();
  sim.engine().Data().Edit([](CKTV_Data& d) { d.Output(3).SetGain(12); });
  const AbCompare::Outcome o = ab.Switch();
  EXPECT_EQ(o.changed.OutputCount(), 1);
  EXPECT_EQ(o.queued, 0);
  EXPECT_EQ(sim.engine().Queue().Count(), 0u);
  EXPECT_EQ(sim.engine().Data().Output(3).GainCode(), 60);
  ab.Switch();
  EXPECT_EQ(sim.engine().Data().Output(3).GainCode(), 12);
}

TEST(DiffTunings, ComparesOnlyTheBytesThatTravel) {
  PresetImage a{};
  PresetImage b{};
  EXPECT_EQ(DiffTunings(a, b).BlockCount(), 0);
  // Name fields, the last two bytes of an output block and the effect's tail never travel.
  b[preset::kName] = 'x';
  b[preset::kOutput + out::kSendSize] = 1;
  b[preset::kEffect + fx::kSendSize] = 1;
  EXPECT_EQ(DiffTunings(a, b).BlockCount(), 0);
  b[preset::kOutput + 7 * out::kSize + out::kSendSize - 1] = 1;
  b[preset::kMusicIn + in::kSize - 1] = 1;
  b[preset::kEffect] = 1;
  const TuningDifference d = DiffTunings(a, b);
  EXPECT_EQ(d.OutputCount(), 1);
  EXPECT_TRUE(d.outputs[7]);
  EXPECT_TRUE(d.music && d.effect);
  EXPECT_FALSE(d.mic);
  EXPECT_EQ(d.BlockCount(), 3);
}

}  // namespace
}  // namespace zelto
