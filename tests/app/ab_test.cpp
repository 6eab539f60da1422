// A/B comparison in the window.
#include <gtest/gtest.h>

#include <QTest>

#include "app/view_ids.h"
#include "app/zelto_app.h"
#include "controls/num_edit.h"
#include "controls/xp_button.h"
#include "core/bytes.h"
#include "curves/ui/response_graph.h"
#include "sim_frames.h"

namespace zelto {
namespace {

using testing::ConnectedEditor;
using testing::CountOutputBlocks;
using testing::IsOutputBlock;
using testing::WaitForFrame;
using testing::WaitForQuiet;
using testing::WaitUntil;
using namespace std::chrono_literals;

void Type(NumEdit* box, const QString& text) {
  ASSERT_NE(box, nullptr);
  box->selectAll();
  QTest::keyClicks(box, text);
  box->Commit();
}

using AbWindow = ConnectedEditor;

TEST_F(AbWindow, CtrlBAndTheButtonSwitchAndSendOnlyTheChangedChannel) {
  XPButton* button = view->Control<XPButton>(kAbButton);
  ASSERT_NE(button, nullptr);
  QTest::keyClick(view, Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(view->Ab().Active(), AbSide::B);
  EXPECT_TRUE(button->IsOn());
  // B is a copy of A: nothing went out.
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(CountOutputBlocks(processor()), 0);

  Type(view->Control<NumEdit>(view_id::kFirstStripGainBox + 3), QStringLiteral("-17"));
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  processor().ClearFrameLog();

  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  EXPECT_EQ(view->Ab().Active(), AbSide::A);
  EXPECT_FALSE(button->IsOn());
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputBlock(f, 3); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload(), out::kGain), 60);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(CountOutputBlocks(processor()), 1);
  EXPECT_EQ(view->Control<NumEdit>(view_id::kFirstStripGainBox + 3)->text(), QStringLiteral("0dB"));

  // The other side's curve on the graph, then copy B into A from the menu.
  view->RunMenuCommand(menu_cmd::kAbCurve);
  EXPECT_TRUE(view->AbCurveShown());
  ASSERT_NE(view->Graph()->comparison(), nullptr);
  EXPECT_EQ(view->Graph()->comparison()->Output(3).GainCode(), 43);
  processor().ClearFrameLog();
  view->RunMenuCommand(menu_cmd::kAbCopyBToA);
  f = WaitForFrame(processor(), [](auto& f) { return IsOutputBlock(f, 3); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload(), out::kGain), 43);
  EXPECT_EQ(view->engine().Data().Output(3).GainCode(), 43);
}

TEST(AbMenu, CopyEntriesInBothLanguages) {
  for (Language lang : {Language::Chinese, Language::English}) {
    testing::StartedEditor editor(lang, false);
    ASSERT_TRUE(editor.started);
    QStringList texts;
    for (const auto& item : editor.view()->SettingsMenuItems()) texts << item.second;
    if (lang == Language::Chinese) {
      EXPECT_TRUE(texts.contains(QStringLiteral("复制 A → B")));
      EXPECT_TRUE(texts.contains(QStringLiteral("复制 B → A")));
    } else {
      EXPECT_TRUE(texts.contains(QStringLiteral("copy A → B")));
      EXPECT_TRUE(texts.contains(QStringLiteral("copy B → A")));
    }
  }
}

}  // namespace
}  // namespace zelto
