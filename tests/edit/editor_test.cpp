// The edit layer on an engine without a processor: the link-group rule, the limits and what the
// processor reports of itself.

#include <gtest/gtest.h>

#include "core/settings.h"
#include "edit/editor.h"
#include "edit/notice_router.h"
#include "link/engine.h"
#include "sim/sim_transport.h"
#include "support/offline_editor.h"

namespace zelto {
namespace {

using testing::OfflineEditor;

TEST(Editor, BandEditsReachTheLinkGroupOnly) {
  OfflineEditor e;
  e.GroupFirstTwo();
  ASSERT_TRUE(e.editor.EditBand(0, 4, {1234, {}, 260, {}}));
  for (int ch : {0, 1}) {
    EXPECT_EQ(e.Band(ch, 4).frequency(), 1234) << ch;
    EXPECT_EQ(e.Band(ch, 4).gainCode(), 260) << ch;
  }
  EXPECT_NE(e.Band(2, 4).frequency(), 1234);
  // The same values again are no edit.
  EXPECT_FALSE(e.editor.EditBand(0, 4, {1234, {}, 260, {}}));
}

TEST(Editor, AnOffBandKeepsItsGainWhenItsShownZeroIsTyped) {
  OfflineEditor e;
  ASSERT_TRUE(e.editor.EditBand(0, 2, Editor::BandChange::Gain(260)));
  ASSERT_TRUE(e.editor.EditBand(0, 2, Editor::BandChange::Off(true)));
  ASSERT_TRUE(e.Band(0, 2).IsFlat());
  EXPECT_FALSE(e.editor.EditBand(0, 2, Editor::BandChange::Gain(kBandGainFlatCode)));
  ASSERT_TRUE(e.editor.EditBand(0, 2, Editor::BandChange::Off(false)));
  EXPECT_EQ(e.Band(0, 2).gainCode(), 260);
}

TEST(Editor, CrossoverBoxesStopAtTheOtherFilterButTheGraphDoesNot) {
  struct Case {
    Editor::CrossoverBox box;
    int channel;
    bool highPass;
    int typed;
    int stored;
  };
  const Case cases[] = {
      {Editor::CrossoverBox::Main, 0, true, 5000, 2000},  // stops at the low-pass
      {Editor::CrossoverBox::Main, 0, false, 50, 300},    // stops at the high-pass
      {Editor::CrossoverBox::Page, 5, true, 150, 100},    // channel 5's high-pass stays at 100 Hz
      {Editor::CrossoverBox::Page, 4, true, 150, 150},   {Editor::CrossoverBox::Graph, 0, true, 5000, 5000},
  };
  for (const Case& c : cases) {
    OfflineEditor e;
    e.editor.SetCrossoverFrequency(c.channel, true, 300, Editor::CrossoverBox::Graph);
    e.editor.SetCrossoverFrequency(c.channel, false, 2000, Editor::CrossoverBox::Graph);
    EXPECT_EQ(e.editor.SetCrossoverFrequency(c.channel, c.highPass, c.typed, c.box), c.stored)
        << static_cast<int>(c.box) << " ch" << c.channel << " " << c.typed;
  }
}

TEST(Editor, TheRouterStoresWhatTheProcessorReportsOfItself) {
  OfflineEditor e;
  NoticeRouter& router = e.runtime.router();
  std::vector<Notice> heard;
  router.Add([&](Notice n, std::intptr_t, std::intptr_t) { heard.push_back(n); });
  router.Route(Notice::DeviceSource, 2, 0);
  router.Route(Notice::DeviceVolume, 99, 0);
  router.Route(Notice::DeviceMute, 0, 0);
  EXPECT_EQ(e.engine.Image().InputSource(), 2);
  EXPECT_EQ(e.engine.Image().MasterVolume(), 60);  // limited to the top of the range
  EXPECT_EQ(e.engine.Image().systemArea[sys::kMasterSwitch], 0);
  EXPECT_EQ(heard, (std::vector<Notice>{Notice::DeviceSource, Notice::DeviceVolume, Notice::DeviceMute}));
}

}  // namespace
}  // namespace zelto
