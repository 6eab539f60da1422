// The live RTA through a real audio server's loopback: pink noise on the chosen channel only,
// read back flat at its level, silent once stopped, and every setting put back. A channel that
// could be hurt gets no noise and nothing is changed.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "acoustics/rta_run.h"
#include "audio_server.h"
#include "support/offline_editor.h"

namespace zelto::acoustics {
namespace {

using testing::OfflineEditor;

// No processor behind the offline editor: its changes are in place at once.
class ImmediateHost final : public MeasurementHost {
 public:
  bool Settle() override { return true; }
  bool MoveMicrophone(int, int) override { return true; }
  void Report(const Progress&) override {}
  void Rejected(int, int, const std::string&) override {}
};

std::string GuardPath(const char* name) {
  const auto dir = std::filesystem::temp_directory_path() / ("zelto-rta-" + std::to_string(::getpid()) + "-" + name);
  std::filesystem::remove_all(dir);
  return (dir / kGuardFileName).string();
}

TEST(RtaRun, AChannelThatCouldBeHurtGetsNoNoiseAndNothingChanges) {
  OfflineEditor e;
  e.editor.SetCrossoverFrequency(0, true, 2500, Editor::CrossoverBox::Main);
  const RoutingSnapshot before = TakeRouting(e.engine);
  MeasurementGuard guard(GuardPath("unsafe"));
  std::string error;
  const auto audio = audio::MakeAudioSystem(&error, "pulse");
  if (!audio) GTEST_SKIP() << error;
  RtaRun run(e.editor, *audio, guard);
  ImmediateHost host;
  RtaPlan plan;
  plan.channels = {0, 1};  // channel 2 has no high-pass and is not marked
  plan.outputDevice = 1;
  plan.inputDevice = 1;
  EXPECT_FALSE(run.Start(plan, host, &error));
  EXPECT_NE(error.find("CH2"), std::string::npos) << error;
  EXPECT_FALSE(run.Running());
  EXPECT_EQ(TakeRouting(e.engine), before);
  EXPECT_FALSE(guard.Pending());
}

class RtaThroughTheLoopback : public test::AudioLoopbackTest {};

TEST_F(RtaThroughTheLoopback, NoiseReadsFlatAtItsLevelAndStopsSilentWithTheRoutingBack) {
  OfflineEditor e;
  e.editor.SetCrossoverFrequency(2, true, 2500, Editor::CrossoverBox::Main);
  e.editor.SetMixShare(2, 3, 40);
  const RoutingSnapshot before = TakeRouting(e.engine);
  MeasurementGuard guard(GuardPath("loop"));
  for (const int bands : {3, 6}) {
    SCOPED_TRACE(bands);
    RtaRun run(e.editor, *server_.system, guard);
    ImmediateHost host;
    RtaPlan plan;
    plan.channels = {2};
    plan.outputDevice = out_;
    plan.inputDevice = in_;
    plan.bandsPerOctave = bands;
    plan.averaging = bands == 3 ? RtaOptions::Averaging::Count : RtaOptions::Averaging::Exponential;
    plan.averages = 4;
    plan.levelDbfs = -20;
    std::string error;
    ASSERT_TRUE(run.Start(plan, host, &error)) << error;
    // While it plays: only the chosen channel sounds, fed from the sound card's input alone.
    const RoutingSnapshot routed = TakeRouting(e.engine);
    for (int ch = 0; ch < kOutputChannels; ++ch) EXPECT_EQ(routed.soundOn[static_cast<std::size_t>(ch)], ch == 2);
    EXPECT_EQ(routed.mix[2], (std::array<std::uint8_t, kMixSources>{100}));
    EXPECT_TRUE(guard.Pending());

    // Two periods for the stream to settle, then an average of steady noise only.
    const auto poll = [&](std::chrono::milliseconds span) {
      RtaReading r;
      for (auto until = std::chrono::steady_clock::now() + span; std::chrono::steady_clock::now() < until;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        r = run.Poll();
      }
      return r;
    };
    poll(std::chrono::milliseconds(3000));
    run.ResetAverage();
    const RtaReading r = poll(std::chrono::milliseconds(1000));
    ASSERT_GE(r.updatesAveraged, 4);
    EXPECT_GT(r.inputPeak, 0.1f);
    double lo = 1e9, hi = -1e9, total = 0;
    for (std::size_t i = 0; i < r.bands.hz.size(); ++i) {
      total += std::pow(10.0, r.bands.db[i] / 10);
      if (r.bands.hz[i] < 31.5 || r.bands.hz[i] > 16000) continue;
      lo = std::min(lo, r.bands.db[i]);
      hi = std::max(hi, r.bands.db[i]);
    }
    EXPECT_LT(hi - lo, bands == 3 ? 0.2 : 0.8) << "pink noise has equal power per band";
    // All bands together hold the noise's power; the analyser reads a full-scale sine as 0 dB.
    EXPECT_NEAR(10 * std::log10(total), -20 + 3.01, 0.3);

    EXPECT_TRUE(run.Stop(host));
    EXPECT_FALSE(run.Running());
    EXPECT_EQ(TakeRouting(e.engine), before);
    EXPECT_FALSE(guard.Pending());
    // Nothing of the noise is left playing.
    audio::PlayRecordSpec listen;
    listen.outputDevice = 0;
    listen.inputDevice = in_;
    listen.inputChannels = {0};
    listen.leadSeconds = 0;
    listen.tailSeconds = 0.3;
    audio::CancelFlag cancel;
    const audio::Recording after = audio::PlayAndRecord(*server_.system, listen, cancel);
    ASSERT_TRUE(after.Ok()) << after.error;
    float peak = 0;
    for (float v : after.channels[0]) peak = std::max(peak, std::abs(v));
    EXPECT_EQ(peak, 0.0f);
  }
}

}  // namespace
}  // namespace zelto::acoustics
