// zeltoctl measure against a started zelto-sim, playing through the audio server's loopback (the
// simulated processor carries no sound, so the "microphone" hears the sweep straight from the
// sound card). What counts is what the processor holds afterwards: every setting the measurement
// changed is back — after it ends, after Ctrl-C, and after the tool was killed mid-sweep, by the
// next run before anything else.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "acoustics/measurement_routing.h"
#include "audio_server.h"
#include "ctl/ctl.h"
#include "sim/sim_process.h"
#include "support/child_process.h"
#include "support/file_text.h"

namespace zelto::acoustics {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using testing::ReadText;

/// zeltoctl as its own process, so it can be interrupted and killed as a user would.
class Zeltoctl : public testing::ChildProcess {
 public:
  Zeltoctl(const fs::path& dir, const std::vector<std::string>& args)
      : ChildProcess(ZELTOCTL_EXE, args, dir / "zeltoctl") {}
};

class MeasureCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test::OpenAudioServer();
    if (!server_.skip.empty()) GTEST_SKIP() << server_.skip;
    dir_ = fs::temp_directory_path() / ("zelto-measure-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ::setenv("ZELTO_STATE_DIR", (dir_ / "state").c_str(), 1);
    std::string error;
    ASSERT_TRUE(sim_.Start(sim::SimProcess::DefaultExecutable(), {"--trace"}, &error)) << error;
    // A tweeter-like channel 1 with a high-pass, and a mute of the user's own that must survive.
    Ctl({"set", "ch1.hp=2000Hz", "ch3.mute=on"});
    before_ = Pull("before.dsps");
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  /// zeltoctl in this process, for the quick commands around a measurement.
  std::string Ctl(std::vector<std::string> args) {
    args.insert(args.begin(), "zeltoctl");
    args.push_back("--device");
    args.push_back(sim_.Url());
    std::ostringstream out;
    std::ostringstream err;
    const int code = ctl::RunZeltoctl(args, {out, err, false});
    EXPECT_EQ(code, 0) << args[1] << ": " << err.str();
    return out.str();
  }
  std::string Pull(const std::string& name) {
    Ctl({"pull", (dir_ / name).string()});
    return ReadText(dir_ / name);
  }
  std::vector<std::string> MeasureArgs(std::vector<std::string> more) {
    std::vector<std::string> args{
        "measure",    "--device", sim_.Url(), "--audio-out", "zelto-loop", "--audio-in", "Monitor of zelto-loop",
        "--loopback", "2,2"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  /// Waits until the simulated processor has taken the measurement's mutes.
  bool RoutingArrived() {
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < end) {
      int mutes = 0;
      for (const auto& line : sim_.Lines()) mutes += line.find("OUTPUT ch 7 idx 31") != std::string::npos;
      if (mutes > 0) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }
  bool GuardLeft() const { return fs::exists(dir_ / "state" / kGuardFileName); }

  test::AudioServer server_;
  sim::SimProcess sim_;
  fs::path dir_;
  std::string before_;
};

TEST_F(MeasureCommand, MeasuresAChannelAndLeavesTheProcessorAsItWas) {
  Zeltoctl run(dir_, MeasureArgs({"--channel", "ch1", "--json", "--out-dir", (dir_ / "out").string()}));
  ASSERT_EQ(run.Wait(), 0) << run.Err();
  const auto json = nlohmann::json::parse(run.Out());
  const auto& ch = json["channels"][0];
  EXPECT_EQ(ch["channel"], "ch1");
  // One path, measured against itself: no time between them to a sample (1/48 ms).
  EXPECT_LE(std::abs(ch["arrival_ms"].get<double>()), 1.0 / 48);
  EXPECT_EQ(ch["polarity"], "normal");
  EXPECT_EQ(ch["files"].size(), 3u);
  for (const auto& f : ch["files"]) EXPECT_GT(fs::file_size(f.get<std::string>()), 1000u) << f;
  EXPECT_TRUE(json["restored"].get<bool>());
  // The others were muted while it played, and everything is back now.
  EXPECT_TRUE(RoutingArrived());
  EXPECT_EQ(Pull("after.dsps"), before_);
  EXPECT_FALSE(GuardLeft());
}

TEST_F(MeasureCommand, AChannelThatCouldBeHurtIsNeitherPlayedNorRouted) {
  const std::size_t linesBefore = sim_.Lines().size();
  Zeltoctl run(dir_, MeasureArgs({"--channel", "ch2"}));
  EXPECT_EQ(run.Wait(), 1);
  EXPECT_NE(run.Out().find("no high-pass at 200 Hz or above"), std::string::npos) << run.Out() << run.Err();
  const auto lines = sim_.Lines();
  for (std::size_t i = linesBefore; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].find("WRITE"), std::string::npos) << lines[i];
  EXPECT_FALSE(GuardLeft());
}

TEST_F(MeasureCommand, CtrlCDuringTheSweepPutsEverythingBackFirst) {
  Zeltoctl run(dir_, MeasureArgs({"--channel", "ch1", "--length", "20"}));
  ASSERT_TRUE(RoutingArrived()) << run.Err();
  std::this_thread::sleep_for(1500ms);
  run.Signal(SIGINT);
  // The request still ends the tool, once it has restored the settings.
  EXPECT_EQ(run.Wait(), 128 + SIGINT) << run.Err();
  EXPECT_NE(run.Err().find("cancelled"), std::string::npos) << run.Err();
  EXPECT_EQ(Pull("after.dsps"), before_);
  EXPECT_FALSE(GuardLeft());
}

TEST_F(MeasureCommand, AfterTheToolWasKilledMidSweepTheNextRunRestoresFirst) {
  {
    Zeltoctl run(dir_, MeasureArgs({"--channel", "ch1", "--length", "20"}));
    ASSERT_TRUE(RoutingArrived()) << run.Err();
    std::this_thread::sleep_for(1500ms);
    run.Signal(SIGKILL);
    EXPECT_EQ(run.Wait(), 128 + SIGKILL);
  }
  // The processor is left routed for the measurement, and the record of what it was is on disk.
  EXPECT_NE(Pull("killed.dsps"), before_);
  ASSERT_TRUE(GuardLeft());

  Zeltoctl next(dir_, MeasureArgs({"--channel", "ch1", "--length", "0.5"}));
  EXPECT_EQ(next.Wait(), 0) << next.Err();
  EXPECT_NE(next.Err().find("put back the settings an interrupted measurement had changed"), std::string::npos)
      << next.Err();
  EXPECT_EQ(Pull("after.dsps"), before_);
  EXPECT_FALSE(GuardLeft());
}

}  // namespace
}  // namespace zelto::acoustics
