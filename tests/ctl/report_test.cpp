// The file commands on fixtures: show (table and JSON), diff and curve, and files that are not
// what they claim to be.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "core/bytes.h"
#include "core/change_tracking.h"
#include "ctl/report_tree.h"
#include "ctl/text_safety.h"
#include "ctl_run.h"
#include "json_reader.h"
#include "model/ktv_data.h"
#include "presets/preset_file.h"

namespace zelto::ctl {
namespace {

using testing::JsonReader;
using testing::KnownFile;
using testing::ReadBytes;
using testing::RunCtl;
using testing::ScratchDir;
using testing::WriteBytes;

/// Offset of output block `ch` of the live preset in a single-preset file.
std::size_t OutputInFile(int ch) {
  return preset_file::kSingleLive + preset::kOutput + static_cast<std::size_t>(ch) * out::kSize;
}

// known.dsps was pulled from the simulated processor after
//   set ch3.gain=-6 ch3.mute=on ch3.phase=180 ch3.delay=1.5ms ch1.hp=80Hz ch1.hp.type=lr
//       ch1.hp.slope=24 ch1.lp=3000Hz ch2.name=Tweet ch2.band5=1000Hz,+3.5dB,q=1.4
//       ch2.band12=250Hz,-4.5dB,bw=0.5 ch8.gain=-60
TEST(CtlShow, JsonOfTheKnownFileHasTheKnownValues) {
  const auto r = RunCtl({"show", KnownFile(), "--json"});
  ASSERT_EQ(r.code, 0) << r;
  const auto values = JsonReader::Read(r.out);
  ASSERT_TRUE(values) << "not JSON:\n" << r.out;
  const std::pair<const char*, const char*> expected[] = {
      {"format", "dsps"},
      {"slot", "0"},
      {"preset.ch3.gain", "-6"},
      {"preset.ch3.mute", "true"},
      {"preset.ch3.phase", "180"},
      {"preset.ch3.delay", "1.500"},
      {"preset.ch1.hp.freq", "80"},
      {"preset.ch1.hp.type", "lr"},
      {"preset.ch1.hp.slope", "24dB/Oct"},
      {"preset.ch1.lp.freq", "3000"},
      {"preset.ch2.name", "Tweet"},
      {"preset.ch2.band5.freq", "1000"},
      {"preset.ch2.band5.gain", "3.5"},
      {"preset.ch2.band5.q", "1.400"},
      {"preset.ch2.band12.freq", "250"},
      {"preset.ch2.band12.gain", "-4.5"},
      {"preset.ch2.band12.bw", "0.50"},
      {"preset.ch8.gain", "-60"},
      {"preset.ch4.mute", "false"},
      {"preset.ch4.mix[0]", "100"},
  };
  for (const auto& [path, value] : expected) {
    auto it = values->find(path);
    ASSERT_NE(it, values->end()) << path;
    EXPECT_EQ(it->second, value) << path;
  }
  // Every channel has every band.
  for (int ch = 1; ch <= 8; ++ch) EXPECT_TRUE(values->count("preset.ch" + std::to_string(ch) + ".band31.freq")) << ch;
}

TEST(CtlJson, NumbersKeepTheirPlacesAndTextsSurviveEscaping) {
  Node root = Node::Object();
  root.Add("delay", Node::Number(1.5, 3, "ms"));
  root.Add("zero", Node::Number(-0.0001, 2));
  root.Add("freq", Node::Number(1000.4, 0, "Hz"));
  root.Add("gain", Node::Integer(-6));
  root.Add("on", Node::Flag(true));
  // Quotes, a backslash, control characters, DEL runs and a byte that is no UTF-8.
  const std::string hostile = std::string("a\"b\\c\n\x01\x7f\x7f") + "\xff";
  root.Add("name", Node::Text(hostile));
  root.Add("\x7f", Node::Text("\x7f\x7f\x7f"
                              "0"));
  Node& mix = root.Add("mix", Node::Array());
  mix.Push(Node::Number(2, 1));
  mix.Push(Node::Text("2.0"));
  std::ostringstream out;
  WriteJson(root, out);

  const auto values = JsonReader::Read(out.str());
  ASSERT_TRUE(values) << out.str();
  EXPECT_EQ(values->at("delay"), "1.500");
  EXPECT_EQ(values->at("zero"), "0.00");
  EXPECT_EQ(values->at("freq"), "1000");
  EXPECT_EQ(values->at("gain"), "-6");
  EXPECT_EQ(values->at("on"), "true");
  EXPECT_EQ(values->at("name"), ValidUtf8(hostile));
  EXPECT_EQ(values->at("\x7f"),
            "\x7f\x7f\x7f"
            "0");
  EXPECT_EQ(values->at("mix[0]"), "2.0");
  EXPECT_EQ(values->at("mix[1]"), "2.0");
  EXPECT_EQ(out.str().back(), '\n');
}

TEST(CtlShow, TableInBothLanguages) {
  const auto en = RunCtl({"show", KnownFile()});
  ASSERT_EQ(en.code, 0) << en;
  EXPECT_NE(en.out.find("1.500MS"), std::string::npos);
  EXPECT_NE(en.out.find("80Hz Link_Ril 24dB/Oct"), std::string::npos);
  const auto zh = RunCtl({"show", KnownFile(), "--lang", "zh"});
  ASSERT_EQ(zh.code, 0) << zh;
  EXPECT_NE(zh.out.find("1.500毫秒"), std::string::npos);
  EXPECT_NE(zh.out.find("80Hz 宁克 24dB/Oct"), std::string::npos);
}

TEST(CtlShow, HostileNamesStayHarmless) {
  ScratchDir dir;
  auto bytes = ReadBytes(KnownFile());
  // A channel name with a terminal escape and a byte that is no UTF-8.
  const std::string name = "\x1b[2J\xff";
  std::copy(name.begin(), name.end(), bytes.begin() + static_cast<std::ptrdiff_t>(OutputInFile(1) + out::kName));
  const std::string path = dir.File("hostile.dsps");
  WriteBytes(path, bytes);

  const auto table = RunCtl({"show", path});
  ASSERT_EQ(table.code, 0) << table;
  EXPECT_EQ(table.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(ValidUtf8(table.out), table.out);

  const auto json = RunCtl({"show", path, "--json"});
  const auto values = JsonReader::Read(json.out);
  ASSERT_TRUE(values) << json.out;
  EXPECT_EQ(values->at("preset.ch2.name"), "\x1b[2J\xEF\xBF\xBD");
}

TEST(CtlShow, BrokenFilesAreRefusedWithTheEditorsMessages) {
  ScratchDir dir;
  const auto known = ReadBytes(KnownFile());
  auto wrongId = known;
  wrongId[5] ^= 0x20;
  struct Case {
    std::string name;
    std::vector<std::uint8_t> bytes;
    const char* message;
    const char* detail;
  };
  const Case cases[] = {
      {"short.dsps", std::vector<std::uint8_t>(known.begin(), known.begin() + 100), "error for file!", "100 bytes"},
      {"long.dsps", std::vector<std::uint8_t>(known.size() + 1, 0), "error for file!", "longer than"},
      {"wrongid.dsps", wrongId, "error for file!", "identification"},
      {"short.dspa", known, "Read all MusicFile Error", "2809 bytes"},
      {"preset.txt", known, "error for file!", "not a .dsps or .dspa"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.File(c.name);
    WriteBytes(path, c.bytes);
    const auto r = RunCtl({"show", path});
    EXPECT_EQ(r.code, 1) << c.name;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r;
    EXPECT_NE(r.err.find(c.detail), std::string::npos) << r;
    EXPECT_TRUE(r.out.empty()) << c.name;
  }
  const auto missing = RunCtl({"show", dir.File("missing.dsps")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("cannot be read"), std::string::npos) << missing;
  const auto noSlot = RunCtl({"show", KnownFile(), "--slot", "2"});
  EXPECT_EQ(noSlot.code, 2) << noSlot;
}

TEST(CtlShow, AllSlotsFileShowsSystemItemsAndTheChosenSlot) {
  ScratchDir dir;
  DeviceImage image;
  InitDeviceImage(image);
  image.systemArea[sys::kSource] = 2;
  PutS16(image.SystemSettings(), sys::kMasterVolume, 40);
  PutU16(image.Block(2, BlockType::Output, 3), out::kGain, 51);
  std::copy_n("Stage", 5, image.Preset(2).begin());
  const std::string path = dir.File("all.dspa");
  WriteBytes(path, AllSlotsFileBytes(image));

  const auto r = RunCtl({"show", path, "--json", "--slot", "2"});
  ASSERT_EQ(r.code, 0) << r;
  const auto values = JsonReader::Read(r.out);
  ASSERT_TRUE(values) << r.out;
  EXPECT_EQ(values->at("format"), "dspa");
  EXPECT_EQ(values->at("system.source"), "bluetooth");
  EXPECT_EQ(values->at("system.master.volume"), "-20");
  EXPECT_EQ(values->at("system.channel_types.ch1.code"), "1");
  EXPECT_EQ(values->at("slots.slot2"), "Stage");
  EXPECT_EQ(values->at("slot"), "2");
  EXPECT_EQ(values->at("preset.name"), "Stage");
  EXPECT_EQ(values->at("preset.ch4.gain"), "-9");
}

TEST(CtlDiff, NamesEveryChangedValue) {
  ScratchDir dir;
  auto bytes = ReadBytes(KnownFile());
  PutU16(std::span(bytes).subspan(OutputInFile(2)), out::kGain, 48);  // ch3 -12 dB
  bytes[OutputInFile(0) + out::kPhase] = 1;                           // ch1 inverted
  const std::string changed = dir.File("changed.dsps");
  WriteBytes(changed, bytes);

  const auto r = RunCtl({"diff", KnownFile(), changed});
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_EQ(r.out, "live.ch1.phase: 0° -> 180°\nlive.ch3.gain: -6dB -> -12dB\n");
  EXPECT_EQ(RunCtl({"diff", KnownFile(), changed, "--exit-code"}).code, 1);

  const auto same = RunCtl({"diff", KnownFile(), KnownFile(), "--exit-code"});
  EXPECT_EQ(same.code, 0) << same;
  EXPECT_EQ(same.out, "no differences\n");

  // A byte that stands for no value shown is still reported.
  auto text = ReadBytes(KnownFile());
  text[preset_file::kSingleLive + preset::kText] = 'x';
  const std::string other = dir.File("text.dsps");
  WriteBytes(other, text);
  const auto bytesOnly = RunCtl({"diff", KnownFile(), other});
  EXPECT_EQ(bytesOnly.out, "1 byte(s) differ in data not shown as values\n") << bytesOnly;
}

TEST(CtlCurve, MatchesTheEnginesChannelSum) {
  const auto r = RunCtl({"curve", KnownFile(), "--channel", "ch2"});
  ASSERT_EQ(r.code, 0) << r;

  // The engine's own sum for the same channel of the same file.
  DeviceImage image;
  InitDeviceImage(image);
  ASSERT_TRUE(ReadSinglePresetFile(ReadBytes(KnownFile()), image));
  ChangeTracking tracking;
  CKTV_Data data(image, tracking);
  data.UnpackAll(image.live, 0);
  const CKTVEQ& eq = data.Output(1).Eq();
  std::vector<const CFilter*> filters;
  for (int i = 0; i < eq.FilterCount(); ++i) filters.push_back(&eq.Filter(i));
  const auto sum = ChannelResponse(filters);

  std::istringstream lines(r.out);
  std::string line;
  int i = 0;
  while (std::getline(lines, line)) {
    ASSERT_LT(i, kGridPoints);
    const auto comma = line.find(',');
    ASSERT_NE(comma, std::string::npos) << line;
    EXPECT_NEAR(std::stod(line.substr(0, comma)), FrequencyGrid()[static_cast<std::size_t>(i)], 1e-9) << line;
    EXPECT_NEAR(std::stod(line.substr(comma + 1)), sum[static_cast<std::size_t>(i)], 5.1e-5) << line;
    ++i;
  }
  EXPECT_EQ(i, kGridPoints);
  // The +3.5 dB band at 1000 Hz (grid index 136) lifts the curve there; the -4.5 dB band at
  // 250 Hz takes a little of it back.
  EXPECT_GT(sum[136], 3.0);
  EXPECT_LT(sum[136], 3.5);

  EXPECT_EQ(RunCtl({"curve", KnownFile(), "--channel", "9"}).code, 2);
  EXPECT_EQ(RunCtl({"curve", KnownFile()}).code, 2);
}

}  // namespace
}  // namespace zelto::ctl
