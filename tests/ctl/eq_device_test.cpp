// The measurement commands on a started zelto-sim: what reaches the processor is exactly what the
// same command computes for a file holding the processor's settings.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "measure/rew_filters.h"
#include "measure_support.h"
#include "sim/sim_process.h"

namespace zelto::ctl {
namespace {

using namespace testing;

class CtlEqDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim_.Start(ZELTO_SIM_EXE, {}, &error)) << error;
  }
  CtlRun Run(std::vector<std::string> args) {
    args.push_back("--device");
    args.push_back(sim_.Url());
    return RunCtl(std::move(args));
  }

  ScratchDir dir_;
  sim::SimProcess sim_;
};

TEST_F(CtlEqDevice, ImportAndAutoEqReachTheProcessorAsTheFileCommandsComputeThem) {
  const std::string rew = dir_.File("filters.txt"), m = dir_.File("m.txt");
  WriteText(rew, kRewFilters);
  WriteText(m, CarMeasurementText());
  const std::string start = dir_.File("start.dsps");
  ASSERT_EQ(Run({"pull", start}).code, 0);

  const auto imported = Run({"eq", "import", rew, "--channel", "ch4"});
  ASSERT_EQ(imported.code, 0) << imported;
  EXPECT_NE(imported.out.find("CH4: 4 REW filter(s) reproduced with"), std::string::npos) << imported;
  const std::string expectImport = dir_.File("expect-import.dsps");
  ASSERT_EQ(RunCtl({"eq", "import", rew, "--channel", "ch4", "--file", start, "--out", expectImport}).code, 0);

  const std::string afterImport = dir_.File("after-import.dsps");
  ASSERT_EQ(Run({"pull", afterImport}).code, 0);
  EXPECT_EQ(OutputBlocks(afterImport), OutputBlocks(expectImport));
  EXPECT_NE(OutputBlocks(afterImport)[3], OutputBlocks(start)[3]);

  // The processor's bands export as the file's do.
  const auto live = Run({"eq", "export", "--channel", "4"});
  ASSERT_EQ(live.code, 0) << live;
  EXPECT_EQ(live.out, RunCtl({"eq", "export", "--channel", "4", "--file", afterImport}).out);
  EXPECT_TRUE(measure::ParseRewFilters(live.out, nullptr).has_value());

  // The automatic EQ, measured with the imported bands in place.
  const auto auto1 = Run({"autoeq", "--channel", "4", "--measurement", m, "--target", "car", "--max-boost", "5"});
  ASSERT_EQ(auto1.code, 0) << auto1;
  const std::string expectAuto = dir_.File("expect-auto.dsps");
  const auto fileRun = RunCtl({"autoeq", "--channel", "4", "--measurement", m, "--target", "car", "--max-boost", "5",
                               "--file", afterImport, "--out", expectAuto});
  ASSERT_EQ(fileRun.code, 0) << fileRun;
  EXPECT_EQ(auto1.out, fileRun.out);
  const std::string afterAuto = dir_.File("after-auto.dsps");
  ASSERT_EQ(Run({"pull", afterAuto}).code, 0);
  EXPECT_EQ(OutputBlocks(afterAuto), OutputBlocks(expectAuto));
}

// A subwoofer behind an 80 Hz low-pass, equalised with the defaults: the range is its pass band,
// nothing above it is touched, and what reaches the processor is what the file command computes.
TEST_F(CtlEqDevice, AutoEqOfACrossedOverSubwooferStaysInItsPassBand) {
  ASSERT_EQ(Run({"set", "ch7.lp=80Hz", "ch7.lp.type=lr", "ch7.lp.slope=24"}).code, 0);
  const std::string start = dir_.File("start.dsps"), m = dir_.File("sub.txt");
  ASSERT_EQ(Run({"pull", start}).code, 0);
  WriteText(m, SubwooferMeasurementText());
  const auto r = Run({"autoeq", "--channel", "ch7", "--measurement", m, "--target", "CAR", "--json"});
  ASSERT_EQ(r.code, 0) << r;
  const auto json = nlohmann::json::parse(r.out);
  EXPECT_EQ(json["from_hz"], 20.0);
  EXPECT_EQ(json["to_hz"], 80.0);
  EXPECT_EQ(json["target"], "car");
  EXPECT_LT(json["after_rms_db"].get<double>(), json["before_rms_db"].get<double>());
  EXPECT_LT(json["before_rms_db"].get<double>(), 6.0);  // measured against the low-pass's slope
  for (const auto& band : json["bands"]) {
    EXPECT_LE(band["hz"].get<int>(), 80 * 1.2) << band;
    EXPECT_GE(band["gain_db"].get<double>(), -12.0) << band;
  }
  const std::string expect = dir_.File("expect.dsps"), after = dir_.File("after.dsps");
  ASSERT_EQ(RunCtl({"autoeq", "--channel", "7", "--measurement", m, "--target", "car", "--json", "--file", start,
                    "--out", expect})
                .code,
            0);
  ASSERT_EQ(Run({"pull", after}).code, 0);
  EXPECT_EQ(OutputBlocks(after), OutputBlocks(expect));

  // A range asked for beyond the low-pass is narrowed to it, with a message; "1k-2k" lies wholly
  // in the stop band and is refused as covering nothing of it.
  const auto narrowed = Run({"autoeq", "--channel", "7", "--measurement", m, "--range", "20-1k"});
  ASSERT_EQ(narrowed.code, 0) << narrowed;
  EXPECT_NE(narrowed.err.find("narrowed to the pass band 20-80 Hz"), std::string::npos) << narrowed;
  const auto stop = Run({"autoeq", "--channel", "7", "--measurement", m, "--range", "1k-2k"});
  EXPECT_EQ(stop.code, 1) << stop;
}

TEST_F(CtlEqDevice, NothingIsSentWhenTheFileCannotBeImported) {
  WriteText(dir_.File("lp.txt"), "Filter 1: ON LP Fc 80 Hz\nFilter 2: ON PK Fc 20,000 Hz Gain -3 dB Q 2\n");
  const std::string start = dir_.File("start.dsps");
  ASSERT_EQ(Run({"pull", start}).code, 0);
  const auto r = Run({"eq", "import", dir_.File("lp.txt"), "--channel", "1"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("line 2: \"20,000\""), std::string::npos) << r;
  const std::string after = dir_.File("after.dsps");
  ASSERT_EQ(Run({"pull", after}).code, 0);
  EXPECT_EQ(OutputBlocks(after), OutputBlocks(start));
}

}  // namespace
}  // namespace zelto::ctl
