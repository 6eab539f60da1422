#include "core/encodings.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace zelto {
namespace {

TEST(FrequencyGrid, HoldsTheProcessorTable) {
  const auto& g = FrequencyGrid();
  EXPECT_DOUBLE_EQ(g[0], 19.7);
  EXPECT_DOUBLE_EQ(g[76], 179.0);
  EXPECT_DOUBLE_EQ(g[136], 1000.0);
  EXPECT_DOUBLE_EQ(g[192], 5000.0);
  EXPECT_DOUBLE_EQ(g[240], 20000.0);
  for (int i = 1; i < kGridPoints; ++i) EXPECT_LT(g[i - 1], g[i]) << "index " << i;
}

TEST(FrequencyGrid, NearestIndex) {
  struct Case {
    double hz;
    int index;
  };
  const Case cases[] = {
      {1000, 136}, {1010, 136}, {1015, 137},  // 1015 is halfway: the higher index wins
      {1029, 137}, {0, 0},      {-5, 0},      {19.7, 0},    {19.0, 0},    {20.1, 1},
      {177, 76},   {5020, 192}, {19800, 240}, {20000, 240}, {25000, 240},
  };
  for (const auto& c : cases) EXPECT_EQ(NearestGridIndex(c.hz), c.index) << c.hz << " Hz";
}

TEST(QTable, FormulaRoundedToThreeDecimals) {
  EXPECT_DOUBLE_EQ(QFromIndex(0), 28.852);
  EXPECT_DOUBLE_EQ(QFromIndex(15), 7.208);
  EXPECT_DOUBLE_EQ(QFromIndex(134), 0.999);
  EXPECT_DOUBLE_EQ(QFromIndex(295), 0.404);
  // One octave (index 95) is the textbook Q of sqrt(2).
  EXPECT_DOUBLE_EQ(QFromIndex(95), 1.414);
  for (int b = 0; b < kQTableSize; ++b) {
    const double q = QFromIndex(b);
    EXPECT_DOUBLE_EQ(q, std::round(q * 1000.0) / 1000.0) << b;
    if (b > 0) {
      EXPECT_LE(q, QFromIndex(b - 1)) << b;
    }
  }
}

TEST(BandCodes, GainAndBandwidth) {
  EXPECT_EQ(BandGainCodeFromDb(20.0), 800);
  EXPECT_EQ(BandGainCodeFromDb(-20.0), 400);
  EXPECT_EQ(BandGainCodeFromDb(0.0), 600);
  EXPECT_EQ(BandGainCodeFromDb(-0.05), 600);
  EXPECT_EQ(BandGainCodeFromDb(0.04), 600);
  EXPECT_EQ(BandGainCodeFromDb(6.0), 660);
  EXPECT_EQ(BandGainCodeFromDb(35.0), 800);  // outside the band range: held at the limits
  EXPECT_EQ(BandGainCodeFromDb(-35.0), 400);
  EXPECT_DOUBLE_EQ(BandGainDbFromCode(660), 6.0);
  for (int code = 400; code <= 800; ++code) EXPECT_EQ(BandGainCodeFromDb(BandGainDbFromCode(code)), code);

  // Every computed gain (a drag, a fit, an imported filter) takes the same rule: a half step
  // rounds up on both sides of 0 dB, so a drag and a fit of -0.05 dB agree.
  const std::pair<double, int> computed[] = {{0.0, 200},   {-0.05, 200}, {-0.04, 200}, {0.05, 201}, {3.46, 235},
                                             {-2.35, 177}, {2.35, 224},  {25.0, 400},  {-31.0, 0}};
  for (auto [db, code] : computed) EXPECT_EQ(BandGainEditCodeFromDb(db), code) << db;
  for (int code = 0; code <= 400; ++code) {
    EXPECT_EQ(BandGainEditCodeFromDb(BandGainDbFromEditCode(code)), code);
    EXPECT_EQ(BandGainCodeFromDb(BandGainDbFromEditCode(code)), code + 400);
  }

  EXPECT_EQ(BandwidthIndexFromOctaves(1.43), 138);
  EXPECT_EQ(BandwidthIndexFromOctaves(0.2), 15);
  for (int i = 0; i < kQTableSize; ++i) EXPECT_EQ(BandwidthIndexFromOctaves(BandwidthOctavesFromIndex(i)), i);
  EXPECT_DOUBLE_EQ(BandwidthOctavesForSetting(2), 0.09);
  EXPECT_DOUBLE_EQ(BandwidthOctavesForSetting(3), 0.09);
  EXPECT_DOUBLE_EQ(BandwidthOctavesForSetting(4), 0.09);
  EXPECT_DOUBLE_EQ(BandwidthOctavesForSetting(15), 0.2);

  EXPECT_EQ(FormatQ(28.852), "28.85");
  EXPECT_EQ(FormatQ(10.0), "10.000");
  EXPECT_EQ(FormatQ(1.414), "1.414");
}

TEST(Codes, GainsLevelsAndLimiter) {
  EXPECT_EQ(OutputGainDbFromCode(60), 0);
  EXPECT_EQ(OutputGainCodeFromDb(-12), 48);
  EXPECT_EQ(FormatOutputGain(-12, false), "-12.0dB");
  EXPECT_EQ(FormatOutputGain(-12, true), "-60.0dB");
  EXPECT_EQ(InputGainDbFromValue(86), 6);
  EXPECT_EQ(InputGainValueFromDb(-10), 70);
  EXPECT_EQ(FormatInputGain(-10), "-10dB");
  EXPECT_EQ(FormatOutputLevel(80), "0.0dB");
  EXPECT_EQ(FormatOutputLevel(62), "-18.0dB");
  EXPECT_EQ(FormatInputLevel(0), "OFF");
  EXPECT_EQ(FormatInputLevel(110), "-10.0dBu");

  EXPECT_DOUBLE_EQ(LimiterThresholdDbuFromCode(300), 0.0);
  EXPECT_EQ(FormatLimiterThreshold(199), "-10.1dBu");
  for (int code = 0; code <= 400; ++code)
    EXPECT_EQ(LimiterThresholdCodeFromDbu(LimiterThresholdDbuFromCode(code)), code);

  EXPECT_DOUBLE_EQ(LimiterAttackMsFromCode(0), 0.3);
  EXPECT_DOUBLE_EQ(LimiterAttackMsFromCode(6), 0.9);
  EXPECT_DOUBLE_EQ(LimiterAttackMsFromCode(7), 1.0);
  EXPECT_DOUBLE_EQ(LimiterAttackMsFromCode(106), 100.0);
  EXPECT_EQ(FormatLimiterAttack(6), "0.9ms");
  EXPECT_EQ(FormatLimiterAttack(7), "1ms");
  EXPECT_EQ(FormatLimiterAttack(106), "100ms");
  for (int code = 0; code <= 206; ++code) EXPECT_EQ(LimiterAttackCodeFromMs(LimiterAttackMsFromCode(code)), code);
}

TEST(Codes, DelayInTimeAndDistance) {
  struct Case {
    int code;
    Language lang;
    const char* ms;
    const char* cm;
    const char* inch;
  };
  const Case cases[] = {
      {48, Language::English, "1.000MS", "34.60CM", "13.62INCH"},
      {960, Language::English, "20.000MS", "692.00CM", "272.37INCH"},
      {48, Language::Chinese, "1.000毫秒", "34.60厘米", "13.62英寸"},
      {0, Language::English, "0.000MS", "0.00CM", "0.00INCH"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatDelayMs(c.code, c.lang), c.ms);
    EXPECT_EQ(FormatDelayCm(c.code, c.lang), c.cm);
    EXPECT_EQ(FormatDelayInch(c.code, c.lang), c.inch);
  }
  EXPECT_DOUBLE_EQ(DelayMsFromCode(960), 20.0);
  EXPECT_EQ(DelayCodeFromMs(20.0), 960);
  EXPECT_EQ(DelayCodeFromMs(1.0 / 48.0 * 7), 7);
}

TEST(Names, BandCentresAndFixedTexts) {
  ASSERT_EQ(OutputBandCentres().size(), 31u);
  EXPECT_EQ(OutputBandCentres()[17], 1000);
  EXPECT_EQ(OutputBandCentres()[30], 20000);
  ASSERT_EQ(InputBandCentres().size(), 9u);
  EXPECT_EQ(InputBandCentres()[3], 317);
  ASSERT_EQ(EffectBandCentres().size(), 3u);
  EXPECT_EQ(EffectBandCentres()[2], 10000);

  EXPECT_EQ(ChannelTypeName(0), "空");
  EXPECT_EQ(ChannelTypeName(24), "超低");
  EXPECT_EQ(ChannelTypeName(26), "后自定义");
  EXPECT_EQ(ChannelTypeName(27), "");
  EXPECT_EQ(ChannelTypeName(30), "");
  EXPECT_EQ(ChannelTypeName(31), "");
  EXPECT_EQ(ChannelTypeName(-1), "");

  EXPECT_EQ(FilterTypeName(0, false, Language::English), "PEQ");
  EXPECT_EQ(FilterTypeName(0, true, Language::Chinese), "图示均衡");
  EXPECT_EQ(FilterTypeName(2, false, Language::Chinese), "高架");
  EXPECT_EQ(CrossoverFamilyName(0, Language::Chinese), "宁克");
  EXPECT_EQ(CrossoverFamilyName(2, Language::English), "Butter_W");
  EXPECT_EQ(CrossoverFamilyName(3, Language::English), "");
  EXPECT_EQ(SlopeName(6, false), "OFF");
  EXPECT_EQ(SlopeName(7, false), "48dB/Oct");
  EXPECT_EQ(SlopeName(1, true), "24dB/Oct");
  EXPECT_EQ(SlopeName(2, true), "");
  EXPECT_EQ(ShelfSlopeName(0), "6dB/Oct");
  EXPECT_EQ(ShelfSlopeName(2), "");
  EXPECT_EQ(LimiterReleaseName(5), "Atk * 32");
  EXPECT_EQ(LimiterReleaseName(6), "");
}

TEST(TextFields, NamesAreRefusedAtEightCharacters) {
  std::array<std::uint8_t, 8> field{'O', 'L', 'D', 'N', 'A', 'M', 'E', 0};
  const auto before = field;
  EXPECT_FALSE(StoreName8(field, "ABCDEFGH"));
  EXPECT_EQ(field, before);
  EXPECT_FALSE(StoreName8(field, "前左高"));  // nine bytes
  EXPECT_EQ(field, before);

  EXPECT_TRUE(StoreName8(field, "ABCDEFG"));
  EXPECT_EQ(field, (std::array<std::uint8_t, 8>{'A', 'B', 'C', 'D', 'E', 'F', 'G', 0}));
  EXPECT_TRUE(StoreName8(field, "Sub"));
  EXPECT_EQ(field, (std::array<std::uint8_t, 8>{'S', 'u', 'b', 0, 0, 0, 0, 0}));
  EXPECT_EQ(NameLengthError(Language::Chinese), "字符长度错误!");
  EXPECT_EQ(NameLengthError(Language::English), "char Len error!");

  std::array<std::uint8_t, 16> preset{};
  EXPECT_TRUE(StoreField(preset, "fifteen chars!!"));
  EXPECT_EQ(preset[15], 0);
  EXPECT_FALSE(StoreField(preset, "sixteen chars!!!"));
  StoreFieldTruncated(field, "前左高频");  // 12 bytes: two whole characters fit
  EXPECT_EQ(ReadField(field), "前左");
}

TEST(TextFields, ReadingCutsAtZeroAndTrims) {
  struct Case {
    std::array<std::uint8_t, 8> bytes;
    const char* text;
  };
  const Case cases[] = {
      {{' ', 'a', 'b', ' ', ' ', 0, 'x', 'y'}, "ab"},
      {{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}, "ABCDEFGH"},  // no zero: the field length ends it
      {{' ', ' ', ' ', 0, 'x', 0, 0, 0}, ""},
      {{0, 'x', 'y', 0, 0, 0, 0, 0}, ""},
      {{'a', ' ', 'b', 0, 0, 0, 0, 0}, "a b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadField(c.bytes), c.text);
    EXPECT_EQ(IsBlankField(c.bytes), std::string(c.text).empty());
  }
}

TEST(TypedNumbers, DecimalPrefixReadsWhatIsTypedAndRefusesWhatNoValueHolds) {
  struct Case {
    std::string text;
    std::optional<double> value;
    std::size_t used = 0;
  };
  const Case cases[] = {
      {"1.5", 1.5, 3},
      {"  -3.5dB", -3.5, 6},
      {"\xE2\x88\x92"
       "12.25Hz",
       -12.25, 8},
      {".", std::nullopt},
      {"dB", std::nullopt},
      {std::string(400, '7'), std::nullopt},  // beyond any double: refused, not infinity
      {"0." + std::string(400, '7'), 0.7777777777777778, 402},
  };
  for (const Case& c : cases) {
    std::size_t used = 0;
    const auto value = ReadDecimalPrefix(c.text, &used);
    ASSERT_EQ(value.has_value(), c.value.has_value()) << c.text.substr(0, 20);
    if (!value) continue;
    EXPECT_DOUBLE_EQ(*value, *c.value) << c.text.substr(0, 20);
    EXPECT_EQ(used, c.used) << c.text.substr(0, 20);
  }
}

TEST(GraphCoordinates, MapBothWays) {
  EXPECT_EQ(GraphY(20.0, 400), 0);
  EXPECT_EQ(GraphY(-20.0, 400), 400);
  EXPECT_EQ(GraphY(0.0, 301), 151);  // 150.5 rounds half up
  EXPECT_DOUBLE_EQ(GraphYExact(0.0, 301), 150.5);
  EXPECT_EQ(GraphX(20, 900), 0);
  EXPECT_EQ(GraphX(200, 900), 300);
  EXPECT_EQ(GraphX(20000, 902), 900);  // each decade is width / 3 in whole pixels
  EXPECT_EQ(GraphX(1000, 900), 509);
  EXPECT_EQ(GraphFrequencyAt(0, 900), 20);
  EXPECT_EQ(GraphFrequencyAt(300, 900), 200);
  EXPECT_EQ(GraphFrequencyAt(-50, 900), 20);
  EXPECT_EQ(GraphFrequencyAt(950, 900), 20000);
  EXPECT_EQ(GraphFrequencyAt(10, 2), 20);  // a plot too narrow for a decade

  EXPECT_DOUBLE_EQ(GraphGainAt(0, 400), 20.0);
  EXPECT_DOUBLE_EQ(GraphGainAt(400, 400), -20.0);
  EXPECT_DOUBLE_EQ(GraphGainAt(100, 400), 10.0);
  // The 0 dB row must give 0 dB so that a band can be dragged back to flat.
  EXPECT_DOUBLE_EQ(GraphGainAt(200, 400), 0.0);
  for (int y = 0; y <= 400; ++y) EXPECT_EQ(GraphY(GraphGainAt(y, 400), 400), y) << y;
}

}  // namespace
}  // namespace zelto
