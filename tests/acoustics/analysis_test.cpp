#include "acoustics/analysis.h"

#include <gtest/gtest.h>

#include <cmath>

#include "acoustics/signals.h"
#include "acoustics/sweep.h"

namespace zelto::acoustics {
namespace {

using testing::Tap;

constexpr int kRate = 48000;

SweepParams TestSweep() {
  SweepParams p;
  p.sampleRate = kRate;
  p.seconds = 1.0;
  p.tailSeconds = 0.5;
  return p;
}

// The recording of `sweep` through `taps`: the sweep, its tail and another half second.
std::vector<float> Record(const std::vector<float>& sweep, const std::vector<Tap>& taps, double snrDb,
                          double distortion = 0.0) {
  std::vector<float> played = sweep;
  // A second-order nonlinearity: its product lands before the linear response and must be cut.
  for (float& v : played) v = static_cast<float>(v + distortion * v * v);
  const std::vector<double> y = testing::Play(played, taps, sweep.size() + kRate / 2);
  // The level of the first second, or of all of a shorter recording (never read past its end).
  const double rms = testing::Rms(std::span(y).first(std::min(y.size(), static_cast<std::size_t>(kRate))));
  return testing::WithNoise(y, rms, snrDb);
}

// RMS of the measured minus the true level over 50 Hz..16 kHz, both level-matched at none: the
// analysis must give the absolute level (0 dB is the sweep as played).
double ResponseErrorDb(const Response& r, const std::vector<Tap>& taps) {
  double sum = 0;
  int n = 0;
  for (std::size_t i = 0; i < r.hz.size(); ++i) {
    if (r.hz[i] < 50 || r.hz[i] > 16000) continue;
    const double e = r.db[i] - testing::TapsDb(taps, r.hz[i], kRate);
    sum += e * e;
    ++n;
  }
  return n ? std::sqrt(sum / n) : 1e9;
}

TEST(Analysis, KnownPathsGiveArrivalPolarityAndResponse) {
  const SweepParams params = TestSweep();
  const std::vector<float> sweep = ExponentialSweep(params);
  const struct {
    const char* what;
    std::vector<Tap> taps;
    double snrDb;
    double distortion;
  } cases[] = {
      {"plain delay", {{240.0, 0.5}}, 300, 0},
      {"fractional delay", {{1234.37, 0.3}}, 300, 0},
      {"reversed", {{517.5, -0.4}}, 300, 0},
      {"reflections", {{300.25, 0.5}, {420.0, 0.25}, {2900.0, -0.2}}, 300, 0},
      {"40 dB SNR", {{811.8, 0.5}, {1500.0, 0.2}}, 40, 0},
      {"reversed, reflections, 40 dB SNR", {{96.6, -0.5}, {700.0, 0.3}, {5000.0, 0.15}}, 40, 0},
      {"harmonic distortion", {{2000.4, 0.5}}, 300, 0.2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<float> rec = Record(sweep, c.taps, c.snrDb, c.distortion);
    const AnalysisOrRejection result = Analyse(rec, sweep, kRate, OptionsFor(params));
    ASSERT_TRUE(std::holds_alternative<Analysis>(result)) << std::get<Rejection>(result).Text(Language::English);
    const Analysis& a = std::get<Analysis>(result);
    EXPECT_NEAR(a.arrival.samples, c.taps[0].delay, 1.0);
    EXPECT_NEAR(a.arrivalMs, c.taps[0].delay / 48.0, 1.0 / 48.0);
    EXPECT_EQ(a.arrival.polarity, c.taps[0].gain < 0 ? -1 : 1);
    EXPECT_LT(ResponseErrorDb(a.response, c.taps), 0.5);
    // The impulse response kept for export has its peak where the arrival says.
    const double peakAt =
        a.irStartSamples + static_cast<double>(std::distance(
                               a.ir.begin(), std::max_element(a.ir.begin(), a.ir.end(), [](float x, float y) {
                                 return std::abs(x) < std::abs(y);
                               })));
    EXPECT_NEAR(peakAt, c.taps[0].delay, 1.0);
  }
}

// A workspace kept across analyses must give what a new one gives, whichever excitation, level,
// length or recording size comes next: a filter kept for another sweep would be a wrong response.
TEST(Analysis, AKeptWorkspaceGivesWhatANewOneGives) {
  SweepParams loud = TestSweep();
  SweepParams quiet = loud;
  quiet.levelDbfs = -20;
  SweepParams shorter = loud;
  shorter.seconds = 0.5;
  const std::vector<Tap> path{{333.3, -0.4}, {900.0, 0.2}};
  AnalysisWorkspace kept;
  for (const SweepParams& p : {loud, quiet, shorter, loud, quiet, loud}) {
    for (const std::size_t extra : {std::size_t{0}, std::size_t{kRate}}) {
      const std::vector<float> sweep = ExponentialSweep(p);
      std::vector<float> rec = Record(sweep, path, 60);
      rec.resize(rec.size() + extra, 0.0f);
      const AnalysisOrRejection fresh = Analyse(rec, sweep, kRate, OptionsFor(p));
      const AnalysisOrRejection reused = Analyse(rec, sweep, kRate, OptionsFor(p), kept);
      ASSERT_TRUE(std::holds_alternative<Analysis>(fresh));
      ASSERT_TRUE(std::holds_alternative<Analysis>(reused));
      const Analysis& a = std::get<Analysis>(fresh);
      const Analysis& b = std::get<Analysis>(reused);
      EXPECT_EQ(a.arrival.samples, b.arrival.samples);
      EXPECT_EQ(a.irPeakDb, b.irPeakDb);
      EXPECT_EQ(a.response.db, b.response.db);
      EXPECT_EQ(a.ir, b.ir);
    }
  }
}

// With nothing chosen but the rate, a perfect path must come out flat over the whole audible
// band: at 20 Hz the window's left side and the sweep's start decide it, at 20 kHz its end.
TEST(Analysis, ThePathAsItIsComesOutFlatFrom20HzTo20kHzWithTheDefaults) {
  for (const double delay : {0.0, 1000.0, 4321.5}) {
    SCOPED_TRACE(delay);
    const SweepParams p;
    const std::vector<float> sweep = ExponentialSweep(p);
    const std::vector<double> y = testing::Play(sweep, {{delay, 1.0}}, sweep.size() + kRate);
    const std::vector<float> rec(y.begin(), y.end());
    const AnalysisOrRejection result = Analyse(rec, sweep, kRate, OptionsFor(p));
    ASSERT_TRUE(std::holds_alternative<Analysis>(result));
    const Response& r = std::get<Analysis>(result).response;
    ASSERT_LT(r.hz.front(), 20.0);
    ASSERT_GT(r.hz.back(), 20000.0);
    for (std::size_t i = 0; i < r.hz.size(); ++i) {
      if (r.hz[i] < 20 || r.hz[i] > 20000) continue;
      ASSERT_NEAR(r.db[i], 0.0, 0.1) << r.hz[i] << " Hz";
    }
  }
}

TEST(Analysis, ClippedQuietAndMissingSweepsAreRefusedWithTheReason) {
  const SweepParams params = TestSweep();
  const std::vector<float> sweep = ExponentialSweep(params);
  const std::vector<Tap> path{{500.0, 0.5}};
  std::vector<float> clipped = Record(sweep, path, 300);
  for (float& v : clipped) v = std::clamp(v * 4.0f, -1.0f, 1.0f);
  // Recordings of other sweeps: the short reference sweep, and a sweep twice as long.
  std::vector<float> reference = Record(ExponentialSweep(TimingReferenceSweep(kRate)), path, 40);
  reference.resize(sweep.size() + kRate / 2);
  SweepParams longer = params;
  longer.seconds = 2.0;
  const struct {
    const char* what;
    std::vector<float> recording;
    Rejection::Reason reason;
    const char* text;
  } cases[] = {
      {"clipped", clipped, Rejection::Reason::Clipped, "clipped"},
      {"15 dB above the noise", Record(sweep, path, 15), Rejection::Reason::TooQuiet, "only 1"},
      {"noise only", testing::WithNoise(std::vector<double>(sweep.size() * 2, 0.0), 0.01, 0),
       Rejection::Reason::NotFound, "not found"},
      {"silence", std::vector<float>(sweep.size(), 0.0f), Rejection::Reason::NotFound, "not found"},
      {"shorter than the sweep", std::vector<float>(sweep.begin(), sweep.begin() + kRate / 2),
       Rejection::Reason::TooShort, "shorter"},
      {"empty", {}, Rejection::Reason::Empty, "empty"},
      {"the reference sweep", reference, Rejection::Reason::NotFound, "another sweep"},
      {"a longer sweep", Record(ExponentialSweep(longer), path, 300), Rejection::Reason::NotFound, "another sweep"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const AnalysisOrRejection result = Analyse(c.recording, sweep, kRate, OptionsFor(params));
    ASSERT_TRUE(std::holds_alternative<Rejection>(result));
    const Rejection& r = std::get<Rejection>(result);
    EXPECT_EQ(r.reason, c.reason);
    EXPECT_NE(r.Text(Language::English).find(c.text), std::string::npos) << r.Text(Language::English);
    EXPECT_FALSE(r.Text(Language::Chinese).empty());
  }
  // A subwoofer's path is slow (fourth-order low-pass at 80 Hz, vented-box high-pass at 30 Hz)
  // but heard all the same.
  std::vector<float> sub = Record(sweep, path, 40);
  for (const auto& [hz, highPass] : {std::pair{80.0, false}, std::pair{80.0, false}, std::pair{30.0, true}})
    testing::Biquad(sub, hz, 0.7071, highPass, kRate);
  EXPECT_TRUE(std::holds_alternative<Analysis>(Analyse(sub, sweep, kRate, OptionsFor(params))));
  // Just above the limit passes, and says how far above the noise it was.
  const AnalysisOrRejection ok = Analyse(Record(sweep, path, 25), sweep, kRate, OptionsFor(params));
  ASSERT_TRUE(std::holds_alternative<Analysis>(ok));
  ASSERT_TRUE(std::get<Analysis>(ok).levels.snrDb.has_value());
  EXPECT_NEAR(*std::get<Analysis>(ok).levels.snrDb, 25.0, 1.5);
}

TEST(Analysis, ALoopbackTakesTheStreamLatencyOut) {
  const SweepParams params = TestSweep();
  const std::vector<float> sweep = ExponentialSweep(params);
  const double acoustic = 333.3;
  for (const double latency : {0.0, 1234.0, 4321.6, 9000.25}) {
    SCOPED_TRACE(latency);
    const std::vector<float> mic = Record(sweep, {{latency + acoustic, -0.3}, {latency + acoustic + 900, 0.1}}, 40);
    const std::vector<float> loop = Record(sweep, {{latency, 0.9}}, 60);
    const AnalysisOrRejection r = AnalyseWithLoopback(mic, loop, sweep, kRate, OptionsFor(params));
    ASSERT_TRUE(std::holds_alternative<Analysis>(r));
    EXPECT_NEAR(std::get<Analysis>(r).arrival.samples, acoustic, 1.0);
    EXPECT_EQ(std::get<Analysis>(r).arrival.polarity, -1);
  }
  // A loopback that heard nothing (unplugged) is said to be so, not taken for a zero latency.
  const std::vector<float> mic = Record(sweep, {{500.0, 0.5}}, 40);
  const AnalysisOrRejection r =
      AnalyseWithLoopback(mic, std::vector<float>(mic.size(), 0.0f), sweep, kRate, OptionsFor(params));
  ASSERT_TRUE(std::holds_alternative<Rejection>(r));
  EXPECT_EQ(std::get<Rejection>(r).reason, Rejection::Reason::LoopbackNotFound);
}

TEST(Analysis, AnAcousticReferenceTimesSpeakersToTheSampleWhateverTheLatency) {
  SweepParams params = TestSweep();
  const ReferencedStream stream = MakeReferencedStream(params);
  ASSERT_FALSE(stream.reference.empty());
  const double reference = 150.0;  // the reference tweeter, 1.08 m from the microphone
  const double speakers[] = {150.0, 96.5, 402.25};
  for (const double speaker : speakers) {
    for (const double latency : {480.0, 3001.5, 7777.0}) {
      SCOPED_TRACE(::testing::Message() << "speaker " << speaker << " latency " << latency);
      // Both speakers play their tracks into one microphone; the stream started `latency` late.
      std::vector<double> y =
          testing::Play(stream.reference, {{latency + reference, 0.4}}, stream.measurement.size() + kRate);
      const std::vector<double> m =
          testing::Play(stream.measurement, {{latency + speaker, 0.5}, {latency + speaker + 700, 0.2}}, y.size());
      for (std::size_t i = 0; i < y.size(); ++i) y[i] += m[i];
      const std::vector<float> rec = testing::WithNoise(y, 0.1, 40);
      const AnalysisOrRejection r = AnalyseWithAcousticReference(rec, stream, params, OptionsFor(params));
      ASSERT_TRUE(std::holds_alternative<Analysis>(r)) << std::get<Rejection>(r).Text(Language::English);
      EXPECT_NEAR(std::get<Analysis>(r).arrival.samples, speaker - reference, 1.0);
      EXPECT_NEAR(*std::get<Analysis>(r).referenceArrivalSamples, latency + reference, 1.0);
    }
  }
}

}  // namespace
}  // namespace zelto::acoustics
