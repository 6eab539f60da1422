// Every device subcommand against a started zelto-sim, reached over the report stream as a user
// reaches it with --device tcp:HOST:PORT. The processor's trace shows what each command sent.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "core/bytes.h"
#include "core/change_tracking.h"
#include "core/platform.h"
#include "ctl/ctl.h"
#include "ctl/preset_report.h"
#include "ctl/session.h"
#include "ctl/terminal.h"
#include "ctl_run.h"
#include "json_reader.h"
#include "presets/preset_file.h"
#include "sim/sim_process.h"
#include "sim/sim_processor.h"
#include "support/refusing_transport.h"
#include "zelto_version.h"

namespace zelto::ctl {
namespace {

using namespace std::chrono_literals;
using testing::CtlRun;
using testing::JsonReader;
using testing::ReadBytes;
using testing::RunCtl;
using testing::ScratchDir;
using testing::WriteBytes;

/// The identity request and the 19 reads of a connection.
constexpr std::size_t kConnectFrames = 1 + 19;
constexpr auto kTraceWait = 5s;

class CtlDevice : public ::testing::Test {
 protected:
  void SetUp() override { Start(sim_, {}); }

  void Start(sim::SimProcess& process, std::vector<std::string> args) {
    args.push_back("--trace");
    std::string error;
    ASSERT_TRUE(process.Start(ZELTO_SIM_EXE, args, &error)) << error;
  }

  CtlRun Run(std::vector<std::string> args) {
    args.push_back("--device");
    args.push_back(sim_.Url());
    return RunCtl(std::move(args));
  }

  /// The frames the processor received, as its trace prints them, without their numbers and
  /// without status polls.
  std::vector<std::string> Frames() {
    std::vector<std::string> out;
    auto lines = sim_.Lines();
    for (std::size_t i = 1; i < lines.size(); ++i) {  // the first line says where it listens
      const auto space = lines[i].find(' ');
      std::string text = lines[i].substr(space + 1);
      if (text.find("SYSTEM STATUS") == std::string::npos) out.push_back(std::move(text));
    }
    return out;
  }
  /// The frames after the first `from`, once the trace has printed at least `count` of them.
  std::vector<std::string> FramesAfter(std::size_t from, std::size_t count) {
    const auto end = std::chrono::steady_clock::now() + kTraceWait;
    auto frames = Frames();
    while (frames.size() < from + count && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(20ms);
      frames = Frames();
    }
    if (frames.size() < from) return {};
    return {frames.begin() + static_cast<std::ptrdiff_t>(from), frames.end()};
  }

  ScratchDir dir_;
  sim::SimProcess sim_;
};

/// The Q box takes the table entry nearest to the typed Q (of the indices a band can take).
int NearestQIndex(double q) {
  int best = 4;
  for (int i = 4; i < kQTableSize; ++i)
    if (std::fabs(QFromIndex(i) - q) < std::fabs(QFromIndex(best) - q)) best = i;
  return best;
}

/// The trace line of a message the editor would queue, as the processor prints it.
std::string Describe(const CSendData& message) {
  sim::SimFrameRecord record;
  const auto bytes = message.Buffer();
  record.bytes.assign(bytes.begin(), bytes.end());
  record.valid = true;
  record.reply = sim::Reply::Ack;
  const std::string line = sim::DescribeFrame(record);
  return line.substr(line.find(' ') + 1);
}

TEST_F(CtlDevice, SetSendsExactlyTheItemWritesOfTheEditor) {
  const std::string before = dir_.File("before.dsps");
  ASSERT_EQ(Run({"pull", before}).code, 0);

  const std::size_t mark = Frames().size();
  const auto set = Run({"set", "ch3.gain=-6", "ch3.mute=on", "ch3.phase=180", "ch3.delay=1.5ms", "ch1.hp=80Hz",
                        "ch1.hp.type=lr", "ch1.hp.slope=24", "ch2.band5=1000Hz,+3.5dB,q=1.4", "master.volume=-20",
                        "master.mute=off", "source=bluetooth"});
  ASSERT_EQ(set.code, 0) << set;
  EXPECT_EQ(set.out, "11 setting(s) sent and acknowledged\n");

  // The editor's controls on objects that hold what the processor held.
  DeviceImage image;
  InitDeviceImage(image);
  ASSERT_TRUE(ReadSinglePresetFile(ReadBytes(before), image));
  ChangeTracking tracking(true);
  CKTV_Data data(image, tracking);
  data.UnpackAll(image.live, 0);
  data.ClearAllDirty();
  data.Edit([](CKTV_Data& d) {
    d.Output(2).SetGain(54);             // gain box of strip 3: -6 dB
    d.Output(2).SetOutputSwitch(false);  // its mute button
    d.Output(2).SetPhase(1);             // its phase button
    d.Output(2).SetDelay(72);            // 1.5 ms typed into its delay box
    d.Output(0).Eq().HighPass().SetFrequency(80, true);
    d.Output(0).Eq().HighPass().SetCrossoverType(0, true);
    d.Output(0).Eq().HighPass().SetSlope(2, true);
    CFilter& band5 = d.Output(1).Eq().Filter(4);
    band5.SetFrequency(1000, true);
    band5.SetBandwidthIndex(NearestQIndex(1.4));
    band5.SetGainCode(235);  // +3.5 dB
  });
  // The master volume (0 dB before) and the source list write the system settings at once;
  // the master mute was already off, so its button is not pressed.
  FrameBuilder builder(image);
  std::vector<std::string> expected = {"WRITE slot 0 SYSTEM SETTINGS len 8 -> ACK",
                                       "WRITE slot 0 SYSTEM SETTINGS len 8 -> ACK"};
  for (;;) {
    auto message = data.NextChangeMessage(builder);
    const std::string line = Describe(*message);
    if (line.find("SYSTEM STATUS") != std::string::npos) break;
    expected.push_back(line);
  }
  // A crossover and a band moving up go an octave a step: 40, 80 Hz and 100, 200, 400, 800, 1000 Hz.
  ASSERT_EQ(expected.size(), 2u + 2u + 5u + 1u);

  const auto sent = FramesAfter(mark, kConnectFrames + expected.size());
  ASSERT_GE(sent.size(), kConnectFrames);
  EXPECT_EQ(std::vector<std::string>(sent.begin() + kConnectFrames, sent.end()), expected);

  // What arrived is what the editor's objects hold: read back, every output block is the same.
  const std::string after = dir_.File("after.dsps");
  ASSERT_EQ(Run({"pull", after}).code, 0);
  DeviceImage readBack;
  InitDeviceImage(readBack);
  ASSERT_TRUE(ReadSinglePresetFile(ReadBytes(after), readBack));
  data.PackAll();
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto mine = image.Block(0, BlockType::Output, ch).first(out::kSendSize);
    const auto theirs = readBack.Block(0, BlockType::Output, ch).first(out::kSendSize);
    EXPECT_TRUE(std::ranges::equal(mine, theirs)) << "output " << ch;
  }
  const auto info = Run({"info"});
  EXPECT_NE(info.out.find("Master volume: -20dB"), std::string::npos) << info;
  EXPECT_NE(info.out.find("Input source: Bluetooth"), std::string::npos) << info;
}

TEST_F(CtlDevice, PullThenPushOfOnePresetLeavesTheProcessorUnchanged) {
  const std::string a = dir_.File("a.dsps");
  ASSERT_EQ(Run({"pull", a}).code, 0);
  ASSERT_EQ(Run({"set", "ch3.gain=-6", "ch1.hp=200Hz", "ch2.band5=+6dB"}).code, 0);

  const std::size_t mark = Frames().size();
  const auto push = Run({"push", a});
  ASSERT_EQ(push.code, 0) << push;
  // As after a load in the editor: the name and the eight output blocks into slot 0.
  const auto sent = FramesAfter(mark, kConnectFrames + 9);
  ASSERT_EQ(sent.size(), kConnectFrames + 9);
  EXPECT_EQ(sent[kConnectFrames], "WRITE slot 0 SYSTEM PRESET_NAME len 16 -> ACK");
  for (int ch = 0; ch < 8; ++ch)
    EXPECT_EQ(sent[kConnectFrames + 1 + static_cast<std::size_t>(ch)],
              "WRITE slot 0 OUTPUT ch " + std::to_string(ch) + " len 296 -> ACK");

  const std::string b = dir_.File("b.dsps");
  ASSERT_EQ(Run({"pull", b}).code, 0);
  EXPECT_EQ(ReadBytes(a), ReadBytes(b));
}

TEST_F(CtlDevice, PullThenPushOfAllSlotsLeavesTheProcessorUnchanged) {
  ASSERT_EQ(Run({"store", "2", "Stage"}).code, 0);
  const std::string a = dir_.File("a.dspa");
  const auto pull = Run({"pull", a});
  ASSERT_EQ(pull.code, 0) << pull;
  EXPECT_EQ(ReadBytes(a).size(), preset_file::kAllSlotsSize);
  // A stored slot and the live settings change; the push puts both back. (As in the editor, a
  // loaded all-slots file sends presets, not the system settings.)
  ASSERT_EQ(Run({"set", "ch3.gain=-9"}).code, 0);
  ASSERT_EQ(Run({"store", "2", "Other"}).code, 0);

  const auto push = Run({"push", a});
  ASSERT_EQ(push.code, 0) << push;
  const std::string b = dir_.File("b.dspa");
  ASSERT_EQ(Run({"pull", b}).code, 0);
  const auto diff = RunCtl({"diff", a, b});
  EXPECT_EQ(diff.out, "no differences\n");
  EXPECT_EQ(ReadBytes(a), ReadBytes(b));
}

TEST_F(CtlDevice, SlotsAreStoredRecalledAndDeleted) {
  ASSERT_EQ(Run({"set", "ch3.gain=-12"}).code, 0);
  const auto store = Run({"store", "3", "Club night"});
  ASSERT_EQ(store.code, 0) << store;
  EXPECT_EQ(store.out, "stored slot 3 as \"Club night\"\n");
  ASSERT_EQ(Run({"set", "ch3.gain=0"}).code, 0);

  ASSERT_EQ(Run({"recall", "3"}).code, 0);
  const std::string live = dir_.File("live.dsps");
  ASSERT_EQ(Run({"pull", live}).code, 0);
  const auto json = JsonReader::Read(RunCtl({"show", live, "--json"}).out);
  ASSERT_TRUE(json);
  EXPECT_EQ(json->at("preset.ch3.gain"), "-12");

  const auto info = Run({"info"});
  ASSERT_EQ(info.code, 0) << info;
  EXPECT_NE(info.out.find("Model: KVN-734-31EQ-V3.0"), std::string::npos) << info;
  EXPECT_NE(info.out.find("  3  Club night\n"), std::string::npos) << info;

  ASSERT_EQ(Run({"delete", "3"}).code, 0);
  EXPECT_NE(Run({"info"}).out.find("  3  (empty)\n"), std::string::npos);

  // A blank name is refused before anything is sent.
  const std::size_t mark = Frames().size();
  const auto blank = Run({"store", "4", "   "});
  EXPECT_EQ(blank.code, 2);
  EXPECT_EQ(blank.err, "The name can not be all spaces!\n");
  EXPECT_EQ(Frames().size(), mark);
}

TEST_F(CtlDevice, UpdateSendsTheImageAndReportsSuccess) {
  std::vector<std::uint8_t> image(1000);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  const std::string path = dir_.File("dsp.mva");
  WriteBytes(path, image);
  const auto r = Run({"update", path});
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_NE(r.err.find("Programming......"), std::string::npos) << r;
  EXPECT_NE(r.out.find("Update successfully!"), std::string::npos) << r;

  const std::string wrong = dir_.File("dsp.bin");
  WriteBytes(wrong, image);
  const auto refused = Run({"update", wrong, "--lang", "zh"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("升级文件类型错误！"), std::string::npos) << refused;
}

TEST_F(CtlDevice, FailuresEndWithTheirMessageAndStatusOne) {
  // Nothing listens there: the message, why (with the reason the TCP link gives) and what to do.
  const auto nothing = RunCtl({"info", "--device", "tcp:127.0.0.1:1", "--lang", "zh"});
  EXPECT_EQ(nothing.code, 1);
  EXPECT_TRUE(nothing.err.starts_with("无法连接设备\n未找到处理器")) << nothing;
  EXPECT_NE(nothing.err.find("cannot connect to 127.0.0.1:1"), std::string::npos) << nothing;
  EXPECT_NE(nothing.err.find("然后重新连接。"), std::string::npos) << nothing;

  sim::SimProcess other;
  Start(other, {"--identity", "KVN-999-OTHER"});
  const auto otherModel = RunCtl({"info", "--device", other.Url()});
  EXPECT_EQ(otherModel.code, 1);
  EXPECT_NE(otherModel.err.find("unable to connect"), std::string::npos) << otherModel;
  EXPECT_NE(otherModel.err.find("KVN-999-OTHER"), std::string::npos) << otherModel;

  // The processor stops answering after the read-back: the engine's reply deadline ends it.
  sim::SimProcess silent;
  Start(silent, {"--drop-reply", "--fault-after", std::to_string(kConnectFrames)});
  const auto lost = RunCtl({"set", "ch3.gain=-3", "--device", silent.Url()});
  EXPECT_EQ(lost.code, 1);
  EXPECT_EQ(lost.err,
            "unable to connect\nThe processor did not answer in time, so the connection was closed.\nCheck the USB "
            "cable and the processor's power, then connect again.\n");

  EXPECT_EQ(RunCtl({"info", "--device", "serial:/dev/ttyS0"}).code, 1);
}

TEST_F(CtlDevice, CommandsOneAfterAnotherKeepWorkingAgainstAOneClientDeviceSide) {
  // Each command's connection must close before the next is served.
  sim::SimProcess one;
  Start(one, {"--one-client"});
  const auto end = std::chrono::steady_clock::now() + 10s;
  int runs = 0;
  while (std::chrono::steady_clock::now() < end) {
    const std::string gain = "ch" + std::to_string(1 + runs % 7) + ".gain=-" + std::to_string(runs % 20);
    const auto r = RunCtl({"set", gain, "--device", one.Url()});
    ASSERT_EQ(r.code, 0) << "run " << runs << ": " << r;
    ++runs;
  }
  EXPECT_GE(runs, 3);
  const auto lines = one.Lines();
  EXPECT_GE(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("idx 31") != std::string::npos; }),
            runs)
      << "every run's gain reached the processor";
}

TEST(CtlOptions, UsbWriteTakesControlOrInterrupt) {
  EXPECT_EQ(RunCtl({"info", "--usb-write", "bulk", "--device", "tcp:127.0.0.1:1"}).code, kExitUsage);
  SetEnvironmentValue("ZELTO_USB_WRITE", "bulk");
  const auto fromEnvironment = RunCtl({"info", "--device", "tcp:127.0.0.1:1"});
  SetEnvironmentValue("ZELTO_USB_WRITE", nullptr);
  EXPECT_EQ(fromEnvironment.code, kExitUsage);
  EXPECT_NE(fromEnvironment.err.find("bulk"), std::string::npos) << fromEnvironment;
}

int RunProgram(const std::string& arguments) {
#ifdef _WIN32
  // cmd.exe would read the build path's leading "/" as a switch: the tests run beside zeltoctl.exe.
  const std::string command = "zeltoctl.exe " + arguments + " >NUL 2>&1";
  return std::system(command.c_str());
#else
  const std::string command = std::string(ZELTOCTL_EXE) + " " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

TEST(CtlProgram, HelpForEveryCommandAndStatusTwoForWrongUsage) {
  EXPECT_EQ(RunProgram("--help"), 0);
  for (const char* sub :
       {"info", "pull", "push", "store", "recall", "delete", "set", "update", "show", "diff", "curve"})
    EXPECT_EQ(RunProgram(std::string(sub) + " --help"), 0) << sub;
  EXPECT_EQ(RunProgram(""), 2);
  EXPECT_EQ(RunProgram("frobnicate"), 2);
  EXPECT_EQ(RunProgram("store 7 Name"), 2);
  EXPECT_EQ(RunProgram("recall"), 2);
  EXPECT_EQ(RunProgram("set ch3.gain=+6"), 2);
  EXPECT_EQ(RunProgram("pull preset.txt"), 2);
  EXPECT_EQ(RunProgram("info --lang fr"), 2);
  EXPECT_EQ(RunProgram("info --device tcp:127.0.0.1:1"), 1);
}

std::string OutputOf(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

TEST(CtlProgram, ToolsShowTheBuildVersion) {
  EXPECT_EQ(OutputOf(std::string(ZELTOCTL_EXE) + " --version"), std::string("zeltoctl ") + kZeltoVersion + "\n");
  EXPECT_EQ(OutputOf(std::string(ZELTO_SIM_EXE) + " --version"), std::string("zelto-sim ") + kZeltoVersion + "\n");
}

TEST(CtlRefused, UnableToConnectIsFollowedByTheReasonAndTheFix) {
  struct Case {
    Language lang;
    OpenRefusal reason;
    std::string expected;
  };
  const Case cases[] = {
      {Language::English, OpenRefusal::NoPermission,
       "unable to connect\nThe processor is plugged in, but this user may not open it (/dev/hidraw7: Permission "
       "denied).\nInstall the zelto package, or the udev rule 70-zelto.rules into /etc/udev/rules.d, then unplug the "
       "processor and plug it in again.\n"},
      {Language::Chinese, OpenRefusal::InUse,
       "无法连接设备\n处理器正被其他程序占用（/dev/hidraw7: Permission denied）。\n请关闭该程序（另一个 zelto 或 "
       "zeltoctl）后重新连接。\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    std::ostringstream err;
    Terminal term(out, err, false, c.lang);
    TerminalView view(term);
    {
      DeviceSession session(
          std::make_unique<zelto::testing::RefusingTransport>(c.reason, "/dev/hidraw7: Permission denied"), view);
      EXPECT_FALSE(session.Connect());
    }
    EXPECT_EQ(err.str(), c.expected);
    EXPECT_TRUE(out.str().empty());
  }
}

}  // namespace
}  // namespace zelto::ctl
