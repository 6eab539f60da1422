// `zeltoctl measure sweep` and `measure analyse` on files: a sweep written, "played" through a
// known path into a recording, analysed back; and what they refuse.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "acoustics/sweep.h"
#include "acoustics/wav_file.h"
#include "ctl/ctl_run.h"
#include "ctl/json_reader.h"
#include "measure/measurement.h"

namespace zelto::ctl {
namespace {

using namespace zelto::ctl::testing;
using acoustics::Audio;

// The sweep file through a pure delay and gain, with a little noise, as a second-long-tailed
// recording; `extra` more channels (a loopback) carry the sweep itself, `loopDelay` late.
Audio Recording(const Audio& sweep, int delay, float gain, int loopDelay = -1) {
  Audio rec;
  rec.sampleRate = sweep.sampleRate;
  rec.channels = loopDelay >= 0 ? 2 : 1;
  const std::size_t frames = sweep.Frames() + static_cast<std::size_t>(sweep.sampleRate);
  rec.samples.assign(frames * static_cast<std::size_t>(rec.channels), 0.0f);
  std::uint32_t noise = 12345;
  for (std::size_t i = 0; i < frames; ++i) {
    noise = noise * 1664525u + 1013904223u;
    const float n = (static_cast<float>(noise >> 8) / 16777216.0f - 0.5f) * 2e-4f;
    const auto at = static_cast<long long>(i) - delay;
    const float s =
        at >= 0 && at < static_cast<long long>(sweep.Frames()) ? sweep.samples[static_cast<std::size_t>(at)] : 0;
    rec.samples[i * rec.channels] = gain * s + n;
    if (loopDelay >= 0) {
      const auto l = static_cast<long long>(i) - loopDelay;
      rec.samples[i * rec.channels + 1] =
          l >= 0 && l < static_cast<long long>(sweep.Frames()) ? sweep.samples[static_cast<std::size_t>(l)] : 0;
    }
  }
  return rec;
}

Audio ReadAudio(const std::string& path) { return std::get<Audio>(acoustics::ReadSoundFile(path)); }

double LevelAt(const measure::Measurement& m, double hz) {
  const auto it = std::lower_bound(m.hz.begin(), m.hz.end(), hz);
  return m.db[static_cast<std::size_t>(it - m.hz.begin())];
}

TEST(MeasureCommands, ASweepRecordedThroughAPathIsAnalysedBack) {
  ScratchDir dir;
  const std::string sweep = dir.File("sweep.wav");
  ASSERT_EQ(RunCtl({"measure", "sweep", "--out", sweep, "--length", "1"}).code, 0);
  const Audio s = ReadAudio(sweep);
  EXPECT_EQ(s.sampleRate, 48000);
  EXPECT_EQ(s.Frames(), 96000u) << "one second of sweep, one of silence";

  ASSERT_FALSE(acoustics::WriteWav(dir.File("rec.wav"), Recording(s, 1000, -0.25f)).has_value());
  // With the sweep file, and with the sweep described by its settings instead.
  for (const std::vector<std::string>& sweepArgs :
       {std::vector<std::string>{"--sweep", sweep}, std::vector<std::string>{"--length", "1"}}) {
    std::vector<std::string> args{
        "measure", "analyse",          "--recording", dir.File("rec.wav"), "--out", dir.File("resp.txt"),
        "--ir",    dir.File("ir.wav"), "--json"};
    args.insert(args.end(), sweepArgs.begin(), sweepArgs.end());
    const CtlRun r = RunCtl(args);
    ASSERT_EQ(r.code, 0) << r;
    const auto json = JsonReader::Read(r.out);
    ASSERT_TRUE(json) << r.out;
    EXPECT_NEAR(std::stod(json->at("arrival_ms")), 1000 / 48.0, 1 / 48.0);
    EXPECT_EQ(json->at("polarity"), "-1");
    EXPECT_NEAR(std::stod(json->at("peak_dbfs")), 20 * std::log10(0.25 * 0.5), 0.2);
    EXPECT_EQ(json->at("files[1]"), dir.File("ir.wav"));

    // REW text the measurement EQ reads, 0.25 of the sweep's level is -12 dB.
    measure::ReadError error;
    const auto m = measure::ReadMeasurementFile(dir.File("resp.txt"), &error);
    ASSERT_TRUE(m);
    EXPECT_NEAR(LevelAt(*m, 1000), -12.04, 0.1);
    EXPECT_NEAR(LevelAt(*m, 100), -12.04, 0.1);
    EXPECT_GE(m->hz.front(), 10.0);
    EXPECT_LE(m->hz.back(), 21600.0);
    const Audio ir = ReadAudio(dir.File("ir.wav"));
    EXPECT_EQ(ir.sampleRate, 48000);
  }

  // The same recording with a loopback channel 400 samples late: arrival counted from it.
  ASSERT_FALSE(acoustics::WriteWav(dir.File("loop.wav"), Recording(s, 1000, 0.25f, 400)).has_value());
  const CtlRun loop = RunCtl({"measure", "analyse", "--recording", dir.File("loop.wav"), "--sweep", sweep,
                              "--loopback-channel", "2", "--out", dir.File("loop.txt")});
  ASSERT_EQ(loop.code, 0) << loop;
  EXPECT_NE(loop.out.find("arrival: 12.500 ms"), std::string::npos) << loop.out;
  EXPECT_NE(loop.out.find("polarity: normal"), std::string::npos) << loop.out;
}

TEST(MeasureCommands, TheCalibrationIsAppliedExactly) {
  ScratchDir dir;
  const std::string sweep = dir.File("sweep.wav");
  ASSERT_EQ(RunCtl({"measure", "sweep", "--out", sweep, "--length", "1"}).code, 0);
  ASSERT_FALSE(acoustics::WriteWav(dir.File("rec.wav"), Recording(ReadAudio(sweep), 100, 0.5f)).has_value());
  std::ofstream(dir.File("cal.txt")) << "\"Sens Factor =-1.5dB, AGain =18dB, SERNO: 7001234\"\n"
                                     << "10 0\n100 3\n1000 3\n10000 -2\n20000 -2\n";
  const std::vector<std::string> base{"measure", "analyse", "--recording", dir.File("rec.wav"), "--sweep", sweep};
  auto args = base;
  args.insert(args.end(), {"--out", dir.File("plain.txt")});
  ASSERT_EQ(RunCtl(args).code, 0);
  args = base;
  args.insert(args.end(), {"--out", dir.File("cal.txt.out"), "--calibration", dir.File("cal.txt")});
  ASSERT_EQ(RunCtl(args).code, 0);
  // The files as written, point by point: the reader's resampling would average each point with
  // its neighbours and blur the bends of the calibration.
  auto parse = [](const std::string& path) {
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    measure::ReadError error;
    return measure::ParseMeasurement(text, &error);
  };
  const auto plain = parse(dir.File("plain.txt"));
  const auto cal = parse(dir.File("cal.txt.out"));
  ASSERT_TRUE(plain && cal);
  ASSERT_EQ(plain->hz, cal->hz);
  for (std::size_t i = 0; i < plain->size(); ++i) {
    const double f = plain->hz[i];
    // Straight lines in log frequency between the points, ends held, the sensitivity on top.
    double expected = 0;
    if (f <= 100)
      expected = 3 * std::log10(f / 10);
    else if (f <= 1000)
      expected = 3;
    else if (f <= 10000)
      expected = 3 - 5 * std::log10(f / 1000);
    else
      expected = -2;
    ASSERT_NEAR(plain->db[i] - cal->db[i], expected - 1.5, 0.0011) << f << " Hz";
  }
}

TEST(MeasureCommands, BadInputIsRefusedAndNothingIsWritten) {
  ScratchDir dir;
  const std::string sweep = dir.File("sweep.wav");
  ASSERT_EQ(RunCtl({"measure", "sweep", "--out", sweep, "--length", "1"}).code, 0);
  const Audio s = ReadAudio(sweep);
  ASSERT_FALSE(acoustics::WriteWav(dir.File("clipped.wav"), Recording(s, 10, 4.0f)).has_value());
  ASSERT_FALSE(acoustics::WriteWav(dir.File("44k.wav"),
                                   [&] {
                                     Audio a = Recording(s, 10, 0.5f);
                                     a.sampleRate = 44100;
                                     return a;
                                   }())
                   .has_value());
  std::ofstream(dir.File("bad-cal.txt")) << "20 0\n30 x\n";
  std::ofstream(dir.File("text.wav")) << "not audio";
  const std::string out = dir.File("resp.txt");
  const struct {
    std::vector<std::string> args;
    int code;
    const char* message;
  } cases[] = {
      {{"--recording", dir.File("text.wav")}, 1, "not a sound file"},
      {{"--recording", dir.File("missing.wav")}, 1, "cannot read"},
      {{"--recording", dir.File("clipped.wav"), "--sweep", sweep}, 1, "clipped"},
      {{"--recording", dir.File("44k.wav"), "--sweep", sweep}, 1, "resample"},
      {{"--recording", sweep, "--sweep", sweep, "--calibration", dir.File("bad-cal.txt")}, 1, "line 2"},
      {{"--recording", sweep, "--sweep", sweep, "--mic-channel", "2"}, 2, "only 1 channel"},
      {{"--recording", sweep, "--end", "30000"}, 2, "end frequency"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"measure", "analyse", "--out", out};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CtlRun r = RunCtl(args);
    EXPECT_EQ(r.code, c.code) << r;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r;
    EXPECT_FALSE(std::filesystem::exists(out)) << r;
  }
  EXPECT_EQ(RunCtl({"measure", "sweep", "--out", dir.File("x.wav"), "--start", "0"}).code, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.wav")));
}

}  // namespace
}  // namespace zelto::ctl
