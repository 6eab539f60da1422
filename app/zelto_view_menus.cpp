// The main form's menus: the settings and file menus, their commands and the recent files.
#include <QDir>
#include <QFontMetrics>
#include <QMenu>

#include "app/about_dialog.h"
#include "app/sections/top_bar_section.h"
#include "app/view_ids.h"
#include "app/zelto_view.h"
#include "controls/skin_dialog.h"
#include "measure/ui/measure_ui_texts.h"
#include "measure/ui/measurement_tools.h"

namespace zelto {

namespace {

constexpr int kRecentFileTextWidth = 360;

}  // namespace

// ---- menus ---------------------------------------------------------------------------------------------

QList<QPair<int, QString>> CZeltoView::SettingsMenuItems() const {
  using namespace menu_cmd;
  if (ui_.language == Language::Chinese)
    return {{kUndo, UndoText()},
            {kRedo, RedoText()},
            {kHistoryPanel, QStringLiteral("历史记录\tCtrl+H")},
            {kFirmwareUpdate, QStringLiteral("固件更新")},
            {kFactoryResetZh, QStringLiteral("恢复出厂设置")},
            {kSourceVolumeZh, QStringLiteral("音源音量")},
            {kEnglish, QStringLiteral("英文")},
            {kAbout, QStringLiteral("关于")},
            {kSeparator, QString()},
            {kAbCopyAToB, QStringLiteral("复制 A → B")},
            {kAbCopyBToA, QStringLiteral("复制 B → A")},
            {kAbDifferences, QStringLiteral("A/B 差异")},
            {kAbCurve, abCurve_ ? QStringLiteral("隐藏另一方曲线") : QStringLiteral("显示另一方曲线")}};
  return {{kUndo, UndoText()},
          {kRedo, RedoText()},
          {kHistoryPanel, QStringLiteral("History\tCtrl+H")},
          {kFirmwareUpdate, QStringLiteral("Firmware Update")},
          {kFactoryResetEn, QStringLiteral("Rest Settings")},
          {kSourceVolumeEn, QStringLiteral("SourceVolume")},
          {kAbout, QStringLiteral("About")},
          {kSeparator, QString()},
          {kAbCopyAToB, QStringLiteral("copy A → B")},
          {kAbCopyBToA, QStringLiteral("copy B → A")},
          {kAbDifferences, QStringLiteral("A/B differences")},
          {kAbCurve,
           abCurve_ ? QStringLiteral("Hide the other side's curve") : QStringLiteral("Show the other side's curve")}};
}

QList<QPair<int, QString>> CZeltoView::FileMenuItems() const {
  using namespace menu_cmd;
  QList<QPair<int, QString>> items;
  if (ui_.language == Language::Chinese)
    items = {{kPresetOpenZh, QStringLiteral("音效调用")}, {kPresetSaveZh, QStringLiteral("音效保存")}};
  else
    items = {{kPresetOpenEn, QStringLiteral("Open")}, {kPresetSaveEn, QStringLiteral("Save")}};
  items.append({kSeparator, QString()});
  items.append({kImportRewFilters, measure_ui::Text(measure_ui::Word::ImportRewFilters, ui_.language)});
  items.append({kExportRewFilters, measure_ui::Text(measure_ui::Word::ExportRewFilters, ui_.language)});
#ifdef ZELTO_HAVE_ACOUSTICS
  items.append({kMeasureCar, ui_.language == Language::Chinese ? QStringLiteral("测量…") : QStringLiteral("Measure…")});
  items.append(
      {kAutoTune, ui_.language == Language::Chinese ? QStringLiteral("自动调音…") : QStringLiteral("Auto-tune…")});
#endif
  const std::vector<std::string> recent = recentFiles_.List();
  if (!recent.empty()) items.append({kSeparator, QString()});
  const QFontMetrics metrics(ui_.fonts.normal);
  for (std::size_t i = 0; i < recent.size(); ++i) {
    // Numbered like the framework's list; a long path keeps its start and its file name.
    const QString path = QDir::toNativeSeparators(QString::fromStdString(recent[i]));
    items.append({kFirstRecentFile + static_cast<int>(i), QStringLiteral("%1 %2").arg(i + 1).arg(metrics.elidedText(
                                                              path, Qt::ElideMiddle, kRecentFileTextWidth))});
  }
  return items;
}

void CZeltoView::OpenRecentFile(int index) {
  const std::vector<std::string> recent = recentFiles_.List();
  if (index < 0 || index >= static_cast<int>(recent.size())) return;
  const std::string path = recent[static_cast<std::size_t>(index)];
  const PresetFileResult result = editor().LoadPresetFile(runtime_->files(), path);
  ShowPresetFileResult(result, ui_.language, presetHooks_, window());
  if (result.status == PresetFileResult::Status::Failed) recentFiles_.Remove(path);
}

void CZeltoView::PopupSettingsMenu() { PopupMenu(SettingsMenuItems(), topBar_->SettingsMenuPlace(-10)); }

void CZeltoView::PopupFileMenu() {
  // Placed by the settings button, as the processor tool always did.
  PopupMenu(FileMenuItems(), topBar_->SettingsMenuPlace(50));
}

void CZeltoView::PopupMenu(const QList<QPair<int, QString>>& items, const QPoint& where) {
  QMenu menu(this);
  FillMenu(menu, items);
  if (QAction* chosen = menu.exec(where)) RunMenuCommand(chosen->data().toInt());
}

void CZeltoView::FillMenu(QMenu& menu, const QList<QPair<int, QString>>& items) const {
  menu.setStyleSheet(SkinMenuStyle());
  menu.setFont(ui_.fonts.normal);
  using namespace menu_cmd;
  for (const auto& [command, text] : items) {
    if (command == kSeparator) {
      menu.addSeparator();
      continue;
    }
    QAction* a = menu.addAction(text);
    a->setData(command);
    a->setEnabled(MenuCommandEnabled(command));
  }
}

void CZeltoView::RunMenuCommand(int command) {
  using namespace menu_cmd;
  switch (command) {
    case kEnglish:
      // Only the Chinese menu carries it: once English, the program stays English until restarted.
      if (ui_.language == Language::Chinese) SwitchLanguage();
      break;
    case kAbout: About(); break;
    case kFactoryResetZh:
    case kFactoryResetEn: FactoryReset(); break;
    case kSourceVolumeZh:
    case kSourceVolumeEn: OpenSourceVolumes(); break;
    case kPresetOpenZh:
    case kPresetOpenEn: OpenPresetDialog(1); break;
    case kPresetSaveZh:
    case kPresetSaveEn: OpenPresetDialog(2); break;
    case kFirmwareUpdate: OpenFirmwareUpdate(); break;
    case kAbCopyAToB: CopyAb(AbSide::A, AbSide::B); break;
    case kAbCopyBToA: CopyAb(AbSide::B, AbSide::A); break;
    case kAbCurve: ToggleAbCurve(); break;
    case kImportRewFilters: Measurements()->ChooseAndImport(); break;
    case kExportRewFilters: Measurements()->ChooseAndExport(); break;
    case kMeasureCar: OpenMeasurePanel(); break;
    case kAutoTune: OpenAutoTuneDialog(); break;
    case kUndo: UndoStep(); break;
    case kRedo: RedoStep(); break;
    case kHistoryPanel: OpenHistoryPanel(); break;
    case kAbDifferences: ShowHistoryPanel(HistoryPanel::Page::Differences); break;
    default:
      if (command >= kFirstRecentFile && command <= kLastRecentFile) OpenRecentFile(command - kFirstRecentFile);
      break;
  }
}

void CZeltoView::About() {
  AboutSoftDlg dialog(ui_.language, this);
  dialog.exec();
}

}  // namespace zelto
