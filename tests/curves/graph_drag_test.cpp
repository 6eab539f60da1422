#include "curves/graph_drag.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace zelto::graph {
namespace {

struct CrossoverCase {
  const char* what;
  bool highPass;
  int range;
  int pointerHz;
  int highPassHz;
  int lowPassHz;
  std::optional<int> want;
};

void PrintTo(const CrossoverCase& c, std::ostream* os) { *os << c.what; }

class CrossoverRange : public ::testing::TestWithParam<CrossoverCase> {};

TEST_P(CrossoverRange, LimitsTheDraggedFrequency) {
  const auto& c = GetParam();
  EXPECT_EQ(CrossoverDragFrequency(c.highPass, c.range, c.pointerHz, c.highPassHz, c.lowPassHz), c.want) << c.what;
}

constexpr bool HP = true;
constexpr bool LP = false;

INSTANTIATE_TEST_SUITE_P(
    Ranges, CrossoverRange,
    ::testing::Values(CrossoverCase{"range 5 high-pass is fixed", HP, 5, 300, 100, 5000, std::nullopt},
                      CrossoverCase{"range 5 low-pass is fixed", LP, 5, 300, 100, 5000, std::nullopt},
                      // The effect block: high-pass at most 1 kHz, low-pass at least 5 kHz.
                      CrossoverCase{"effect high-pass follows below 1 kHz", HP, 6, 500, 20, 8000, 500},
                      CrossoverCase{"effect high-pass stops at 1 kHz", HP, 6, 3000, 20, 8000, 1000},
                      CrossoverCase{"effect high-pass past the low-pass", HP, 6, 12000, 20, 8000, 1000},
                      CrossoverCase{"effect high-pass below a low low-pass", HP, 6, 900, 20, 800, 800},
                      CrossoverCase{"effect high-pass off at the left edge", HP, 6, 20, 300, 8000, 20},
                      CrossoverCase{"effect low-pass not below 5 kHz", LP, 6, 1200, 20, 8000, 5000},
                      CrossoverCase{"effect low-pass follows above 5 kHz", LP, 6, 7000, 20, 8000, 7000},
                      CrossoverCase{"effect low-pass under a high high-pass", LP, 6, 6000, 9000, 12000, 9000},
                      CrossoverCase{"effect low-pass under a high-pass, pointer low", LP, 6, 4000, 9000, 12000, 5000},
                      // Range 7: neither passes the other; the left edge switches the high-pass off.
                      CrossoverCase{"range 7 high-pass below the low-pass", HP, 7, 900, 100, 2000, 900},
                      CrossoverCase{"range 7 high-pass stops at the low-pass", HP, 7, 5000, 100, 2000, 2000},
                      CrossoverCase{"range 7 high-pass off", HP, 7, 20, 100, 2000, 20},
                      CrossoverCase{"range 7 low-pass stops at the high-pass", LP, 7, 50, 100, 2000, 100},
                      // Range 8: the same order rule.
                      CrossoverCase{"range 8 high-pass cannot pass the low-pass", HP, 8, 20000, 100, 3000, 3000},
                      CrossoverCase{"range 8 low-pass cannot pass the high-pass", LP, 8, 20, 100, 3000, 100},
                      CrossoverCase{"range 8 low-pass to the top", LP, 8, 20000, 100, 3000, 20000},
                      // Range 9: the high-pass may be pushed to the very top, else it stops at the low-pass.
                      CrossoverCase{"range 9 high-pass to the top", HP, 9, 20000, 100, 3000, 20000},
                      CrossoverCase{"range 9 high-pass stops at the low-pass", HP, 9, 19000, 100, 3000, 3000},
                      CrossoverCase{"range 9 high-pass free below", HP, 9, 2500, 100, 3000, 2500},
                      CrossoverCase{"range 9 low-pass stops at the high-pass", LP, 9, 80, 100, 3000, 100},
                      // Inputs (range 0).
                      CrossoverCase{"input high-pass stops at the low-pass", HP, 0, 9000, 100, 4000, 4000},
                      CrossoverCase{"input low-pass stops at the high-pass", LP, 0, 30, 100, 4000, 100}));

TEST(ShelfDrag, ShelvesStayOnTheirSideOf2kHz) {
  EXPECT_EQ(ShelfDragFrequency(1, 5000), 2000);
  EXPECT_EQ(ShelfDragFrequency(1, 300), 300);
  EXPECT_EQ(ShelfDragFrequency(2, 500), 2000);
  EXPECT_EQ(ShelfDragFrequency(2, 8000), 8000);
  EXPECT_EQ(ShelfDragFrequency(0, 5000), 5000);  // peaking bands are free
}

TEST(WidthDrag, BandwidthFollowsTheHandleWithinLimits) {
  EXPECT_DOUBLE_EQ(WidthDragBandwidth(false, 1000, 2000), 1.0);
  EXPECT_DOUBLE_EQ(WidthDragBandwidth(true, 1000, 500), 1.0);
  EXPECT_DOUBLE_EQ(WidthDragBandwidth(false, 1000, 9000), 3.0);  // past a factor of 8
  EXPECT_DOUBLE_EQ(WidthDragBandwidth(true, 1000, 20), 3.0);
  EXPECT_DOUBLE_EQ(WidthDragBandwidth(false, 1000, 1010), 0.05);
  EXPECT_DOUBLE_EQ(WidthDragBandwidth(false, 1000, 500), 0.05);  // dragged across the centre
}

}  // namespace
}  // namespace zelto::graph
