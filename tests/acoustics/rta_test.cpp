#include "acoustics/rta.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

#include "acoustics/fft.h"

namespace zelto::acoustics {
namespace {

TEST(Fft, InverseUndoesForwardAtAnySizeOnManyThreads) {
  const std::size_t sizes[] = {1, 2, 3, 7, 1000, 4097, 65536 + 6};
  std::vector<std::thread> threads;
  std::vector<double> worst(std::size(sizes) * 4, 1.0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t s = 0; s < std::size(sizes); ++s) {
        const Fft fft(sizes[s]);
        RealVector x(sizes[s]);
        for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.37 * static_cast<double>(i * (t + 1))) + 0.1;
        const RealVector y = fft.Inverse(fft.Forward(x));
        double e = 0;
        for (std::size_t i = 0; i < x.size(); ++i) e = std::max(e, std::abs(x[i] - y[i]));
        worst[static_cast<std::size_t>(t) * std::size(sizes) + s] = e;
      }
    });
  }
  for (auto& th : threads) th.join();
  for (double e : worst) EXPECT_LT(e, 1e-9);
  // A cosine lands in its bin with half its amplitude times the size; unaligned spans work too.
  const Fft fft(64);
  std::vector<double> x(65);
  for (std::size_t i = 0; i < 64; ++i) x[i + 1] = std::cos(2 * std::numbers::pi * 5 * static_cast<double>(i) / 64);
  std::vector<std::complex<double>> out(33);
  fft.Forward(std::span<const double>(x).subspan(1), out);
  EXPECT_NEAR(out[5].real(), 32.0, 1e-9);
  EXPECT_NEAR(std::abs(out[6]), 0.0, 1e-9);
  EXPECT_EQ(FastFftSize(1000001), 1000188u);  // 2² × 3⁶ × 7³, the next size with no factor above 7
}

TEST(Rta, PeriodicPinkNoiseReadsFlatAndFollowsTheLevel) {
  PinkNoiseParams p;
  const std::vector<float> noise = PeriodicPinkNoise(p);
  ASSERT_EQ(noise.size(), p.period);
  float peak = 0;
  for (float v : noise) peak = std::max(peak, std::abs(v));
  EXPECT_LT(peak, 0.91f);
  EXPECT_EQ(PeriodicPinkNoise(p), noise) << "the same seed, the same noise";

  for (const int bands : {3, 12}) {
    SCOPED_TRACE(bands);
    RtaOptions o;
    o.bandsPerOctave = bands;
    Rta rta(o);
    EXPECT_FALSE(rta.Update()) << "nothing heard yet";
    // Starting mid-period: any full period of periodic noise reads the same.
    rta.Add(std::span(noise).subspan(1234));
    rta.Add(noise);
    ASSERT_TRUE(rta.Update());
    const Response r = rta.Bands();
    ASSERT_FALSE(r.hz.empty());
    double lo = 1e9, hi = -1e9;
    for (std::size_t i = 0; i < r.hz.size(); ++i) {
      if (r.hz[i] < 31.5 || r.hz[i] > 16000) continue;
      lo = std::min(lo, r.db[i]);
      hi = std::max(hi, r.db[i]);
    }
    EXPECT_LT(hi - lo, bands == 3 ? 0.1 : 0.6) << "equal power per band for pink noise";
    // Half the amplitude: 6 dB down in every band.
    std::vector<float> half(noise);
    for (float& v : half) v *= 0.5f;
    rta.Reset();
    rta.Add(half);
    ASSERT_TRUE(rta.Update());
    const Response h = rta.Bands();
    for (std::size_t i = 0; i < r.hz.size(); ++i)
      if (r.hz[i] > 31.5 && r.hz[i] < 16000) {
        EXPECT_NEAR(h.db[i], r.db[i] - 6.0206, 1e-6);
      }
  }
}

TEST(Rta, AFullScaleSineReadsZeroInItsBandAndAveragesHold) {
  RtaOptions o;
  o.periodic = false;
  o.averages = 4;
  Rta rta(o);
  std::vector<float> sine(o.fftSize);
  for (std::size_t i = 0; i < sine.size(); ++i)
    sine[i] = static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * i / 48000));
  for (int k = 0; k < 6; ++k) {
    rta.Add(sine);
    ASSERT_TRUE(rta.Update());
  }
  EXPECT_EQ(rta.UpdatesAveraged(), 4);
  const Response r = rta.Bands();
  const auto band = std::min_element(r.hz.begin(), r.hz.end(),
                                     [](double a, double b) { return std::abs(a - 1000) < std::abs(b - 1000); });
  EXPECT_NEAR(r.db[static_cast<std::size_t>(band - r.hz.begin())], 0.0, 0.05);
}

// A loud sine, then the same at half the amplitude: how each averaging follows the change.
TEST(Rta, CountAndExponentialAveragingFollowALevelChangeAsTheyShould) {
  const auto at1k = [](const Response& r) {
    const auto band = std::min_element(r.hz.begin(), r.hz.end(),
                                       [](double a, double b) { return std::abs(a - 1000) < std::abs(b - 1000); });
    return r.db[static_cast<std::size_t>(band - r.hz.begin())];
  };
  const struct {
    RtaOptions::Averaging averaging;
    int averages;
    int quietUpdates;
    double expectedPower;  // of the loud sine's
  } cases[] = {
      {RtaOptions::Averaging::Count, 4, 1, (3 + 0.25) / 4},
      {RtaOptions::Averaging::Count, 4, 4, 0.25},
      {RtaOptions::Averaging::Count, 0, 2, (6 + 2 * 0.25) / 8},
      {RtaOptions::Averaging::Exponential, 4, 1, 0.75 + 0.25 / 4},
      {RtaOptions::Averaging::Exponential, 4, 3, 0.25 + 0.75 * std::pow(0.75, 3)},
      {RtaOptions::Averaging::Exponential, 1, 1, 0.25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.averages) + " averages, " + std::to_string(c.quietUpdates) + " quiet updates");
    RtaOptions o;
    o.periodic = false;
    o.averaging = c.averaging;
    o.averages = c.averages;
    Rta rta(o);
    std::vector<float> sine(o.fftSize);
    for (std::size_t i = 0; i < sine.size(); ++i)
      sine[i] = static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * i / 48000));
    for (int k = 0; k < 6; ++k) {
      rta.Add(sine);
      ASSERT_TRUE(rta.Update());
    }
    // However many came, the loud level itself reads as it is: the start is no slow rise.
    const double loud = at1k(rta.Bands());
    EXPECT_NEAR(loud, 0.0, 0.05);
    for (float& v : sine) v *= 0.5f;
    for (int k = 0; k < c.quietUpdates; ++k) {
      rta.Add(sine);
      ASSERT_TRUE(rta.Update());
    }
    EXPECT_NEAR(at1k(rta.Bands()) - loud, 10 * std::log10(c.expectedPower), 1e-6);
  }
}

}  // namespace
}  // namespace zelto::acoustics
