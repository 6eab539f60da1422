#include "controls/num_format.h"

#include <gtest/gtest.h>

namespace zelto {
namespace {

NumFormat Box(int mode, int min, int max, double step = 1.0, double offset = 0.0) {
  NumFormat f;
  f.mode = mode;
  f.min = min;
  f.max = max;
  f.step = step;
  f.offset = offset;
  return f;
}

const NumFormat kDelayMs = Box(nummode::kDelayMs, 0, 960);
const NumFormat kDelayCm = Box(nummode::kDelayCm, 0, 960);
const NumFormat kDelayInch = Box(nummode::kDelayInch, 0, 960);
const NumFormat kBandFrequency = Box(nummode::kFrequency, 20, 20000);
const NumFormat kCrossover = Box(nummode::kFrequencyHz, 20, 20000);
const NumFormat kBandGain = Box(nummode::kLinear, 0, 400, 0.1, 20);
const NumFormat kBandQ = Box(nummode::kQ, 0, 295);
const NumFormat kStripGain = Box(nummode::kGainDb, 0, 60, 1, 60);
const NumFormat kSourceVolume = Box(nummode::kScaled, 0, 100);
const NumFormat kInputLevel = Box(nummode::kLevelDbu, 0, 140, 1, 120);
const NumFormat kThreshold = Box(nummode::kThresholdDbu, 0, 500, 0.1, 30);
const NumFormat kAttack = Box(nummode::kAttack, 0, 106);
const NumFormat kBalance = Box(nummode::kBalance, 0, 200);

struct Shown {
  const char* what;
  NumFormat format;
  int value;
  const char* english;
  const char* chinese;  // nullptr: same as English
};

TEST(NumFormat, ShowsEachModeAsThePagesExpect) {
  const Shown cases[] = {
      {"delay 1 ms", kDelayMs, 48, "1.000", nullptr},
      {"delay max", kDelayMs, 960, "20.000", nullptr},
      {"delay 1 ms in cm", kDelayCm, 48, "35", nullptr},
      {"delay max in cm", kDelayCm, 960, "692", nullptr},
      {"delay 1 ms in inch", kDelayInch, 48, "14", nullptr},
      {"delay max in inch", kDelayInch, 960, "272", nullptr},
      {"band frequency", kBandFrequency, 1000, "1000", nullptr},
      {"crossover", kCrossover, 80, "80Hz", nullptr},
      {"band gain flat", kBandGain, 200, "0.0", nullptr},
      {"band gain low", kBandGain, 0, "-20.0", nullptr},
      {"band gain 1.5", kBandGain, 215, "1.5", nullptr},
      {"band Q index 15", kBandQ, 15, "7.233", nullptr},
      {"strip gain 0 dB", kStripGain, 60, "0dB", nullptr},
      {"strip gain off", kStripGain, 0, "-60dB", nullptr},
      {"source volume", kSourceVolume, 50, "50", nullptr},
      {"input level off", kInputLevel, 0, "OFF", "关闭"},
      {"input level", kInputLevel, 100, "-20dBu", nullptr},
      {"threshold", kThreshold, 305, "0.5dBu", nullptr},
      {"attack tenths", kAttack, 6, "0.9ms", nullptr},
      {"attack whole", kAttack, 7, "1ms", nullptr},
      {"balance right", kBalance, 70, "R_30", nullptr},
      {"balance centre", kBalance, 100, "OFF", nullptr},
      {"balance left", kBalance, 125, "L_25", nullptr},
      {"top frequency", Box(nummode::kFrequencyTop, 20, 20000), 20000, "20000Hz", nullptr},
      {"low range min", Box(nummode::kLowRangeHz, 20, 1000), 20, "20Hz", nullptr},
      {"high range max", Box(nummode::kHighRangeHz, 5000, 20000), 20000, "20000Hz", nullptr},
      {"attenuation off", Box(nummode::kAttenuationDb, 0, 200, 0.1, 20), 200, "OFF", nullptr},
      {"attenuation", Box(nummode::kAttenuationDb, 0, 200, 0.1, 20), 150, "-5.0dB", nullptr},
      {"offset integer", Box(nummode::kOffsetInteger, 0, 10, 1, 1), 4, "5", nullptr},
      {"limited gain", Box(nummode::kGainDbLimited, 0, 60, 1, 60), 75, "0dB", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatNumber(c.format, c.value, Language::English), c.english) << c.what;
    EXPECT_EQ(FormatNumber(c.format, c.value, Language::Chinese), c.chinese ? c.chinese : c.english) << c.what;
  }
}

TEST(NumFormat, NeverShowsANegativeZero) {
  // A hair below zero would print "-0.0" without care.
  EXPECT_EQ(FormatNumber(Box(nummode::kLinear, 0, 400, 0.1, 20.00001), 200, Language::English), "0.0");
  EXPECT_EQ(FormatNumber(Box(nummode::kGainDb, 0, 60, 1, 60.4), 60, Language::English), "0dB");
}

struct Typed {
  const char* what;
  NumFormat format;
  const char* text;
  int value;
};

TEST(NumFormat, ReadsTypedTextPerMode) {
  const Typed cases[] = {
      // Delay: ms truncates, distances round, the ends are clamped.
      {"ms", kDelayMs, "1", 48},
      {"ms truncates", kDelayMs, "0.104", 4},
      {"ms at 20", kDelayMs, "20", 960},
      {"ms above 20", kDelayMs, "25", 960},
      {"ms negative", kDelayMs, "-3", 0},
      {"cm", kDelayCm, "346", 479},
      {"cm too far", kDelayCm, "5000", 960},
      {"cm negative", kDelayCm, "-3", 0},
      {"inch", kDelayInch, "14", 49},
      {"inch too far", kDelayInch, "9999", 960},
      {"inch negative", kDelayInch, "-3", 0},
      // Integer modes: a whole number, limited to the range; units after it are ignored.
      {"frequency", kBandFrequency, "1000", 1000},
      {"frequency decimals", kBandFrequency, "99.9", 99},
      {"frequency too high", kBandFrequency, "30000", 20000},
      {"frequency too low", kBandFrequency, "5", 20},
      {"crossover with unit", kCrossover, "120Hz", 120},
      {"not a number", kCrossover, "abc", 20},
      {"empty", kSourceVolume, "", 0},
      {"huge", kSourceVolume, "99999999999999999999", 100},
      {"no exponent or hex", kSourceVolume, "1e2", 1},
      // Linear modes: decimals truncated on the step, "OFF" where it means something.
      {"gain 1.55", kBandGain, "1.55", 215},
      {"gain 0.7 keeps its tenth", kBandGain, "0.7", 207},
      {"gain -3.3", kBandGain, "-3.3", 167},
      {"gain too high", kBandGain, "25", 400},
      {"gain unicode minus", kBandGain,
       "\xE2\x88\x92"
       "2.5",
       175},
      {"strip gain", kStripGain, "-12", 48},
      {"strip gain OFF", kStripGain, "OFF", 0},
      {"strip gain off lower case", kStripGain, " off ", 0},
      {"level OFF", kInputLevel, "OFF", 0},
      {"level 关闭", kInputLevel, "关闭", 0},
      {"level", kInputLevel, "-20dBu", 100},
      {"threshold", kThreshold, "0.5", 305},
      {"threshold OFF", kThreshold, "OFF", 500},
      // Q: typed as shown, nearest table entry.
      {"Q as shown", kBandQ, "7.233", 15},
      {"Q near", kBandQ, "1.0", 137},
      {"Q wide", kBandQ, "0.1", 295},
      {"attack", kAttack, "0.9", 6},
      {"attack whole", kAttack, "100ms", 106},
      {"balance right", kBalance, "R_30", 70},
      {"balance left", kBalance, "L_25", 125},
      {"balance off", kBalance, "OFF", 100},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseNumber(c.format, c.text), c.value) << c.what << ": " << c.text;
}

TEST(NumFormat, TypedDistanceComesBackFromTheCodeItBecame) {
  // 346 cm is 479 samples, which the display shows as 345 cm (the display and the typing use
  // slightly different speeds of sound).
  const int d = ParseNumber(kDelayCm, "346");
  EXPECT_EQ(FormatNumber(kDelayCm, d, Language::English), "345");
}

TEST(NumFormat, EveryShownValueReadsBackToItself) {
  for (const NumFormat& f : {kBandGain, kStripGain, kBandQ, kSourceVolume, kThreshold, kBalance, kCrossover}) {
    for (int v = f.min; v <= f.max; ++v) {
      const std::string shown = FormatNumber(f, v, Language::English);
      ASSERT_EQ(ParseNumber(f, shown), v) << "mode " << f.mode << " shows " << shown;
    }
  }
}

struct Stepped {
  const char* what;
  NumFormat format;
  int from;
  int direction;
  int to;
};

TEST(NumFormat, SpinStepsOnePlainOrAlongTheFrequencyGrid) {
  const Stepped cases[] = {
      {"plain up", kSourceVolume, 50, 1, 51},
      {"plain top", kSourceVolume, 100, 1, 100},
      {"plain bottom", kSourceVolume, 0, -1, 0},
      {"grid up", kBandFrequency, 1000, 1, 1030},
      {"grid down", kBandFrequency, 1000, -1, 972},
      {"between points up", kCrossover, 1001, 1, 1030},
      {"between points down", kCrossover, 1001, -1, 1000},
      {"20 Hz down stays in range", kCrossover, 20, -1, 20},
      {"20 Hz up leaves 20", kCrossover, 20, 1, 21},
      {"22 Hz up is not stuck on 22.1", kBandFrequency, 22, 1, 23},
      {"top stays", kCrossover, 20000, 1, 20000},
      {"top down", kCrossover, 20000, -1, 19585},
      {"range caps the grid", Box(nummode::kFrequencyTop, 20, 1000), 1000, 1, 1000},
      {"range floor", Box(nummode::kFrequencyHz, 100, 20000), 100, -1, 100},
  };
  for (const auto& c : cases) EXPECT_EQ(StepNumber(c.format, c.from, c.direction), c.to) << c.what;
}

TEST(NumFormat, SpinUpWalksEveryWholeHertzGridPointFromTheBottomToTheTop) {
  int f = 20;
  int steps = 0;
  while (f < 20000 && steps < 1000) {
    const int next = StepNumber(kCrossover, f, 1);
    ASSERT_GT(next, f) << "stuck at " << f;
    f = next;
    ++steps;
  }
  EXPECT_EQ(f, 20000);
  EXPECT_LT(steps, kGridPoints);
}

TEST(NumFormat, RefusalNamesTheBoxInTheInterfaceLanguage) {
  EXPECT_EQ(RefusalText(5500, Language::English), "5500:Data err");
  EXPECT_EQ(RefusalText(5500, Language::Chinese), "5500:数据错误");
}

}  // namespace
}  // namespace zelto
