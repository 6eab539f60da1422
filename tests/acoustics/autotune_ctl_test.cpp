// zeltoctl autotune end to end: zelto-sim plays a car on the audio server, the tool measures it at
// two microphone positions (moved through zelto-sim's control port when the tool asks, as a person
// would), sends the tuning and measures again. The settings the processor holds afterwards are
// pulled and checked against the car as a model of its own knows it: where each speaker is, which
// one is wired the wrong way round, which one is late and where the null lies.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "acoustics/audio_server.h"
#include "acoustics/measurement_routing.h"
#include "ctl/ctl.h"
#include "sim/sim_process.h"
#include "sim/twin/demo_car.h"
#include "support/child_process.h"
#include "support/file_text.h"
#include "estate_car.h"

namespace zelto::acoustics {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using testing::ReadText;

/// zeltoctl as its own process, its questions answered on its standard input.
class Zeltoctl : public testing::ChildProcess {
 public:
  Zeltoctl(const fs::path& dir, const std::vector<std::string>& args)
      : ChildProcess(ZELTOCTL_EXE, args, dir / "zeltoctl", Input::Stream) {}
  void Enter() { Write("\n"); }
};

struct CarUnderTest {
  std::string carArg;  // "demo" or a car file
  twin::CarModel model;
  std::vector<std::string> setup;  // crossovers an installer sets before tuning
  std::string channels;
  std::string fullRange;
};

CarUnderTest Demo() {
  return {"demo",
          twin::DemoCarModel(),
          {"ch1.hp=3000Hz", "ch1.hp.type=lr", "ch2.hp=3000Hz", "ch2.hp.type=lr", "ch3.hp=70Hz", "ch3.hp.type=lr",
           "ch3.lp=3000Hz", "ch3.lp.type=lr", "ch4.hp=70Hz", "ch4.hp.type=lr", "ch4.lp=3000Hz", "ch4.lp.type=lr",
           "ch7.lp=70Hz", "ch7.lp.type=lr"},
          "ch1,ch2,ch3,ch4,ch7",
          "ch3,ch4"};
}

CarUnderTest Estate(const fs::path& dir) {
  return {twin::testing::WriteEstateCar(dir).string(),
          twin::testing::EstateCarModel(),
          {"ch1.hp=3000Hz", "ch1.hp.type=lr", "ch2.hp=3000Hz", "ch2.hp.type=lr", "ch3.hp=70Hz", "ch3.hp.type=lr",
           "ch3.lp=3000Hz", "ch3.lp.type=lr", "ch4.hp=70Hz", "ch4.hp.type=lr", "ch4.lp=3000Hz", "ch4.lp.type=lr",
           "ch5.lp=70Hz", "ch5.lp.type=lr"},
          "ch1,ch2,ch3,ch4,ch5",
          "ch3,ch4,ch5"};
}

/// The time sound takes from a speaker to the first microphone position, by the car's geometry.
double GeometricMs(const twin::ModelSpeaker& s, const twin::CarModel& m) {
  const auto& p = m.microphones.front().place;
  const double d = std::hypot(s.place.x - p.x, s.place.y - p.y, s.place.z - p.z);
  return d / twin::kSpeedOfSound * 1000 + s.lateMs;
}

class AutoTuneCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test::OpenAudioServer();
    if (!server_.skip.empty()) GTEST_SKIP() << server_.skip;
    dir_ = fs::temp_directory_path() / ("zelto-autotune-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ::setenv("ZELTO_STATE_DIR", (dir_ / "state").c_str(), 1);
    // Short audio buffers for both programs: the chain holds two streams each way.
    ::setenv("PULSE_LATENCY_MSEC", "20", 1);
    ::setenv("ZELTO_AUDIO_API", "pulse", 1);
  }
  void TearDown() override {
    if (sim_.Port() != 0) sim_.Stop();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  void StartCar(const CarUnderTest& car) {
    std::string error;
    ASSERT_TRUE(sim_.Start(sim::SimProcess::DefaultExecutable(),
                           {"--car", car.carArg, "--audio-in", server_.env["ZELTO_LOOP_IN"], "--audio-out",
                            server_.env["ZELTO_MIC_OUT"], "--control-port", "0"},
                           &error))
        << error;
    ASSERT_TRUE(sim_.WaitForLines(4, 20s));
    for (const auto& line : sim_.Lines())
      if (line.rfind("control port on 127.0.0.1:", 0) == 0)
        controlPort_ = static_cast<std::uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
    ASSERT_NE(controlPort_, 0);
    std::vector<std::string> set{"set"};
    set.insert(set.end(), car.setup.begin(), car.setup.end());
    Ctl(set);
  }

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
  /// The processor's live settings, as `zeltoctl show --json` reads a pulled file.
  nlohmann::json Pulled(const std::string& name) {
    Ctl({"pull", (dir_ / name).string()});
    std::vector<std::string> args{"zeltoctl", "show", "--json", (dir_ / name).string()};
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(ctl::RunZeltoctl(args, {out, err, false}), 0) << err.str();
    return nlohmann::json::parse(out.str())["preset"];
  }

  void MoveMicrophone(int position) {
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.connect({asio::ip::make_address_v4("127.0.0.1"), controlPort_});
    asio::write(socket, asio::buffer("position " + std::to_string(position) + "\n"));
    asio::streambuf answer;
    asio::read_until(socket, answer, '\n');
  }

  std::vector<std::string> AutoTuneArgs(const CarUnderTest& car, int positions) {
    return {"autotune",
            "--device",
            sim_.Url(),
            "--audio-out",
            server_.env["ZELTO_LOOP_OUT"],
            "--audio-in",
            server_.env["ZELTO_MIC_IN"],
            "--positions",
            std::to_string(positions),
            "--channels",
            car.channels,
            "--full-range",
            car.fullRange,
            "--reference",
            "ch1",
            "--length",
            "0.5",
            "--json"};
  }

  /// Runs the tool to its end, moving the microphone each time it asks.
  int RunAnswering(Zeltoctl& run) {
    const std::string ask = "Move the microphone to position ";
    std::size_t next = 0;
    const auto end = std::chrono::steady_clock::now() + 240s;
    while (run.Running() && std::chrono::steady_clock::now() < end) {
      const std::string err = run.Err();
      for (auto at = err.find(ask, next); at != std::string::npos; at = err.find(ask, next)) {
        MoveMicrophone(std::stoi(err.substr(at + ask.size())));
        run.Enter();
        next = at + ask.size();
      }
      std::this_thread::sleep_for(50ms);
    }
    return run.Wait();
  }

  void TuneAndCheck(const CarUnderTest& car, bool hasNull) {
    StartCar(car);
    if (HasFatalFailure()) return;
    Zeltoctl run(dir_, AutoTuneArgs(car, 2));
    ASSERT_EQ(RunAnswering(run), 0) << run.Err() << run.Out();
    const auto result = nlohmann::json::parse(run.Out());
    std::cout << "result: " << result.dump() << "\n";
    ASSERT_TRUE(result["verified"].get<bool>()) << run.Out();
    const auto tuned = Pulled("tuned.dsps");
    std::vector<twin::ModelSpeaker> speakers;
    for (const auto& s : car.model.speakers)
      if (car.channels.find("ch" + std::to_string(s.output)) != std::string::npos) speakers.push_back(s);
    std::map<std::string, bool> delayLimited;
    for (const auto& ch : result["channels"]) delayLimited[ch["channel"]] = ch.value("delay_limited", false);

    // Polarity: exactly the speaker wired the wrong way round is turned.
    for (const auto& s : speakers) {
      const int phase = tuned["ch" + std::to_string(s.output)]["phase"].get<int>();
      EXPECT_EQ(phase, s.reversed ? 180 : 0) << s.name;
    }
    // Time: the left and right drivers of one kind meet at the centre position, by the geometry,
    // unless one of them needs more delay than the processor has (which the tool says).
    for (const auto& l : speakers) {
      for (const auto& r : speakers) {
        if (l.kind != r.kind || l.place.x >= r.place.x) continue;
        if (delayLimited["ch" + std::to_string(l.output)] || delayLimited["ch" + std::to_string(r.output)]) continue;
        const double lMs = GeometricMs(l, car.model) + tuned["ch" + std::to_string(l.output)]["delay"].get<double>();
        const double rMs = GeometricMs(r, car.model) + tuned["ch" + std::to_string(r.output)]["delay"].get<double>();
        EXPECT_LE(std::abs(lMs - rMs), 0.05) << l.name << " / " << r.name;
      }
    }
    // The latest speaker gets no delay, and no gain is raised above 0 dB.
    for (const auto& s : speakers) EXPECT_LE(tuned["ch" + std::to_string(s.output)]["gain"].get<int>(), 0);
    // Measured again by the tool: the summed response no worse anywhere than before by 1 dB.
    const auto& before = result["before"]["summed_rms_db_per_position"];
    const auto& after = result["after"]["summed_rms_db_per_position"];
    ASSERT_EQ(before.size(), after.size());
    for (std::size_t p = 0; p < before.size(); ++p) {
      // A position where a recording was refused has no figure, before or after.
      if (before[p].is_null() || after[p].is_null()) continue;
      EXPECT_LE(after[p].get<double>(), before[p].get<double>() + 1.0) << "position " << p + 1;
    }
    if (hasNull) {
      // The null is said and not boosted.
      const auto& notFixed = result["not_fixed"];
      bool said = false;
      for (const auto& n : notFixed) said = said || n.get<std::string>().find("Hz") != std::string::npos;
      EXPECT_TRUE(said) << run.Out();
      for (const auto& s : speakers) {
        const auto& ch = tuned["ch" + std::to_string(s.output)];
        for (int b = 1; b <= 31; ++b) {
          const auto& band = ch["band" + std::to_string(b)];
          const double hz = band["freq"].get<double>();
          if (std::abs(std::log2(hz / twin::testing::kEstateNullHz)) < 0.25) {
            EXPECT_LE(band["gain"].get<double>(), 0.0) << s.name << " band " << b;
          }
        }
      }
    }
  }

  test::AudioServer server_;
  sim::SimProcess sim_;
  std::uint16_t controlPort_ = 0;
  fs::path dir_;
};

// Not yet reliable, so off (run them with --gtest_also_run_disabled_tests): on a loaded machine
// the four audio streams of the chain glitch, and a run can still take a wrong arrival for the
// whole pass; and a subwoofer's arrival is still timed by the peak of its response, which its
// low-pass puts milliseconds late, so the fronts may need more delay than the processor has.
TEST_F(AutoTuneCommand, DISABLED_TunesTheDemoCar) { TuneAndCheck(Demo(), false); }

TEST_F(AutoTuneCommand, DISABLED_TunesTheEstateWithItsReversedTweeterLateSubwooferAndNull) {
  TuneAndCheck(Estate(dir_), true);
}

TEST_F(AutoTuneCommand, ACancelledAutoTuneLeavesTheProcessorAsItWas) {
  StartCar(Demo());
  if (HasFatalFailure()) return;
  const std::string before = (Pulled("before.dsps"), ReadText(dir_ / "before.dsps"));
  Zeltoctl run(dir_, AutoTuneArgs(Demo(), 2));
  // Stopped in the middle of the first pass, while a channel is routed for its sweep.
  const auto end = std::chrono::steady_clock::now() + 60s;
  while (run.Running() && run.Err().find("ch3") == std::string::npos && std::chrono::steady_clock::now() < end &&
         ReadText(dir_ / "state" / kGuardFileName).empty())
    std::this_thread::sleep_for(20ms);
  std::this_thread::sleep_for(1500ms);
  run.Signal(SIGINT);
  EXPECT_NE(run.Wait(), 0);
  Pulled("after.dsps");
  EXPECT_EQ(ReadText(dir_ / "after.dsps"), before);
  EXPECT_FALSE(fs::exists(dir_ / "state" / kGuardFileName));
}

}  // namespace
}  // namespace zelto::acoustics
