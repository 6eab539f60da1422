// The history through the real window: a drop-list choice made with the mouse is a step at once,
// the history panel lists and is clicked, the load dialog's files are steps of their own, and the
// A/B differences are shown in engineering units. What the processor receives is checked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "app/history_panel.h"
#include "app/output_page.h"
#include "app/view_ids.h"
#include "controls/bit_button.h"
#include "controls/bitmap_slider.h"
#include "controls/com_box_btn.h"
#include "controls/num_edit.h"
#include "core/bytes.h"
#include "sim_frames.h"
#include "support/temp_dir.h"

namespace zelto {
namespace {

using namespace std::chrono_literals;
using testing::ConnectedEditor;
using testing::IsOutputItem;
using testing::WaitForFrame;
using testing::WaitForQuiet;
using testing::WaitUntil;

void PressKeys(CZeltoView* view, QKeySequence keys) {
  QWidget* w = view->window();
  w->activateWindow();
  QTest::keySequence(w, keys);
}

void Type(NumEdit* box, const QString& text) {
  ASSERT_NE(box, nullptr);
  box->selectAll();
  QTest::keyClicks(box, text);
  box->Commit();
}

class HistoryWindow : public ConnectedEditor {
 protected:
  CKTV_OutData& channel(int i) { return view->engine().Data().Output(i); }
  void TypeStripGain(int ch, int db) {
    Type(view->Control<NumEdit>(view_id::kFirstStripGainBox + ch), QString::number(db));
  }
  /// The processor's gain code of an output.
  int GainAtProcessor(int ch) { return GetS16(processor().Memory().Block(0, BlockType::Output, ch), out::kGain); }
};

// Choosing from a drop list opens it with a press on the button; the list is a pop-up, so the
// release and the choice happen there. The choice is a step at once: Ctrl+Z takes it back, and
// the next drag is a step of its own.
TEST_F(HistoryWindow, ADropListChoiceMadeWithTheMouseIsAStepAtOnce) {
  auto* slope = view->Control<ComBoxBtn>(view_id::kHighPassSlope);
  ASSERT_NE(slope, nullptr);
  const int before = channel(0).Eq().HighPass().slope();
  const int choice = before == 0 ? 1 : 0;
  QTest::mousePress(slope, Qt::LeftButton, {}, slope->rect().center());
  QTest::mouseRelease(slope, Qt::LeftButton, {}, slope->rect().center());
  DropList* list = slope->List();
  ASSERT_TRUE(WaitUntil([&] { return slope->IsListOpen(); }, 2s));
  const QPoint item(list->width() / 2,
                    (choice - list->FirstVisible()) * DropList::kItemHeight + DropList::kItemHeight / 2);
  QTest::mousePress(list, Qt::LeftButton, {}, item);
  QTest::mouseRelease(list, Qt::LeftButton, {}, item);
  ASSERT_FALSE(slope->IsListOpen());
  ASSERT_EQ(channel(0).Eq().HighPass().slope(), choice);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  processor().ClearFrameLog();

  view->RunMenuCommand(menu_cmd::kUndo);
  EXPECT_EQ(channel(0).Eq().HighPass().slope(), before);
  EXPECT_EQ(slope->Selection(), before);
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputItem(f, 0, out::kItemCrossover); });
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Payload()[xover::kHpSlope], before);
  view->RunMenuCommand(menu_cmd::kRedo);
  EXPECT_EQ(channel(0).Eq().HighPass().slope(), choice);

  // A drag after it is its own step: its undo leaves the choice alone.
  const std::size_t steps = view->editor().Steps().Size();
  BitmapSlider* slider = view->Page()->GainSlider(4);
  const QPoint centre = slider->rect().center();
  QTest::mousePress(slider, Qt::LeftButton, {}, centre);
  QTest::mouseMove(slider, centre - QPoint(0, 12));
  QTest::mouseRelease(slider, Qt::LeftButton, {}, centre - QPoint(0, 12));
  EXPECT_EQ(view->editor().Steps().Size(), steps + 1);
  view->RunMenuCommand(menu_cmd::kUndo);
  EXPECT_EQ(channel(0).Eq().HighPass().slope(), choice);
}

TEST_F(HistoryWindow, ThePanelListsTheStepsNewestFirstAndAClickGoesToOne) {
  for (const auto& [ch, db] : {std::pair{1, -10}, std::pair{2, -11}, std::pair{3, -12}}) TypeStripGain(ch, db);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  PressKeys(view, QKeySequence(Qt::CTRL | Qt::Key_H));
  HistoryPanel* panel = view->HistoryView();
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  QListWidget* list = panel->StepList();
  ASSERT_EQ(list->count(), 4);  // three steps and the start
  EXPECT_TRUE(list->item(0)->text().endsWith(QStringLiteral("CH4 gain"))) << list->item(0)->text().toStdString();
  EXPECT_TRUE(list->item(2)->text().endsWith(QStringLiteral("CH2 gain")));
  EXPECT_TRUE(list->item(3)->text().startsWith(QStringLiteral("Start")));
  EXPECT_EQ(list->currentRow(), 0);

  // A click on the first step takes back the two after it.
  processor().ClearFrameLog();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
  EXPECT_EQ(view->editor().Steps().Cursor(), 1u);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(GainAtProcessor(3), 60);
  EXPECT_EQ(GainAtProcessor(2), 60);
  EXPECT_EQ(GainAtProcessor(1), 50);
  EXPECT_EQ(list->currentRow(), 2);
  // And one on the newest applies them again; the start undoes everything.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(GainAtProcessor(3), 48);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(3)).center());
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(GainAtProcessor(1), 60);
  EXPECT_FALSE(view->editor().Steps().CanUndo());

  // The panel follows the side heard: B has no steps of its own yet.
  view->SwitchAb();
  ASSERT_TRUE(WaitUntil([&] { return list->count() == 1; }, 2s));
  EXPECT_TRUE(list->item(0)->text().contains(QStringLiteral("side B")));
}

TEST_F(HistoryWindow, TheDifferencesOfTheSidesArePerChannelAndValueInEngineeringUnits) {
  view->SwitchAb();  // B
  TypeStripGain(2, -6);
  Type(view->Page()->GainBox(12), QStringLiteral("3"));
  view->RunMenuCommand(menu_cmd::kAbDifferences);
  HistoryPanel* panel = view->HistoryView();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->CurrentPage(), HistoryPanel::Page::Differences);
  QTableWidget* table = panel->DifferenceTable();
  const auto row = [&](const QString& ch, const QString& value) -> int {
    for (int r = 0; r < table->rowCount(); ++r)
      if (table->item(r, 0) && table->item(r, 0)->text() == ch && table->item(r, 1)->text() == value) return r;
    return -1;
  };
  const int gain = row(QStringLiteral("CH3"), QStringLiteral("gain"));
  ASSERT_GE(gain, 0);
  EXPECT_EQ(table->item(gain, 2)->text(), QStringLiteral("0.0dB"));
  EXPECT_EQ(table->item(gain, 3)->text(), QStringLiteral("-6.0dB"));
  const int band = row(QStringLiteral("CH1"), QStringLiteral("band 13 gain"));
  ASSERT_GE(band, 0);
  EXPECT_EQ(table->item(band, 3)->text(), QStringLiteral("+3.0 dB"));
  EXPECT_EQ(table->rowCount(), 2);
  // An undo on B makes the sides equal again.
  PressKeys(view, QKeySequence(Qt::CTRL | Qt::Key_Z));
  PressKeys(view, QKeySequence(Qt::CTRL | Qt::Key_Z));
  ASSERT_TRUE(
      WaitUntil([&] { return table->rowCount() == 1 && row(QStringLiteral("CH3"), QStringLiteral("gain")) < 0; }, 2s));
}

TEST(HistoryWindowChinese, ThePanelSpeaksChinese) {
  testing::StartedEditor editor(Language::Chinese, true);
  ASSERT_TRUE(editor.started);
  CZeltoView* view = editor.view();
  ASSERT_TRUE(WaitUntil([&] { return view->Settled(); }, testing::kConnectTimeout));
  Type(view->Page()->GainBox(12), QStringLiteral("3"));
  view->SwitchAb();
  view->SwitchAb();
  view->OpenHistoryPanel();
  HistoryPanel* panel = view->HistoryView();
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Pages()->tabText(0), QStringLiteral("步骤"));
  EXPECT_EQ(panel->Pages()->tabText(1), QStringLiteral("A/B 差异"));
  EXPECT_TRUE(panel->StepList()->item(0)->text().endsWith(QStringLiteral("CH1 第13段 增益")));
  EXPECT_TRUE(panel->StepList()->item(1)->text().startsWith(QStringLiteral("起点")));
  panel->ShowPage(HistoryPanel::Page::Differences);
  EXPECT_EQ(panel->DifferenceTable()->item(0, 1)->text(), QStringLiteral("A 和 B 相同"));
}

class HistoryFiles : public HistoryWindow {
 protected:
  ::zelto::testing::TestTempDir temp;
  std::filesystem::path dir = temp.Path();
};

// Two files loaded in one visit to the load dialog are two steps; undoing a load takes its name
// off the title area and sends only the channels it changed.
TEST_F(HistoryFiles, EachFileTheLoadDialogOpensIsAStepAndItsUndoTakesTheTitleAway) {
  const QString first = QString::fromStdString((dir / "first.dsps").string());
  const QString second = QString::fromStdString((dir / "second.dsps").string());
  auto& files = view->Files();
  TypeStripGain(1, -10);
  ASSERT_EQ(files.SavePresetFile(first.toStdString()).status, PresetFileResult::Status::Saved);
  TypeStripGain(1, -20);
  TypeStripGain(4, -20);
  ASSERT_EQ(files.SavePresetFile(second.toStdString()).status, PresetFileResult::Status::Saved);
  TypeStripGain(1, 0);
  TypeStripGain(4, 0);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  const std::size_t steps = view->editor().Steps().Size();

  QString chosen;
  view->PresetHooks().chooseFile = [&](PresetFileDialog, const QString&) { return std::optional<QString>(chosen); };
  bool ran = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    auto* button = dialog->findChild<BitButton*>(QStringLiteral("2426"));  // Open File...
    ASSERT_NE(button, nullptr);
    for (const QString& path : {first, second}) {
      chosen = path;
      QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
      ASSERT_TRUE(WaitUntil([&] { return !view->TransferShown(); }, 20s));
    }
    ran = true;
    dialog->reject();
  });
  view->RunMenuCommand(menu_cmd::kPresetOpenEn);
  ASSERT_TRUE(ran);
  ASSERT_EQ(view->editor().Steps().Size(), steps + 2);
  EXPECT_EQ(view->FileTitleShown(), QStringLiteral("second.dsps"));
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(GainAtProcessor(4), 40);

  // Undoing the second load brings the first back: CH2 and CH5 differ, so their two blocks go and
  // nothing else.
  processor().ClearFrameLog();
  PressKeys(view, QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(view->FileTitleShown(), QStringLiteral("first.dsps"));
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(GainAtProcessor(1), 50);
  EXPECT_EQ(GainAtProcessor(4), 60);
  std::vector<int> blocks;
  for (const auto& f : processor().Frames())
    for (int ch = 0; ch < kOutputChannels; ++ch)
      if (testing::IsOutputBlock(f, ch)) blocks.push_back(ch);
  EXPECT_EQ(blocks, (std::vector<int>{1, 4}));
  PressKeys(view, QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(view->FileTitleShown(), QString());
}

}  // namespace
}  // namespace zelto
