#include "update/ui/upgrade_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QStandardPaths>
#include <algorithm>

#include "controls/bit_button.h"
#include "controls/font_static.h"
#include "update/update_texts.h"

namespace zelto {

namespace {

constexpr QSize kDialogSize{540, 268};
constexpr int kFieldTop = 72;
constexpr int kFieldHeight = 32;
constexpr int kBrowseWidth = 104;
constexpr int kGap = 10;
constexpr int kProgressTop = 158;
constexpr int kProgressHeight = 20;
constexpr int kStatusTop = 184;
constexpr int kStatusHeight = 22;
constexpr int kStatusPixels = 14;
constexpr int kSeparatorY = 214;
constexpr int kFooterTop = 224;
constexpr int kStartWidth = 150;
constexpr int kStartHeight = 34;

// The status line is the one blue text of the dialog.
const QColor kStatusBlue{86, 156, 255};

QString ProgressStyle() {
  return QStringLiteral(
      "QProgressBar{background:#0c0e12;border:1px solid #4a525f;border-radius:4px;color:#e2e7ee;"
      "text-align:center;font-size:12px;}"
      "QProgressBar::chunk{border-radius:3px;background:qlineargradient(x1:0,y1:0,x2:0,y2:1,"
      "stop:0 #1fd49b,stop:1 #008a62);}");
}

}  // namespace

UpgradeDlg::UpgradeDlg(UpdateTransfer& transfer, Language lang, UpgradeDialogHooks hooks, QWidget* parent)
    : SkinDialog(kDialogId, kDialogSize, lang, parent), transfer_(transfer), hooks_(std::move(hooks)) {
  SetCaption({Utf8(UpdateDialogCaption(Language::Chinese)), Utf8(UpdateDialogCaption(Language::English))});

  path_ = new QLineEdit(QString::fromStdString(transfer_.UpdateFilePath()), this);
  path_->setObjectName(QString::number(kPathEditId));
  path_->setStyleSheet(SkinEditStyle());
  path_->setFont(skin::FaceFont(13, false));
  path_->setGeometry(kMargin, kFieldTop, width() - 2 * kMargin - kBrowseWidth - kGap, kFieldHeight);

  browse_ = new BitButton(kBrowseId, this);
  browse_->setObjectName(QString::number(kBrowseId));
  browse_->SetFaces(Caption(Bi("浏览...", "Browse...")));
  browse_->setGeometry(width() - kMargin - kBrowseWidth, kFieldTop, kBrowseWidth, kFieldHeight);
  connect(browse_, &SkinButton::clicked, this, [this] { Browse(); });

  progress_ = new QProgressBar(this);
  progress_->setObjectName(QString::number(kProgressId));
  progress_->setStyleSheet(ProgressStyle());
  progress_->setGeometry(kMargin, kProgressTop, width() - 2 * kMargin, kProgressHeight);
  progress_->setRange(0, 1);
  progress_->setValue(0);

  // Part of the dialog from the start, shown with the first status text.
  status_ = new FontStatic(kStatusId, this);
  status_->setObjectName(QString::number(kStatusId));
  status_->SetTextHeight(kStatusPixels);
  status_->SetBold(true);
  status_->SetColor(kStatusBlue);
  status_->setGeometry(kMargin, kStatusTop, width() - 2 * kMargin, kStatusHeight);
  status_->hide();

  start_ = new BitButton(kStartId, this);
  start_->setObjectName(QString::number(kStartId));
  start_->SetFaces(Caption(Bi("开始更新", "Start Update"), Tone::Lit),
                   Caption(Bi("更新中...", "Updating..."), Tone::Lit));
  start_->setGeometry(width() - kMargin - kStartWidth, kFooterTop, kStartWidth, kStartHeight);
  connect(start_, &SkinButton::clicked, this, [this] { Start(); });

  transfer_.SetView(this);
  ApplyLanguage(lang);
  RefreshState();
}

UpgradeDlg::~UpgradeDlg() { transfer_.SetView(nullptr); }

QString UpgradeDlg::Text(const char* zh, const char* en) const {
  return QString::fromUtf8(CurrentLanguage() == Language::Chinese ? zh : en);
}

void UpgradeDlg::SetLanguage(Language lang) { ApplyLanguage(lang); }

void UpgradeDlg::HandleNotice(Notice notice, std::intptr_t wParam, std::intptr_t lParam) {
  transfer_.HandleNotice(notice, wParam, lParam);
  RefreshState();
}

void UpgradeDlg::RefreshState() {
  start_->SetOn(transfer_.Updating());
  update();
}

void UpgradeDlg::Browse() {
  if (transfer_.Updating()) {
    transfer_.Browse(std::nullopt);  // only the warning
    return;
  }
  const QString filter = QtFileFilter(kUpdateFileFilter);
  std::optional<QString> chosen;
  if (hooks_.chooseFile) {
    chosen = hooks_.chooseFile(filter);
  } else {
    const QFileInfo current(path_->text());
    const QString folder = !path_->text().isEmpty() && current.dir().exists()
                               ? current.absolutePath()
                               : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = QFileDialog::getOpenFileName(this, windowTitle(), folder, filter);
    if (!path.isEmpty()) chosen = path;
  }
  std::optional<std::string> path;
  if (chosen) path = chosen->toStdString();
  transfer_.Browse(path);
}

UpdateTransfer::StartOutcome UpgradeDlg::Start() {
  if (transfer_.Updating()) return UpdateTransfer::StartOutcome::Busy;
  const auto outcome = transfer_.StartUpdate(path_->text().toStdString());
  RefreshState();
  return outcome;
}

void UpgradeDlg::ShowUpdateMessage(UpdateMessage message) {
  // The processor confirmed the whole image: the bar ends full, whatever the margin of its range.
  if (message == UpdateMessage::UpdateSuccessful) progress_->setValue(progress_->maximum());
  const QString text = Utf8(UpdateMessageText(message, CurrentLanguage()));
  if (hooks_.inform)
    hooks_.inform(text);
  else
    QMessageBox::information(this, windowTitle(), text);
  RefreshState();
}

void UpgradeDlg::ShowUpdatePath(const std::string& path) { path_->setText(QString::fromStdString(path)); }

void UpgradeDlg::ShowUpdateStatus(std::string_view text) {
  status_->SetText(Same(Utf8(text)));
  status_->show();
  // The search for the processor holds the window thread: draw the line now, not after it.
  status_->repaint();
}

void UpgradeDlg::SetUpdateRange(int count) {
  progress_->setRange(0, std::max(1, count));
  progress_->setValue(0);
}

void UpgradeDlg::SetUpdatePosition(int position) {
  progress_->setValue(std::clamp(position, progress_->minimum(), progress_->maximum()));
}

void UpgradeDlg::done(int result) {
  if (!transfer_.RequestClose()) return;
  transfer_.OnDialogClosed();
  SkinDialog::done(result);
}

void UpgradeDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();  // never closes the dialog
      return;
    default: SkinDialog::keyPressEvent(event);
  }
}

void UpgradeDlg::PaintBody(QPainter& p) {
  PaintLabel(p, QRectF(kMargin, kFieldTop - 22, 300, 18), Bi("固件文件", "Firmware file"));
  p.save();
  p.setFont(skin::FaceFont(12, false));
  p.setPen(skin::kTextDim.lighter(125));
  p.drawText(QRectF(kMargin, kFieldTop + kFieldHeight + 4, width() - 2 * kMargin, 18), Qt::AlignLeft | Qt::AlignVCenter,
             Text("DSP 固件 (*.mva) 或手控器固件 (*.contr)", "DSP image (*.mva) or hand controller image (*.contr)"));
  p.restore();
  PaintLabel(p, QRectF(kMargin, kProgressTop - 22, 300, 18), Bi("进度", "Progress"));
  PaintSeparator(p, kSeparatorY);
  p.save();
  p.setFont(skin::FaceFont(12, false));
  p.setPen(transfer_.Updating() ? QColor(240, 180, 70) : skin::kTextDim.lighter(125));
  p.drawText(QRectF(kMargin, kFooterTop, width() - 3 * kMargin - kStartWidth, kStartHeight),
             Qt::AlignLeft | Qt::AlignVCenter,
             Text("更新完成前请勿断开设备或关闭窗口", "Keep the processor connected until the update ends"));
  p.restore();
}

}  // namespace zelto
