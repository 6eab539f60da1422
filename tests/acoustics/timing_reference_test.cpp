// The acoustic timing reference holds however late the streams start: a chain of sound cards and a
// simulated car can add more latency than the silence between the reference and the measurement.

#include <gtest/gtest.h>

#include "acoustics/analysis.h"
#include "acoustics/signals.h"
#include "acoustics/sweep.h"

namespace zelto::acoustics {
namespace {

constexpr int kRate = 48000;

TEST(TimingReference, IsFoundWhenTheLatencyOutlastsTheGapBeforeTheMeasurement) {
  SweepParams params;
  params.sampleRate = kRate;
  params.seconds = 1.0;
  params.tailSeconds = 0.3;
  const ReferencedStream stream = MakeReferencedStream(params);
  ASSERT_FALSE(stream.reference.empty());
  const double reference = 150.0;  // the reference tweeter, 1.08 m away
  // The measurement sweep starts this long into the stream; latencies beyond it, far beyond it.
  const double offset = static_cast<double>(stream.measurementOffset);
  for (const double latency : {offset + 1000.5, 1.6 * offset, 2.0 * kRate}) {
    for (const double speaker : {96.5, 402.25, 1500.0}) {
      SCOPED_TRACE(::testing::Message() << "latency " << latency << " speaker " << speaker);
      const std::size_t length = stream.measurement.size() + static_cast<std::size_t>(latency) + kRate / 2;
      std::vector<double> y = testing::Play(stream.reference, {{latency + reference, 0.4}}, length);
      const std::vector<double> m =
          testing::Play(stream.measurement, {{latency + speaker, 0.5}, {latency + speaker + 700, 0.2}}, length);
      for (std::size_t i = 0; i < y.size(); ++i) y[i] += m[i];
      const std::vector<float> rec = testing::WithNoise(y, 0.1, 40);
      const AnalysisOrRejection r = AnalyseWithAcousticReference(rec, stream, params, OptionsFor(params));
      ASSERT_TRUE(std::holds_alternative<Analysis>(r)) << std::get<Rejection>(r).Text(Language::English);
      EXPECT_NEAR(std::get<Analysis>(r).arrival.samples, speaker - reference, 1.0);
      EXPECT_NEAR(*std::get<Analysis>(r).referenceArrivalSamples, latency + reference, 1.0);
    }
  }
}

// An audio server that ran dry for a moment inserts silence, and one that fell behind drops sound:
// everything after shifts, the measurement sweep with it. The closing reference sees that.
TEST(TimingReference, ALatencyThatChangesDuringTheSweepIsRefusedNotMeasured) {
  SweepParams params;
  params.sampleRate = kRate;
  params.seconds = 1.0;
  const ReferencedStream stream = MakeReferencedStream(params);
  const double latency = 5000;
  const std::size_t length = stream.measurement.size() + static_cast<std::size_t>(latency) + kRate;
  std::vector<double> y = testing::Play(stream.reference, {{latency + 150, 0.4}}, length);
  const std::vector<double> m = testing::Play(stream.measurement, {{latency + 300, 0.5}}, length);
  for (std::size_t i = 0; i < y.size(); ++i) y[i] += m[i];
  // The same recording, steady, and with the chain's change at the middle of the sweep.
  const auto middle =
      static_cast<std::ptrdiff_t>(latency) + static_cast<std::ptrdiff_t>(stream.measurementOffset) + kRate / 2;
  for (const int shift : {0, 3, 300, -240}) {
    SCOPED_TRACE(shift);
    std::vector<double> changed(y.begin(), y.begin() + middle);
    if (shift >= 0) {
      changed.insert(changed.end(), static_cast<std::size_t>(shift), 0.0);
      changed.insert(changed.end(), y.begin() + middle, y.end());
    } else {
      changed.insert(changed.end(), y.begin() + middle - shift, y.end());
    }
    const AnalysisOrRejection r =
        AnalyseWithAcousticReference(testing::WithNoise(changed, 0.1, 40), stream, params, OptionsFor(params));
    if (shift == 0) {
      ASSERT_TRUE(std::holds_alternative<Analysis>(r)) << std::get<Rejection>(r).Text(Language::English);
      EXPECT_NEAR(std::get<Analysis>(r).arrival.samples, 150.0, 1.0);
    } else {
      ASSERT_TRUE(std::holds_alternative<Rejection>(r)) << std::get<Analysis>(r).arrival.samples;
      EXPECT_EQ(std::get<Rejection>(r).reason, Rejection::Reason::TimingChanged);
    }
  }
}

TEST(TimingReference, ARecordingWithoutTheReferenceIsRefused) {
  SweepParams params;
  params.sampleRate = kRate;
  params.seconds = 1.0;
  const ReferencedStream stream = MakeReferencedStream(params);
  const double latency = 1.5 * static_cast<double>(stream.measurementOffset);
  const std::size_t length = stream.measurement.size() + static_cast<std::size_t>(latency) + kRate / 2;
  const std::vector<double> m = testing::Play(stream.measurement, {{latency + 200, 0.5}}, length);
  const AnalysisOrRejection r =
      AnalyseWithAcousticReference(testing::WithNoise(m, 0.1, 40), stream, params, OptionsFor(params));
  ASSERT_TRUE(std::holds_alternative<Rejection>(r));
  EXPECT_EQ(std::get<Rejection>(r).reason, Rejection::Reason::NotFound);
}

}  // namespace
}  // namespace zelto::acoustics
