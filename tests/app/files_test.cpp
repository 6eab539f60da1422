// The preset, file and firmware update dialogs opened from the main form's menus, run against the
// in-process simulated processor. The modal dialogs are worked from inside their own event loop;
// names and file paths are handed in through the form's dialog hooks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "app/view_ids.h"
#include "controls/bit_button.h"
#include "controls/bitmap_slider.h"
#include "controls/num_edit.h"
#include "sim_frames.h"
#include "support/temp_dir.h"

namespace zelto {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testing::ConnectedEditor;
using testing::WaitUntil;

void Click(QWidget* w) {
  ASSERT_NE(w, nullptr);
  QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

class FilesTest : public ConnectedEditor {
 protected:
  void SetUp() override { ConnectedEditor::SetUp(); }

  /// Runs `work` inside the modal dialog a menu command opens, then closes the dialog.
  void InDialog(int command, const std::function<void(QDialog&)>& work) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      work(*dialog);
      ran = true;
      dialog->reject();
    });
    view->RunMenuCommand(command);
    EXPECT_TRUE(ran);
  }
  bool Idle() {
    return WaitUntil([&] { return !view->TransferShown() && view->engine().Queue().Count() == 0; }, 20s);
  }
  /// Channel 1's gain at 42 (-18 dB), sent and settled.
  void SetGain42() {
    auto* box = view->Control<NumEdit>(view_id::kFirstStripGainBox);
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("-18"));
    box->Commit();
    ASSERT_TRUE(testing::WaitForQuiet(view, processor()));
  }
  QString UndoText() {
    for (const auto& [id, text] : view->SettingsMenuItems())
      if (id == menu_cmd::kUndo) return text;
    return {};
  }
  int StripGain(int ch) { return view->Control<NumEdit>(view_id::kFirstStripGainBox + ch)->GetValue(); }

  ::zelto::testing::TestTempDir temp;
  fs::path dir = temp.Path();
};

TEST_F(FilesTest, PresetStoredInASlotAndRecalledFromIt) {
  view->PresetHooks().askName = [](const QString&) { return std::optional<QString>(QStringLiteral("Road Trip")); };
  SetGain42();
  InDialog(menu_cmd::kPresetSaveEn, [&](QDialog& dialog) {
    EXPECT_EQ(view->PresetDialogMode(), 2);
    Click(dialog.findChild<BitButton*>(QStringLiteral("2402")));
    ASSERT_TRUE(Idle());
  });
  EXPECT_EQ(view->PresetDialogMode(), 0);
  const DeviceImage memory = processor().Memory();
  EXPECT_EQ(ReadField(memory.Preset(2).subspan(preset::kName, preset::kNameSize)), "Road Trip");
  EXPECT_EQ(GetS16(memory.Block(2, BlockType::Output, 0), out::kGain), 42);

  // Something else on the processor now; the recall brings the slot back.
  QTest::keyClick(view->Control<BitmapSlider>(view_id::kFirstStripGainSlider), Qt::Key_Home);
  ASSERT_TRUE(testing::WaitForQuiet(view, processor()));
  ASSERT_EQ(StripGain(0), 60);
  InDialog(menu_cmd::kPresetOpenEn, [&](QDialog& dialog) {
    EXPECT_EQ(view->PresetDialogMode(), 1);
    auto* slot = dialog.findChild<BitButton*>(QStringLiteral("2420"));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->Text(), QStringLiteral("Road Trip"));
    Click(slot);
    ASSERT_TRUE(WaitUntil([&] { return StripGain(0) == 42 && !view->TransferShown(); }, 20s));
  });
  EXPECT_EQ(view->PresetNameShown(), QStringLiteral("Road Trip"));
  // The recall is a step of its own: undo sends the settings it replaced.
  EXPECT_EQ(UndoText(), QStringLiteral("Undo preset load"));
  view->RunMenuCommand(menu_cmd::kUndo);
  EXPECT_EQ(StripGain(0), 60);
  EXPECT_TRUE(
      WaitUntil([&] { return GetS16(processor().Memory().Block(0, BlockType::Output, 0), out::kGain) == 60; }, 5s));
}

TEST_F(FilesTest, PresetFileSavedAndLoadedThroughTheDialogs) {
  const QString path = QString::fromStdString((dir / "evening drive").string());
  view->PresetHooks().chooseFile = [&](PresetFileDialog, const QString&) { return std::optional<QString>(path); };
  SetGain42();
  InDialog(menu_cmd::kPresetSaveEn,
           [&](QDialog& dialog) { Click(dialog.findChild<BitButton*>(QStringLiteral("2429"))); });
  ASSERT_TRUE(fs::exists(dir / "evening drive.dsps"));
  EXPECT_EQ(view->FileTitleShown(), QStringLiteral("evening drive"));

  QTest::keyClick(view->Control<BitmapSlider>(view_id::kFirstStripGainSlider), Qt::Key_Home);
  ASSERT_TRUE(testing::WaitForQuiet(view, processor()));
  processor().ClearFrameLog();
  view->PresetHooks().chooseFile = [&](PresetFileDialog, const QString&) {
    return std::optional<QString>(path + ".dsps");
  };
  InDialog(menu_cmd::kPresetOpenEn, [&](QDialog& dialog) {
    Click(dialog.findChild<BitButton*>(QStringLiteral("2426")));
    ASSERT_TRUE(Idle());
  });
  EXPECT_EQ(StripGain(0), 42);
  // The loaded settings went to the processor.
  EXPECT_TRUE(
      WaitUntil([&] { return GetS16(processor().Memory().Block(0, BlockType::Output, 0), out::kGain) == 42; }, 5s));

  // A file that is not one leaves everything as it was and says why.
  std::ofstream(dir / "broken.dsps") << "not a preset";
  view->PresetHooks().chooseFile = [&](PresetFileDialog, const QString&) {
    return std::optional<QString>(QString::fromStdString((dir / "broken.dsps").string()));
  };
  const auto before = editor->messages.size();
  InDialog(menu_cmd::kPresetOpenEn,
           [&](QDialog& dialog) { Click(dialog.findChild<BitButton*>(QStringLiteral("2426"))); });
  EXPECT_EQ(editor->messages.size(), before + 1);
  EXPECT_EQ(StripGain(0), 42);
}

TEST_F(FilesTest, RecentFilesInTheFileMenuOpenLikeOpen) {
  const auto save = [&](const std::string& name) {
    const QString path = QString::fromStdString((dir / name).string());
    view->PresetHooks().chooseFile = [path](PresetFileDialog, const QString&) { return std::optional<QString>(path); };
    InDialog(menu_cmd::kPresetSaveEn,
             [&](QDialog& dialog) { Click(dialog.findChild<BitButton*>(QStringLiteral("2429"))); });
  };
  SetGain42();
  save("drive.dsps");
  QTest::keyClick(view->Control<BitmapSlider>(view_id::kFirstStripGainSlider), Qt::Key_Home);
  ASSERT_TRUE(testing::WaitForQuiet(view, processor()));
  for (const char* name : {"b.dsps", "c.dsps", "d.dsps"}) save(name);

  const auto entries = [&] {
    QStringList texts;
    for (const auto& [command, text] : view->FileMenuItems())
      if (command >= menu_cmd::kFirstRecentFile && command <= menu_cmd::kLastRecentFile) texts << text;
    return texts;
  };
  for (bool chinese : {false, true}) {
    if (chinese) view->SwitchLanguage();
    const QStringList shown = entries();
    ASSERT_EQ(shown.size(), 4);
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("1 ")) && shown[0].endsWith(QStringLiteral("d.dsps")));
    EXPECT_TRUE(shown[3].startsWith(QStringLiteral("4 ")) && shown[3].endsWith(QStringLiteral("drive.dsps")));
  }
  // The list outlives the run: it is in the settings.
  EXPECT_EQ(RecentFiles(*editor->settings).List().size(), 4u);

  processor().ClearFrameLog();
  view->RunMenuCommand(menu_cmd::kFirstRecentFile + 3);
  ASSERT_TRUE(Idle());
  EXPECT_EQ(StripGain(0), 42);
  EXPECT_TRUE(view->FileTitleShown().startsWith(QStringLiteral("drive")));
  EXPECT_TRUE(
      WaitUntil([&] { return GetS16(processor().Memory().Block(0, BlockType::Output, 0), out::kGain) == 42; }, 5s));
  EXPECT_TRUE(entries()[0].endsWith(QStringLiteral("drive.dsps")));
  // Opened from the list, the file is a step as it is from the dialog (the menu is in Chinese now).
  EXPECT_EQ(UndoText(), QStringLiteral("撤销 音效调用"));
  view->RunMenuCommand(menu_cmd::kUndo);
  EXPECT_EQ(StripGain(0), 60);
  EXPECT_TRUE(
      WaitUntil([&] { return GetS16(processor().Memory().Block(0, BlockType::Output, 0), out::kGain) == 60; }, 5s));
  view->RunMenuCommand(menu_cmd::kRedo);

  // A file gone since leaves the list with a message, and nothing else changes.
  fs::remove(dir / "c.dsps");
  const auto before = editor->messages.size();
  const int index = static_cast<int>(entries().indexOf(entries().filter(QStringLiteral("c.dsps")).value(0)));
  ASSERT_GE(index, 0);
  view->RunMenuCommand(menu_cmd::kFirstRecentFile + index);
  EXPECT_EQ(editor->messages.size(), before + 1);
  EXPECT_EQ(entries().filter(QStringLiteral("c.dsps")).size(), 0);
  EXPECT_EQ(StripGain(0), 42);
}

TEST_F(FilesTest, FirmwareUpdateRunsToUpdateSuccessfully) {
  processor().SetRestartTime(50ms);
  UpdateTransfer& transfer = view->Update();
  transfer.timing.readWait = 2ms;
  transfer.timing.loaderRestart = 200ms;
  std::vector<std::uint8_t> image(2 * 296 + 8);
  std::iota(image.begin(), image.end(), std::uint8_t{0x21});
  const fs::path file = dir / "dsp.mva";
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));

  InDialog(menu_cmd::kFirmwareUpdate, [&](QDialog& dialog) {
    ASSERT_NE(view->OpenUpdate(), nullptr);
    dialog.findChild<QLineEdit*>(QStringLiteral("1882"))->setText(QString::fromStdString(file.string()));
    Click(dialog.findChild<BitButton*>(QStringLiteral("1881")));
    EXPECT_TRUE(view->UpdateRunning());
    // Nothing that would disturb it runs meanwhile, and the dialog stays.
    view->FactoryReset();
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_TRUE(WaitUntil([&] { return editor->messages.contains(QStringLiteral("Update successfully!")); }, 30s));
  });
  EXPECT_EQ(editor->messages.first(), QStringLiteral("Don't close up the update!"));
  EXPECT_FALSE(view->UpdateRunning());
  EXPECT_EQ(view->OpenUpdate(), nullptr);
  const sim::SimUpdateRecord record = processor().UpdateRecord();
  ASSERT_FALSE(record.steps.empty());
  EXPECT_EQ(record.steps.back(), static_cast<std::uint8_t>(UpdateStep::DspEnd));
}

}  // namespace
}  // namespace zelto
