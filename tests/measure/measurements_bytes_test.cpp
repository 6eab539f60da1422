#include "measure/measurements_bytes.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace zelto::measure {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Curve = std::array<double, kGridPoints>;

Measurement FourPoints() { return {{50, 100, 1000, 8000}, {80.5, 82, 79, 75.25}}; }

Curve Ramp(double from) {
  Curve c{};
  for (int i = 0; i < kGridPoints; ++i) c[i] = from + 0.01 * i;
  return c;
}

// Channel 0 first, with a measurement and the car target, so the offsets below are short.
ChannelMeasurements Sample() {
  ChannelMeasurements held;
  held.Set(0, FourPoints(), Ramp(-3), "m.txt", 40, 12000);
  AutoEqSettings file;
  file.target = TargetChoice::FromFile("house.frd", FourPoints());
  file.loHz = 30;
  file.hiHz = 400;
  file.maxBoostDb = 3;
  held.SetSettings(5, file);
  held.Set(5, Measurement{{20, 200, 2000, 20000, 21000}, {70, 71, 72, 73, 74}}, Ramp(1), "/data/车 sub.txt");
  held.SetSmoothing(12);
  held.SetShown(ShownCurve::Target, false);
  return held;
}

TEST(MeasurementsBytes, ReadBackGiveTheSameMeasurementsTargetsAndCurves) {
  const ChannelMeasurements held = Sample();
  const auto read = MeasurementsFromBytes(MeasurementsBytes(held));
  ASSERT_TRUE(read);
  EXPECT_EQ(MeasurementsBytes(*read), MeasurementsBytes(held));
  EXPECT_EQ(read->PathOf(5), "/data/车 sub.txt");
  EXPECT_EQ(read->SettingsOf(5).target.kind, TargetChoice::Kind::File);
  EXPECT_EQ(read->SettingsOf(5).target.curve, held.SettingsOf(5).target.curve);
  EXPECT_EQ(read->SettingsOf(0).target.curve, CarTarget());
  EXPECT_EQ(read->SettingsOf(0).loHz, 40);
  EXPECT_EQ(read->Smoothing(), 12);
  EXPECT_FALSE(read->Shown(ShownCurve::Target));
  EXPECT_TRUE(read->Shown(ShownCurve::Predicted));
  EXPECT_FALSE(read->Has(1));
  // What the graph draws comes back as it was, the prediction included.
  for (int ch : {0, 5}) {
    const auto before = held.CurvesOf(ch, Ramp(0));
    const auto after = read->CurvesOf(ch, Ramp(0));
    ASSERT_TRUE(before && after);
    EXPECT_EQ(after->measured.db, before->measured.db);
    EXPECT_EQ(after->predicted.db, before->predicted.db);
    EXPECT_EQ(after->target.db, before->target.db);
  }
  // Nothing held is nothing too.
  EXPECT_FALSE(MeasurementsFromBytes(MeasurementsBytes(ChannelMeasurements{}))->Has(0));
}

TEST(MeasurementsBytes, DamagedBytesAreRefused) {
  const Bytes good = MeasurementsBytes(Sample());
  // Offsets: version, smoothing, shown curves; channel 0: flags, target kind, target name (empty),
  // low, high, boost, the file name "m.txt", the point count, four frequencies, four levels.
  constexpr std::size_t kFlags = 3, kKind = 4, kLow = 9, kBoost = 25, kName = 33, kCount = 42, kHz = 46,
                        kDb = kHz + 4 * 8;
  const auto with = [&](std::size_t at, std::uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  const auto number = [&](std::size_t at, double value) {
    Bytes b = good;
    const auto u = std::bit_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < 8; ++i) b[at + i] = static_cast<std::uint8_t>(u >> (8 * i));
    return b;
  };
  ChannelMeasurements twoPoints;
  twoPoints.Set(1, Measurement{{100, 200}, {1, 2}}, Ramp(0), "short.txt");
  ChannelMeasurements longName;
  longName.Set(3, FourPoints(), Ramp(0), std::string(70000, 'x'));
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"another version", with(0, 9)},
      {"a smoothing not offered", with(1, 5)},
      {"an unknown curve", with(2, 0x10)},
      {"unknown flags", with(kFlags, 4)},
      {"an unknown target", with(kKind, 3)},
      {"a frequency that is not a number", number(kLow, std::numeric_limits<double>::quiet_NaN())},
      {"a range upside down", number(kLow, 15000)},
      {"a boost limit below zero", number(kBoost, -1)},
      {"a name longer than the bytes", with(kName + 3, 0x7F)},
      {"a name longer than any file name", MeasurementsBytes(longName)},
      {"more points than bytes", with(kCount + 3, 0x7F)},
      {"frequencies not rising", number(kHz + 16, 100)},
      {"a frequency of zero", number(kHz, 0)},
      {"a level that is not a number", number(kDb + 8, std::numeric_limits<double>::infinity())},
      {"too few points", MeasurementsBytes(twoPoints)},
      {"cut short", {good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2)}},
      {"one byte short", {good.begin(), good.end() - 1}},
      {"one byte left over",
       [&] {
         Bytes b = good;
         b.push_back(0);
         return b;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(MeasurementsFromBytes(c.bytes));
  }
}

}  // namespace
}  // namespace zelto::measure
