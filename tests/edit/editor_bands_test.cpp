// A channel's whole band set in one call: what the REW import and the automatic EQ of both front
// ends use.

#include <gtest/gtest.h>

#include <vector>

#include "edit/editor.h"
#include "link/engine.h"
#include "model/ktv_data.h"
#include "support/offline_editor.h"

namespace zelto {
namespace {

using testing::OfflineEditor;

std::vector<Editor::BandValues> BandsOf(OfflineEditor& e, int ch) {
  std::vector<Editor::BandValues> out;
  for (int k = 0; k < 31; ++k) {
    const CFilter& f = e.Band(ch, k);
    out.push_back({f.frequency(), f.bandwidthIndex(), f.IsFlat() ? kBandGainFlatCode : f.gainCode()});
  }
  return out;
}

bool Same(const std::vector<Editor::BandValues>& a, const std::vector<Editor::BandValues>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (a[k].hz != b[k].hz || a[k].bandwidthIndex != b[k].bandwidthIndex || a[k].gainCode != b[k].gainCode)
      return false;
  return true;
}

TEST(EditorBands, ABandSetIsOneStepOverTheLinkGroupAndUndoesWhole) {
  OfflineEditor e;
  e.GroupFirstTwo();
  const auto before = BandsOf(e, 0);
  auto wanted = before;
  wanted[3] = {45, 30, 140};
  wanted[20] = {2100, 60, 230};
  const std::size_t steps = e.editor.Steps().Size();
  const Editor::BandSetResult r = e.editor.SetBands(0, wanted, StepLabel{StepLabel::What::Edits, 0});
  EXPECT_EQ(r.status, Editor::BandSetResult::Status::Set);
  EXPECT_EQ(r.channels, (std::vector<int>{0, 1}));
  EXPECT_TRUE(Same(BandsOf(e, 0), wanted));
  EXPECT_TRUE(Same(BandsOf(e, 1), wanted));
  EXPECT_TRUE(Same(BandsOf(e, 2), before));
  ASSERT_EQ(e.editor.Steps().Size(), steps + 1);
  EXPECT_EQ(StepText(e.editor.Steps().UndoStep()->label, Language::English), "CH1 edits");

  // The same set again changes nothing; one undo takes the whole set back on both channels.
  EXPECT_EQ(e.editor.SetBands(0, wanted).status, Editor::BandSetResult::Status::Unchanged);
  ASSERT_TRUE(e.editor.Undo());
  EXPECT_TRUE(Same(BandsOf(e, 0), before));
  EXPECT_TRUE(Same(BandsOf(e, 1), before));
}

TEST(EditorBands, GraphicModeAnywhereInTheGroupRefusesTheSet) {
  OfflineEditor e;
  e.GroupFirstTwo();
  e.engine.Data().Edit([](CKTV_Data& d) { d.Output(1).SetEqMode(1); });
  const auto before = BandsOf(e, 0);
  auto wanted = before;
  wanted[10] = {300, 20, 150};
  EXPECT_TRUE(e.editor.BandsFixed(0));
  const std::size_t steps = e.editor.Steps().Size();
  EXPECT_EQ(e.editor.SetBands(0, wanted).status, Editor::BandSetResult::Status::GraphicMode);
  EXPECT_TRUE(Same(BandsOf(e, 0), before));
  EXPECT_EQ(e.editor.Steps().Size(), steps);
  EXPECT_EQ(e.editor.SetBands(8, wanted).status, Editor::BandSetResult::Status::NoSuchChannel);
}

}  // namespace
}  // namespace zelto
