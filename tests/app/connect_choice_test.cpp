// Edits made in the window while no processor is connected survive the next connect when the
// user answers the question by sending them; undo puts the processor's values back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "app/connect_choice_dialog.h"
#include "app/view_ids.h"
#include "controls/bit_button.h"
#include "controls/num_edit.h"
#include "controls/xp_button.h"
#include "core/bytes.h"
#include "sim_frames.h"

namespace zelto {
namespace {

using testing::ConnectedEditor;
using testing::CountOutputBlocks;
using testing::IsOutputBlock;
using testing::WaitForFrame;
using testing::WaitForQuiet;
using testing::WaitUntil;

using ConnectChoiceWindow = ConnectedEditor;

TEST_F(ConnectChoiceWindow, OfflineEditsAreSentWhenTheUserChoosesSo) {
  auto* connect = view->Control<XPButton>(view_id::kConnect);
  QTest::mouseClick(connect, Qt::LeftButton);
  ASSERT_FALSE(view->engine().Connected());
  NumEdit* box = view->Control<NumEdit>(view_id::kFirstStripGainBox + 2);
  box->selectAll();
  QTest::keyClicks(box, QStringLiteral("-17"));
  box->Commit();
  ASSERT_EQ(view->engine().Data().Output(2).GainCode(), 43);
  processor().ClearFrameLog();

  // The question is a modal dialog: answer it by its button, as a user does.
  bool asked = false;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<ConnectChoiceDlg*>(QApplication::activeModalWidget());
    if (!dialog) return;
    asked = true;
    EXPECT_FALSE(dialog->CloseButton()->isVisible()) << "the question has no neutral way out";
    BitButton* send = dialog->Button(ConnectChoiceDlg::kSendMine);
    QTest::mouseClick(send, Qt::LeftButton, {}, send->rect().center());
  });
  answerer.start(20);
  QTest::mouseClick(connect, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return asked && !view->editor().ConnectChoicePending(); }, testing::kConnectTimeout));
  answerer.stop();

  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputBlock(f, 2); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload(), out::kGain), 43);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(CountOutputBlocks(processor()), 1);
  EXPECT_EQ(GetU16(processor().Memory().Block(0, BlockType::Output, 2), out::kGain), 43);
  EXPECT_EQ(box->text(), QStringLiteral("-17dB"));
  EXPECT_EQ(view->UndoText(), QStringLiteral("Undo send my settings"));

  processor().ClearFrameLog();
  QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
  f = WaitForFrame(processor(), [](auto& f) { return IsOutputBlock(f, 2); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload(), out::kGain), 60);
  EXPECT_EQ(view->engine().Data().Output(2).GainCode(), 60);
  EXPECT_EQ(box->text(), QStringLiteral("0dB"));
}

TEST(ConnectChoiceAnswered, AnAnswerFromTheEnvironmentKeepsTheProcessorsWithoutAsking) {
  qputenv("ZELTO_CONNECT_ANSWER", "keep");
  testing::StartedEditor editor(Language::Chinese, true);
  qunsetenv("ZELTO_CONNECT_ANSWER");
  CZeltoView* view = editor.view();
  ASSERT_TRUE(WaitUntil([&] { return view->Settled(); }, testing::kConnectTimeout));
  auto* connect = view->Control<XPButton>(view_id::kConnect);
  QTest::mouseClick(connect, Qt::LeftButton);
  NumEdit* box = view->Control<NumEdit>(view_id::kFirstStripGainBox + 5);
  box->selectAll();
  QTest::keyClicks(box, QStringLiteral("-17"));
  box->Commit();
  ASSERT_TRUE(view->editor().HasUnsentEdits());

  QTest::mouseClick(connect, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return view->Settled() && !view->editor().HasUnsentEdits(); }, testing::kConnectTimeout));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(view->engine().Data().Output(5).GainCode(), 60);
  EXPECT_EQ(view->UndoText(), QStringLiteral("撤销 保留处理器的设置"));
}

}  // namespace
}  // namespace zelto
