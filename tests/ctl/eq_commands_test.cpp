// The measurement commands on preset files: what they write, what they leave alone and how they
// refuse what they cannot use.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include <nlohmann/json.hpp>

#include "ctl/preset_report.h"
#include "measure/band_fit.h"
#include "measure_support.h"
#include "model/ktv_data.h"

namespace zelto::ctl {
namespace {

using namespace testing;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::array<double, kGridPoints> BandsOfChannel(const std::string& path, int ch) {
  std::string error;
  const auto file = ReadPresetFile(path, Language::English, &error);
  EXPECT_TRUE(file.has_value()) << error;
  PresetObjects objects(*file, 0);
  auto lock = objects.Data().Lock();
  return measure::BandsResponse(measure::BandsOf(objects.Data().Output(ch).Eq()));
}

TEST(CtlEqFile, ImportSetsOnlyThatChannelAndLeavesTheInputAlone) {
  ScratchDir dir;
  const std::string rew = dir.File("filters.txt"), out = dir.File("out.dsps");
  WriteText(rew, kRewFilters);
  const auto input = ReadBytes(KnownFile());
  const auto r = RunCtl({"eq", "import", rew, "--channel", "ch2", "--file", KnownFile(), "--out", out});
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_NE(r.out.find("CH2: 4 REW filter(s) reproduced with"), std::string::npos) << r;
  EXPECT_NE(r.out.find("RMS"), std::string::npos);
  EXPECT_EQ(ReadBytes(KnownFile()), input);

  const auto before = OutputBlocks(KnownFile());
  const auto after = OutputBlocks(out);
  ASSERT_EQ(after.size(), 8u);
  for (int ch = 0; ch < kOutputChannels; ++ch) EXPECT_EQ(before[ch] == after[ch], ch != 1) << "output " << ch;

  // The bands written are the processor's best match of the file's cookbook response.
  const auto parsed = measure::ParseRewFilters(kRewFilters, nullptr);
  const auto want = measure::CookbookResponse(parsed->filters);
  const auto got = BandsOfChannel(out, 1);
  for (int i = 1; i < kGridPoints; ++i) EXPECT_NEAR(got[i], want[i], 0.75) << FrequencyGrid()[i];

  // Exported again, the file's response is the bands' own.
  const auto ex = RunCtl({"eq", "export", "--channel", "2", "--file", out});
  ASSERT_EQ(ex.code, 0) << ex;
  const auto back = measure::ParseRewFilters(ex.out, nullptr);
  ASSERT_TRUE(back.has_value()) << ex.out;
  const auto exported = measure::CookbookResponse(back->filters);
  for (int i = 0; i < kGridPoints; ++i) EXPECT_NEAR(exported[i], got[i], 0.02) << FrequencyGrid()[i];
}

TEST(CtlEqFile, AutoEqKeepsToTheBoostLimitAndTellsWhereItBinds) {
  ScratchDir dir;
  const std::string m = dir.File("m.txt"), out = dir.File("out.dsps");
  WriteText(m, CarMeasurementText());
  const auto r = RunCtl({"autoeq", "--channel", "ch3", "--measurement", m, "--target", "car", "--range", "25-16000",
                         "--max-boost", "4", "--file", KnownFile(), "--out", out});
  ASSERT_EQ(r.code, 0) << r;
  EXPECT_NE(r.out.find("CH3: RMS deviation from the target (car, 25-16000 Hz, 1/6 octave, level matched): before "),
            std::string::npos)
      << r;
  EXPECT_NE(r.out.find("the boost limit of +4.0 dB holds the result below the target at"), std::string::npos) << r;
  const auto boost = BandsOfChannel(out, 2);
  EXPECT_LE(*std::max_element(boost.begin(), boost.end()), 4.0 + 1e-9);

  // The predicted column of `curve` is the measurement moved by what the EQ changed.
  const auto c = RunCtl({"curve", out, "--channel", "3", "--measurement", m, "--measured-with", KnownFile()});
  ASSERT_EQ(c.code, 0) << c;
  const auto lines = Lines(c.out);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kGridPoints));
  const auto beforeEq = RunCtl({"curve", KnownFile(), "--channel", "3"});
  const auto plain = Lines(beforeEq.out);
  const std::size_t at1k = static_cast<std::size_t>(NearestGridIndex(1000));
  double hz, level, measured, predicted, levelBefore;
  ASSERT_EQ(std::sscanf(lines[at1k].c_str(), "%lf,%lf,%lf,%lf", &hz, &level, &measured, &predicted), 4) << lines[at1k];
  ASSERT_EQ(std::sscanf(plain[at1k].c_str(), "%*f,%lf", &levelBefore), 1);
  EXPECT_NEAR(predicted, measured + level - levelBefore, 2e-4);
}

// A REW file as REW writes it in a German locale, with a high-pass it cannot take and a filter
// narrower than a band: imported, every warning printed, the figures in JSON.
TEST(CtlEqFile, ImportPrintsItsWarningsAndFiguresAsJson) {
  ScratchDir dir;
  const std::string rew = dir.File("filters.txt"), out = dir.File("out.dsps");
  WriteText(rew,
            "Filter Settings file\r\n\r\nRoom EQ V5.31\r\nEqualiser: Generic\r\nPreamp: -3,0 dB\r\n"
            "Filter  1: ON  HP       Fc   35,0 Hz\r\n"
            "Filter  2: ON  PK       Fc 1,451 Hz  Gain  -6,0 dB  Q  2,000\r\n"
            "Filter  3: ON  Modal    Fc   52,0 Hz  Gain  -8,0 dB  Q  15,00\r\n");
  const auto r = RunCtl({"eq", "import", rew, "--channel", "2", "--json", "--file", KnownFile(), "--out", out});
  ASSERT_EQ(r.code, 0) << r;
  const auto json = nlohmann::json::parse(r.out);
  EXPECT_EQ(json["filters"], 2);
  EXPECT_LE(json["rms_db"].get<double>(), 1.0);
  EXPECT_GT(json["largest_db"].get<double>(), 0.75);  // Q 15 at 52 Hz cannot be followed
  ASSERT_EQ(json["warnings"].size(), 3u);
  EXPECT_NE(json["warnings"][0].get<std::string>().find("line 6: the \"HP\" filter is left out"), std::string::npos);
  EXPECT_NE(json["warnings"][1].get<std::string>().find("line 8: Q 15.00 is narrower"), std::string::npos);
  EXPECT_NE(json["warnings"][2].get<std::string>().find("preamp of -3.0 dB"), std::string::npos);
  EXPECT_NE(r.err.find("line 6: the \"HP\" filter is left out"), std::string::npos) << r;
  // 1,451 Hz was read as 1451 Hz: the band set there cuts 6 dB.
  const auto bands = BandsOfChannel(out, 1);
  EXPECT_NEAR(bands[NearestGridIndex(1451)], -6.0, 0.5);
}

TEST(CtlEqFile, RefusesBadInputWithAMessageAndWritesNothing) {
  ScratchDir dir;
  const std::string out = dir.File("out.dsps");
  WriteText(dir.File("lp.txt"), "Filter 1: ON HP Fc 30 Hz\nFilter 2: ON LP Fc 80 Hz\n");
  WriteText(dir.File("ambiguous.txt"), "Filter 1: ON PK Fc 20,000 Hz Gain -3 dB Q 2\n");
  WriteText(dir.File("bad.txt"), "* REW\n20 70\n30 abc\n40 71\n");
  WriteText(dir.File("ok.txt"), kRewFilters);
  WriteText(dir.File("m.txt"), CarMeasurementText());
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* inMessage;
  };
  const std::string known = KnownFile();
  const std::vector<Case> cases = {
      {{"eq", "import", dir.File("lp.txt"), "--channel", "1", "--file", known, "--out", out},
       1,
       "no filter of the file is one the bands can shape"},
      {{"eq", "import", dir.File("ambiguous.txt"), "--channel", "1", "--file", known, "--out", out},
       1,
       "line 1: \"20,000\" reads as a decimal and as grouped thousands"},
      {{"eq", "import", dir.File("none.txt"), "--channel", "1", "--file", known, "--out", out}, 1, "cannot read"},
      {{"eq", "import", dir.File("ok.txt"), "--channel", "1", "--file", known}, 2, "--file needs --out"},
      {{"eq", "import", dir.File("ok.txt"), "--channel", "1", "--file", known, "--out", known},
       2,
       "must not be the input"},
      {{"eq", "import", dir.File("ok.txt"), "--channel", "1", "--file", known, "--out", dir.File("o.dspa")},
       2,
       ".dsps"},
      {{"eq", "import", dir.File("ok.txt"), "--channel", "9", "--file", known, "--out", out}, 2, "--channel"},
      {{"eq", "import", dir.File("ok.txt"), "--channel", "1", "--out", out}, 2, "--out needs --file"},
      {{"autoeq", "--channel", "1", "--measurement", dir.File("bad.txt"), "--file", known, "--out", out},
       1,
       "line 3: \"abc\" is not a number"},
      {{"autoeq", "--channel", "1", "--measurement", dir.File("m.txt"), "--range", "2000-200", "--file", known, "--out",
        out},
       2,
       "--range"},
      {{"autoeq", "--channel", "1", "--measurement", dir.File("m.txt"), "--max-boost", "30", "--file", known, "--out",
        out},
       2,
       "--max-boost: must be 0 to 20"},
      {{"autoeq", "--channel", "1", "--measurement", dir.File("m.txt"), "--cut-limit", "-3", "--file", known, "--out",
        out},
       2,
       "--cut-limit: must be 0 to 20"},
      {{"autoeq", "--channel", "1", "--measurement", dir.File("m.txt"), "--target", dir.File("bad.txt"), "--file",
        known, "--out", out},
       1,
       "bad.txt, line 3"},
      {{"curve", known, "--channel", "1", "--measurement", dir.File("bad.txt")}, 1, "line 3"},
  };
  for (const auto& c : cases) {
    const auto r = RunCtl(c.args);
    EXPECT_EQ(r.code, c.code) << r;
    EXPECT_NE(r.err.find(c.inMessage), std::string::npos) << r;
    EXPECT_FALSE(std::filesystem::exists(out)) << r;
  }
}

}  // namespace
}  // namespace zelto::ctl
