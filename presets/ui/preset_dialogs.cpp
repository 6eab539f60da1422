#include "presets/ui/preset_dialogs.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QStandardPaths>
#include <mutex>

#include "controls/bit_button.h"
#include "link/engine.h"
#include "presets/preset_name.h"
#include "presets/preset_slots.h"
#include "presets/preset_texts.h"

namespace zelto {

namespace {

constexpr QSize kPresetDialogSize{520, 320};
constexpr QSize kNameDialogSize{380, 172};

// Slot grid: three columns, two rows.
constexpr int kSlotColumns = 3;
constexpr int kSlotWidth = 150;
constexpr int kSlotHeight = 60;
constexpr int kSlotGap = 13;
constexpr int kSlotTop = 76;
constexpr int kSlotNamePixels = 14;
constexpr int kSlotTagPixels = 11;

// Bottom row and footer.
constexpr int kSeparatorY = 226;
constexpr int kRowTop = 240;
constexpr int kRowHeight = 34;
constexpr int kFileButtonWidth = 150;
constexpr int kCheckWidth = 84;
constexpr int kFooterTop = 288;
constexpr int kFooterHeight = 20;
constexpr int kHintTop = 44;
constexpr int kHintHeight = 22;

const QColor kConnectedDot{0, 210, 130};
const QColor kDisconnectedDot{110, 116, 126};

BiText Bi(PresetDialogText text) {
  return {Utf8(PresetDialogTextOf(text, Language::Chinese)), Utf8(PresetDialogTextOf(text, Language::English))};
}
QString PresetText(PresetMessage message, Language lang) { return Utf8(PresetMessageText(message, lang)); }

void DefaultInform(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, parent ? parent->windowTitle() : QString(), text);
}

/// A slot button: the name over the face, and the slot's digit in a corner once it has a name.
class SlotFace final : public BitButton {
 public:
  SlotFace(int id, int slot, QWidget* parent) : BitButton(id, parent), slot_(slot) {}

 protected:
  void paintEvent(QPaintEvent* event) override {
    BitButton::paintEvent(event);
    if (Text() == QString::number(slot_)) return;
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(skin::FaceFont(kSlotTagPixels, true));
    p.setPen(IsDisabled() ? skin::kTextDim.darker(130) : skin::kTextDim.lighter(130));
    p.drawText(QRect(7, 4, 20, 14), Qt::AlignLeft | Qt::AlignTop, QString::number(slot_));
  }

 private:
  int slot_;
};

}  // namespace

// ---- results shared with the main view -----------------------------------------------------------

void ShowPresetFileResult(const PresetFileResult& result, Language lang, const PresetDialogHooks& hooks,
                          QWidget* parent) {
  switch (result.status) {
    case PresetFileResult::Status::Saved:
    case PresetFileResult::Status::Loaded:
      if (hooks.showFileTitle) hooks.showFileTitle(QString::fromStdString(result.title));
      if (hooks.fileUsed) hooks.fileUsed(result.path);
      break;
    case PresetFileResult::Status::Failed:
      if (result.message) {
        const QString text = PresetText(*result.message, lang);
        if (hooks.inform)
          hooks.inform(text);
        else
          DefaultInform(parent, text);
      }
      break;
    case PresetFileResult::Status::ReadingBack:
    case PresetFileResult::Status::NotConnected:  // the engine has said so already
    case PresetFileResult::Status::Idle: break;
  }
}

bool HandlePresetFileNotice(PresetFiles& files, Notice notice, Language lang, const PresetDialogHooks& hooks,
                            QWidget* parent) {
  PresetFileResult result;
  if (!files.HandleNotice(notice, &result)) return false;
  ShowPresetFileResult(result, lang, hooks, parent);
  return true;
}

// ---- name dialog -----------------------------------------------------------------------------------

CPresetNameDlg::CPresetNameDlg(const QString& current, Language lang, QWidget* parent)
    : SkinDialog(kDialogId, kNameDialogSize, lang, parent) {
  SetCaption(Bi(PresetDialogText::NameCaption));
  edit_ = new QLineEdit(current, this);
  edit_->setObjectName(QString::number(kNameEditId));
  edit_->setStyleSheet(SkinEditStyle());
  edit_->setFont(skin::FaceFont(15, false));
  edit_->setGeometry(kMargin, 58, width() - 2 * kMargin, 34);
  edit_->selectAll();
  edit_->setFocus();

  auto* ok = new BitButton(kOkId, this);
  ok->setObjectName(QString::number(kOkId));
  ok->SetFaces(Caption(Bi("确定", "OK"), Tone::Lit));
  ok->setGeometry(width() - kMargin - 96, 122, 96, 32);
  auto* cancel = new BitButton(kCancelId, this);
  cancel->setObjectName(QString::number(kCancelId));
  cancel->SetFaces(Caption(Bi("取消", "Cancel")));
  cancel->setGeometry(width() - kMargin - 96 - 10 - 96, 122, 96, 32);
  connect(ok, &SkinButton::clicked, this, [this] { accept(); });
  connect(cancel, &SkinButton::clicked, this, [this] { reject(); });
  connect(edit_, &QLineEdit::returnPressed, this, [this] { accept(); });
  ApplyLanguage(lang);
}

QString CPresetNameDlg::Name() const { return edit_->text(); }

void CPresetNameDlg::PaintBody(QPainter& p) {
  PaintLabel(p, QRectF(kMargin, 94, width() - 2 * kMargin, 20),
             Bi("名称超过 15 个字母将被截短", "Names longer than 15 letters are shortened"));
}

// ---- both preset dialogs ------------------------------------------------------------------------------

PresetDialog::PresetDialog(int dialogId, int firstSlotId, const BiText& caption, Engine& engine, PresetFiles& files,
                           Language lang, PresetDialogHooks hooks, QWidget* parent)
    : SkinDialog(dialogId, kPresetDialogSize, lang, parent),
      engine_(engine),
      files_(files),
      hooks_(std::move(hooks)),
      firstSlotId_(firstSlotId) {
  SetCaption(caption);
  for (int i = 0; i < kSlots; ++i) {
    const int slot = i + 1;
    auto* b = new SlotFace(firstSlotId_ + i, slot, this);
    b->setObjectName(QString::number(firstSlotId_ + i));
    b->SetFaces(Caption(Same(QString())));
    b->SetTextFont(skin::FaceFont(kSlotNamePixels, true));
    b->setGeometry(kMargin + (i % kSlotColumns) * (kSlotWidth + kSlotGap),
                   kSlotTop + (i / kSlotColumns) * (kSlotHeight + kSlotGap), kSlotWidth, kSlotHeight);
    b->setCursor(Qt::PointingHandCursor);
    connect(b, &SkinButton::clicked, this, [this, slot] { OnSlotClicked(slot); });
    connect(b, &BitButton::rightPressed, this, [this, slot] { OnRightPress(slot); });
    slots_[static_cast<std::size_t>(i)] = b;
  }
}

BitButton* PresetDialog::SlotButton(int slot) const {
  if (slot < 1 || slot > kSlots) return nullptr;
  return slots_[static_cast<std::size_t>(slot - 1)];
}

QString PresetDialog::Text(const char* zh, const char* en) const {
  return QString::fromUtf8(CurrentLanguage() == Language::Chinese ? zh : en);
}

bool PresetDialog::LinkOpen() const { return PresetLinkOpen(engine_); }

QString PresetDialog::SlotText(int slot) const {
  std::string name;
  {
    // Names arrive on the link worker; read between two of its exchanges.
    std::lock_guard lock(engine_.Transfer());
    const auto image = engine_.Image().Preset(slot);
    if (image.size() >= preset::kNameSize) name = NameFromField(image.subspan(preset::kName, preset::kNameSize));
  }
  // A name cut inside a character on its way through the processor shows without the broken end.
  QString text = QString::fromUtf8(name.c_str()).remove(QChar::ReplacementCharacter).trimmed();
  return text.isEmpty() ? QString::number(slot) : text;
}

void PresetDialog::Refresh() {
  const bool open = LinkOpen();
  int current = 0;
  {
    std::lock_guard lock(engine_.Transfer());
    current = engine_.Image().currentPreset[0];
  }
  for (int slot = 1; slot <= kSlots; ++slot) {
    BitButton* b = SlotButton(slot);
    b->SetText(SlotText(slot));
    b->setToolTip(b->Text());
    b->SetDisabled(!open);
    b->SetHighlighted(ShowsCurrentPreset() && slot == current);
  }
  RefreshFileControls();
  update();
}

void PresetDialog::SetLanguage(Language lang) {
  ApplyLanguage(lang);
  Refresh();
}

void PresetDialog::Inform(const QString& text) {
  if (hooks_.inform)
    hooks_.inform(text);
  else
    DefaultInform(this, text);
}

bool PresetDialog::Confirm(const QString& text) {
  if (hooks_.confirm) return hooks_.confirm(text);
  return QMessageBox::question(this, windowTitle(), text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

std::optional<QString> PresetDialog::ChooseFile(PresetFileDialog kind, std::string_view frameworkFilter) {
  const QString filter = QtFileFilter(frameworkFilter);
  if (hooks_.chooseFile) return hooks_.chooseFile(kind, filter);
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  const QString path = kind == PresetFileDialog::Open
                           ? QFileDialog::getOpenFileName(this, windowTitle(), folder, filter)
                           : QFileDialog::getSaveFileName(this, windowTitle(), folder, filter);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

void PresetDialog::ShowResult(const PresetFileResult& result) {
  ShowPresetFileResult(result, CurrentLanguage(), hooks_, this);
}

void PresetDialog::OnRightPress(int slot) {
  BitButton* b = SlotButton(slot);
  const QPoint where = b->mapToGlobal(QPoint(b->width() / 2, b->height() / 2));
  std::optional<SlotCommand> command;
  if (hooks_.chooseCommand) {
    command = hooks_.chooseCommand(slot, where);
  } else {
    QMenu menu(this);
    menu.setStyleSheet(SkinMenuStyle());
    menu.setFont(skin::FaceFont(14, false));
    const Language lang = CurrentLanguage();
    QAction* load = menu.addAction(Utf8(PresetDialogTextOf(PresetDialogText::MenuLoad, lang)));
    QAction* save = menu.addAction(Utf8(PresetDialogTextOf(PresetDialogText::MenuSave, lang)));
    QAction* remove = menu.addAction(Utf8(PresetDialogTextOf(PresetDialogText::MenuDelete, lang)));
    // Every command talks to the processor.
    for (QAction* a : {load, save, remove}) a->setEnabled(LinkOpen());
    QAction* chosen = menu.exec(where);
    if (chosen == load) command = SlotCommand::Load;
    if (chosen == save) command = SlotCommand::Save;
    if (chosen == remove) command = SlotCommand::Delete;
  }
  if (command) RunSlotCommand(slot, *command);
}

void PresetDialog::RunSlotCommand(int slot, SlotCommand command) {
  if (slot < 1 || slot > kSlots) return;
  switch (command) {
    case SlotCommand::Load: Recall(slot, true); break;
    case SlotCommand::Save: StoreNamed(slot); break;
    case SlotCommand::Delete:
      if (!Confirm(PresetText(PresetMessage::ConfirmDelete, CurrentLanguage()))) return;
      // Deleting only empties the name; the slot's settings stay on the processor.
      if (LinkOpen() && DeleteSlot(engine_, slot) == SlotOutcome::Queued) Refresh();
      break;
  }
}

void PresetDialog::Recall(int slot, bool fromDialog) {
  if (!LinkOpen()) return;
  if (RecallSlot(engine_, slot, fromDialog) != SlotOutcome::Queued) return;
  {
    // The live settings are the slot's now: the title area names it.
    std::lock_guard lock(engine_.Transfer());
    engine_.Image().currentPreset[0] = static_cast<std::uint8_t>(slot);
  }
  Refresh();
}

void PresetDialog::StoreNamed(int slot) {
  if (!LinkOpen()) return;
  const QString current = SlotButton(slot)->Text();
  std::optional<QString> name;
  if (hooks_.askName) {
    name = hooks_.askName(current);
  } else {
    CPresetNameDlg dialog(current, CurrentLanguage(), this);
    if (dialog.exec() == QDialog::Accepted) name = dialog.Name();
  }
  if (!name) return;
  const QByteArray utf8 = name->toUtf8();
  const std::string_view text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
  if (IsBlankName(text)) {
    Inform(PresetText(PresetMessage::BlankName, CurrentLanguage()));
    return;
  }
  if (SaveToSlotNamed(engine_, slot, text) == SlotOutcome::Queued)
    SlotButton(slot)->SetText(name->left(kShownNameChars));
}

void PresetDialog::PaintBody(QPainter& p) {
  p.save();
  p.setFont(skin::FaceFont(13, false));
  p.setPen(skin::kLabelText);
  p.drawText(QRectF(kMargin, kHintTop, width() - 2 * kMargin, kHintHeight), Qt::AlignLeft | Qt::AlignVCenter, Hint());
  p.restore();

  PaintSeparator(p, kSeparatorY);

  // Footer: whether the slot buttons can reach the processor.
  const bool open = LinkOpen();
  p.save();
  p.setPen(Qt::NoPen);
  p.setBrush(open ? kConnectedDot : kDisconnectedDot);
  p.drawEllipse(QPointF(kMargin + 4, kFooterTop + kFooterHeight / 2.0), 4, 4);
  p.setFont(skin::FaceFont(12, false));
  p.setPen(open ? skin::kLabelText : skin::kTextDim.lighter(125));
  p.drawText(QRectF(kMargin + 14, kFooterTop, width() - 2 * kMargin - 14, kFooterHeight),
             Qt::AlignLeft | Qt::AlignVCenter,
             open ? Text("设备已连接", "Processor connected")
                  : Text("设备未连接：音效组需要连接设备", "Not connected: the slots need the processor"));
  p.restore();
}

// ---- Source Load ----------------------------------------------------------------------------------------

CSourceLoadDlg::CSourceLoadDlg(Engine& engine, PresetFiles& files, Language lang, PresetDialogHooks hooks,
                               QWidget* parent)
    : PresetDialog(kDialogId, kFirstSlotId, Bi(PresetDialogText::LoadCaption), engine, files, lang, std::move(hooks),
                   parent) {
  fileButton_ = new BitButton(kFileButtonId, this);
  fileButton_->setObjectName(QString::number(kFileButtonId));
  fileButton_->SetFaces(Caption(Bi("打开文件...", "Open File...")));
  fileButton_->setGeometry(width() - kMargin - kFileButtonWidth, kRowTop, kFileButtonWidth, kRowHeight);
  connect(fileButton_, &SkinButton::clicked, this, [this] { OnFileButton(); });
  ApplyLanguage(lang);
  Refresh();
}

QString CSourceLoadDlg::Hint() const {
  return Text("单击音效组即可调用，右键可读取、保存或删除", "Click a slot to recall it; right-click for more");
}

void CSourceLoadDlg::OnSlotClicked(int slot) {
  if (!LinkOpen()) return;
  if (RecallFromLoadDialog(engine_, slot) == SlotOutcome::Queued) Refresh();
}

void CSourceLoadDlg::OnFileButton() {
  if (auto path = ChooseFile(PresetFileDialog::Open, kPresetLoadFilter)) LoadFile(*path);
}

PresetFileResult CSourceLoadDlg::LoadFile(const QString& path) {
  const std::string file = path.toStdString();
  PresetFileResult result = hooks_.loadFile ? hooks_.loadFile(file) : files_.LoadFile(file);
  ShowResult(result);
  // An all-slots file brings the stored names with it.
  Refresh();
  return result;
}

// ---- Source Save ----------------------------------------------------------------------------------------

CSourceSaveDlg::CSourceSaveDlg(Engine& engine, PresetFiles& files, Language lang, PresetDialogHooks hooks,
                               QWidget* parent)
    : PresetDialog(kDialogId, kFirstSlotId, Bi(PresetDialogText::SaveCaption), engine, files, lang, std::move(hooks),
                   parent) {
  const auto makeCheck = [this](int id, const BiText& words, int x) {
    auto* b = new BitButton(id, this);
    b->setObjectName(QString::number(id));
    b->SetFaces(Caption(words), Caption(words, Tone::Lit));
    b->setGeometry(x, kRowTop, kCheckWidth, kRowHeight);
    return b;
  };
  single_ = makeCheck(kSingleId, Bi("单组", "Single"), kMargin + 52);
  allButton_ = makeCheck(kAllId, Bi("全部", "All"), kMargin + 52 + kCheckWidth + 8);
  connect(single_, &SkinButton::clicked, this, [this] { ChooseAllSlots(false); });
  connect(allButton_, &SkinButton::clicked, this, [this] { ChooseAllSlots(true); });

  fileButton_ = new BitButton(kFileButtonId, this);
  fileButton_->setObjectName(QString::number(kFileButtonId));
  fileButton_->SetFaces(Caption(Bi("保存文件...", "Save File...")));
  fileButton_->setGeometry(width() - kMargin - kFileButtonWidth, kRowTop, kFileButtonWidth, kRowHeight);
  connect(fileButton_, &SkinButton::clicked, this, [this] { OnFileButton(); });
  ApplyLanguage(lang);
  Refresh();
}

QString CSourceSaveDlg::Hint() const {
  return Text("单击音效组，命名后保存当前设置", "Click a slot to store the current settings under a name");
}

void CSourceSaveDlg::ChooseAllSlots(bool all) {
  all_ = all;
  RefreshFileControls();
}

void CSourceSaveDlg::RefreshFileControls() {
  single_->SetOn(!all_);
  allButton_->SetOn(all_);
  // All slots are read back from the processor before the file is written.
  fileButton_->SetDisabled(all_ && !LinkOpen());
}

void CSourceSaveDlg::OnSlotClicked(int slot) { StoreNamed(slot); }

void CSourceSaveDlg::OnFileButton() {
  const auto path = ChooseFile(PresetFileDialog::Save, all_ ? kAllSlotsFilter : kSinglePresetFilter);
  if (path) SaveFile(*path);
}

PresetFileResult CSourceSaveDlg::SaveFile(const QString& path) {
  const std::string chosen = path.toStdString();
  PresetFileResult result = all_ ? files_.SaveAllSlotsFile(chosen) : files_.SavePresetFile(chosen);
  ShowResult(result);
  return result;
}

void CSourceSaveDlg::PaintBody(QPainter& p) {
  PresetDialog::PaintBody(p);
  PaintLabel(p, QRectF(kMargin, kRowTop, 48, kRowHeight), Bi("文件", "File"));
}

}  // namespace zelto
