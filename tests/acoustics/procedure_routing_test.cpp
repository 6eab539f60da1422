// What a measurement changes and how it takes it back, without sound: the routing outside the
// history, its record on disk, the safety rule and the level verdicts.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

#include "acoustics/measurement_routing.h"
#include "acoustics/measurement_run.h"
#include "support/offline_editor.h"

namespace zelto::acoustics {
namespace {

using testing::OfflineEditor;

TEST(ProcedureRouting, RoutesOneChannelAndPutsEverythingBackWithoutAStep) {
  OfflineEditor e;
  // A tuning of its own: one channel already muted, mixes that differ.
  e.editor.SetSoundOn(3, false);
  e.editor.SetMixShare(2, 1, 40);
  e.editor.SetMixShare(5, 0, 70);
  const auto steps = e.editor.Steps().Bytes();
  const RoutingSnapshot before = TakeRouting(e.engine);

  const std::vector<Route> routes{{5, 2}, {0, 1}};
  RouteTo(e.editor, routes);
  const RoutingSnapshot routed = TakeRouting(e.engine);
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const bool sounds = ch == 5 || ch == 0;
    EXPECT_EQ(routed.soundOn[static_cast<std::size_t>(ch)], sounds) << ch;
  }
  EXPECT_EQ(routed.mix[5], (std::array<std::uint8_t, kMixSources>{0, 0, 100}));
  EXPECT_EQ(routed.mix[0], (std::array<std::uint8_t, kMixSources>{0, 100}));
  EXPECT_EQ(routed.mix[2], before.mix[2]);  // a muted channel's mix is left alone

  RestoreRouting(e.editor, before);
  EXPECT_EQ(TakeRouting(e.engine), before);
  // Neither the routing nor its restore is a step the user could undo.
  EXPECT_EQ(e.editor.Steps().Bytes(), steps);
}

TEST(ProcedureRouting, TemporaryChangesAreRefusedWhileAStepIsOpen) {
  OfflineEditor e;
  Editor::StepScope step(e.editor);
  EXPECT_FALSE(e.editor.SetSoundOnTemporarily(0, false));
  EXPECT_FALSE(e.editor.SetMixShareTemporarily(0, 1, 50));
}

TEST(ProcedureRouting, TheRecordSurvivesOnDiskAndADamagedOneIsNotUsed) {
  const auto dir = std::filesystem::temp_directory_path() / ("zelto-guard-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  MeasurementGuard guard((dir / "state" / kGuardFileName).string());
  EXPECT_FALSE(guard.Pending());

  RoutingSnapshot s;
  s.soundOn = {true, false, true, true, false, true, true, false};
  s.mix[1] = {100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 55};
  std::string error;
  ASSERT_TRUE(guard.Begin(s, &error)) << error;
  // Another program (the next start) finds it.
  MeasurementGuard later(guard.Path());
  ASSERT_TRUE(later.Pending());
  EXPECT_EQ(*later.Pending(), s);
  EXPECT_EQ(RoutingFromBytes(later.SaveRecoveryPart()), s);

  OfflineEditor e;
  ASSERT_TRUE(RestoreLeftover(e.editor, later));
  EXPECT_EQ(TakeRouting(e.engine), s);
  later.End();
  EXPECT_FALSE(guard.Pending());
  EXPECT_FALSE(RestoreLeftover(e.editor, guard));

  auto bytes = RoutingBytes(s);
  for (std::size_t at : {std::size_t{0}, std::size_t{4}, std::size_t{7}, bytes.size() - 1}) {
    auto bad = bytes;
    bad[at] ^= 0x40;
    EXPECT_FALSE(RoutingFromBytes(bad)) << at;
  }
  EXPECT_FALSE(RoutingFromBytes(std::span(bytes).first(bytes.size() - 1)));
  EXPECT_FALSE(RoutingFromBytes({}));
  std::filesystem::remove_all(dir);
}

TEST(ProcedureSafety, OnlyProtectedOrBassChannelsArePlayed) {
  struct Case {
    int highPassHz;
    int type;
    bool marked;
    Safety safety;
  };
  const Case cases[] = {
      {20, 1, false, Safety::Unsafe},        // a tweeter without a high-pass
      {199, 7, false, Safety::Unsafe},       // just too low
      {200, 7, false, Safety::HighPass},     // at the limit
      {3500, 1, false, Safety::HighPass},    //
      {20, 24, false, Safety::BassType},     // subwoofer
      {20, 3, false, Safety::BassType},      // woofer
      {20, 12, false, Safety::BassType},     // full range
      {20, 0, false, Safety::Unsafe},        // no type
      {20, 1, true, Safety::MarkedByUser},   // the user's word counts
      {20000, 24, false, Safety::HighPass},  //
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SafetyOf(c.highPassHz, c.type, c.marked), c.safety) << c.highPassHz << " " << c.type;
  }
}

}  // namespace
}  // namespace zelto::acoustics
