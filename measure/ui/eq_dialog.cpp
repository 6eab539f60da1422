#include "measure/ui/eq_dialog.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "controls/bit_button.h"
#include "controls/com_box_btn.h"
#include "controls/num_edit.h"
#include "measure/measurement.h"
#include "measure/ui/measure_ui_texts.h"
#include "measure/ui/measurement_tools.h"

namespace zelto {

namespace {

using measure_ui::Word;

// Low enough to sit below the response graph inside the window, so the proposal stays in view.
constexpr QSize kDialogSize{640, 420};
constexpr int kLabelWidth = 120;
constexpr int kFieldX = SkinDialog::kMargin + kLabelWidth + 8;
constexpr int kRowHeight = 28;
constexpr int kMeasurementRow = 54;
constexpr int kTargetRow = 92;
constexpr int kRangeRow = 130;
constexpr int kBoostRow = 168;
constexpr int kSeparatorY = 212;
constexpr int kResultTop = 222;
constexpr int kResultLineHeight = 18;
constexpr int kCutLabelX = 330;
constexpr int kButtonTop = 376;
constexpr int kButtonWidth = 104;
constexpr int kButtonHeight = 32;
constexpr int kBoxWidth = 78;
constexpr int kSpinWidth = 14;
constexpr int kLoadWidth = 96;
constexpr int kTargetListWidth = 140;
constexpr int kBodyTextPixels = 13;
constexpr double kBoostStepDb = 0.1;

const QColor kValueText{226, 231, 238};
const QColor kResultText{200, 206, 214};
const QColor kWarningText{255, 196, 90};
const QColor kHintText{120, 128, 140};

using measure_ui::Bi;

QString Db(double v) { return QString::number(v, 'f', 2); }

}  // namespace

EqFromMeasurementDlg::EqFromMeasurementDlg(MeasurementTools& tools, int channel, Language lang, QWidget* parent)
    : SkinDialog(kDialogId, kDialogSize, lang, parent), tools_(tools), channel_(channel) {
  const BiText caption = Bi(Word::DialogCaption);
  const QString ch = QStringLiteral("  —  CH%1").arg(channel + 1);
  SetCaption({caption.zh + ch, caption.en + ch});
  const int right = width() - kMargin;

  load_ = new BitButton(kLoadId, this);
  load_->setObjectName(QString::number(kLoadId));
  load_->SetFaces(Caption(Bi(Word::Load)));
  load_->setGeometry(right - kLoadWidth, kMeasurementRow, kLoadWidth, kRowHeight);
  connect(load_, &SkinButton::clicked, this, [this] { LoadMeasurement(); });

  target_ = new ComBoxBtn(kTargetListId, kTargetListId, this);
  target_->setObjectName(QString::number(kTargetListId));
  target_->SetItems({Bi(Word::TargetFlat), Bi(Word::TargetCar), Bi(Word::TargetFile)});
  target_->setGeometry(kFieldX, kTargetRow, kTargetListWidth, kRowHeight);
  connect(target_, &ComBoxBtn::chosen, this, [this](int, int item) { ChooseTarget(item); });

  const auto makeBox = [this](int boxId, int spinId, int x, int y, NumEdit** box, NumSpin** spin) {
    *box = new NumEdit(boxId, this);
    (*box)->setObjectName(QString::number(boxId));
    *spin = new NumSpin(spinId, this);
    (*spin)->setObjectName(QString::number(spinId));
    (*spin)->SetBuddy(*box);
    (*box)->setGeometry(x, y, kBoxWidth, kRowHeight - 2);
    (*spin)->setGeometry(x + kBoxWidth, y - 1, kSpinWidth, kRowHeight);
  };
  makeBox(kLowBoxId, kLowSpinId, kFieldX, kRangeRow, &lowBox_, &lowSpin_);
  makeBox(kHighBoxId, kHighSpinId, kFieldX + kBoxWidth + kSpinWidth + 26, kRangeRow, &highBox_, &highSpin_);
  for (NumEdit* box : {lowBox_, highBox_}) box->SetMode(nummode::kFrequencyHz);
  lowSpin_->SetRange(kFilterMinHz, kFilterMaxHz);
  highSpin_->SetRange(kFilterMinHz, kFilterMaxHz);
  makeBox(kBoostBoxId, kBoostSpinId, kFieldX, kBoostRow, &boostBox_, &boostSpin_);
  boostBox_->SetMode(nummode::kLinear);
  boostBox_->SetStep(kBoostStepDb);
  boostSpin_->SetRange(0, kBoostSteps);
  makeBox(kCutBoxId, kCutSpinId, kCutLabelX + kLabelWidth - 20, kBoostRow, &cutBox_, &cutSpin_);
  cutBox_->SetMode(nummode::kLinear);
  cutBox_->SetStep(kBoostStepDb);
  cutSpin_->SetRange(0, kBoostSteps);

  const auto rangeEdited = [this](int, int) { SetRange(lowBox_->GetValue(), highBox_->GetValue()); };
  for (NumEdit* box : {lowBox_, highBox_}) connect(box, &NumEdit::edited, this, rangeEdited);
  for (NumSpin* spin : {lowSpin_, highSpin_}) connect(spin, &NumSpin::edited, this, rangeEdited);
  const auto boostEdited = [this](int, int value) { SetMaxBoost(value * kBoostStepDb); };
  connect(boostBox_, &NumEdit::edited, this, boostEdited);
  connect(boostSpin_, &NumSpin::edited, this, boostEdited);
  const auto cutEdited = [this](int, int value) { SetCutLimit(value * kBoostStepDb); };
  connect(cutBox_, &NumEdit::edited, this, cutEdited);
  connect(cutSpin_, &NumSpin::edited, this, cutEdited);

  apply_ = new BitButton(kApplyId, this);
  apply_->setObjectName(QString::number(kApplyId));
  apply_->SetFaces(Caption(Bi(Word::Apply), Tone::Lit));
  apply_->setGeometry(right - 2 * kButtonWidth - 10, kButtonTop, kButtonWidth, kButtonHeight);
  connect(apply_, &SkinButton::clicked, this, [this] { Apply(); });
  cancel_ = new BitButton(kCancelId, this);
  cancel_->setObjectName(QString::number(kCancelId));
  cancel_->SetFaces(Caption(Bi(Word::Cancel)));
  cancel_->setGeometry(right - kButtonWidth, kButtonTop, kButtonWidth, kButtonHeight);
  connect(cancel_, &SkinButton::clicked, this, [this] { reject(); });

  ApplyLanguage(lang);
  for (NumEdit* box : {lowBox_, highBox_, boostBox_, cutBox_}) box->SetLanguage(lang);
  for (NumSpin* spin : {lowSpin_, highSpin_, boostSpin_, cutSpin_}) spin->SetLanguage(lang);
  ShowSettings();
  Compute();
}

EqFromMeasurementDlg::~EqFromMeasurementDlg() = default;

void EqFromMeasurementDlg::done(int result) {
  // The proposal belongs to the open dialog; applied or not, it leaves the graph with it.
  tools_.ShowProposal(channel_, std::nullopt);
  SkinDialog::done(result);
}

// ---- settings -------------------------------------------------------------------------------------------

void EqFromMeasurementDlg::ShowSettings() {
  const measure::AutoEqSettings& s = tools_.Held().SettingsOf(channel_);
  switch (s.target.kind) {
    case measure::TargetChoice::Kind::Flat: target_->SelectItem(kTargetItemFlat); break;
    case measure::TargetChoice::Kind::Car: target_->SelectItem(kTargetItemCar); break;
    case measure::TargetChoice::Kind::File: target_->SelectItem(kTargetItemFile); break;
  }
  lowSpin_->SetPosition(static_cast<int>(std::lround(s.loHz)));
  highSpin_->SetPosition(static_cast<int>(std::lround(s.hiHz)));
  boostSpin_->SetPosition(static_cast<int>(std::lround(s.maxBoostDb / kBoostStepDb)));
  cutSpin_->SetPosition(static_cast<int>(std::lround(s.cutLimitDb / kBoostStepDb)));
  update();
}

void EqFromMeasurementDlg::StoreSettings(const measure::AutoEqSettings& s) {
  tools_.Held().SetSettings(channel_, s);
  ShowSettings();
  Compute();
}

void EqFromMeasurementDlg::ChooseTarget(int item) {
  measure::AutoEqSettings s = tools_.Held().SettingsOf(channel_);
  switch (item) {
    case kTargetItemFlat: s.target = measure::TargetChoice::Flat(); break;
    case kTargetItemCar: s.target = measure::TargetChoice::Car(); break;
    case kTargetItemFile: {
      if (const auto path = tools_.ChooseFile(MeasureFile::Target)) {
        SetTargetFile(*path);
        return;
      }
      // Cancelled: the list goes back to the target in use.
      ShowSettings();
      return;
    }
    default: return;
  }
  StoreSettings(s);
}

void EqFromMeasurementDlg::SetTargetFile(const QString& path) {
  measure::ReadError error;
  const auto m = measure::ReadMeasurementFile(path.toStdString(), &error);
  if (!m) {
    tools_.Inform(Utf8(measure::ReadErrorText(error, QFileInfo(path).fileName().toStdString(), CurrentLanguage())));
    ShowSettings();
    return;
  }
  measure::AutoEqSettings s = tools_.Held().SettingsOf(channel_);
  s.target = measure::TargetChoice::FromFile(path.toStdString(), *m);
  StoreSettings(s);
}

void EqFromMeasurementDlg::SetRange(int loHz, int hiHz) {
  measure::AutoEqSettings s = tools_.Held().SettingsOf(channel_);
  loHz = std::clamp(loHz, kFilterMinHz, kFilterMaxHz);
  hiHz = std::clamp(hiHz, kFilterMinHz, kFilterMaxHz);
  // A range must be a range: an edit that would close it is not taken.
  if (loHz >= hiHz) {
    ShowSettings();
    return;
  }
  if (loHz == std::lround(s.loHz) && hiHz == std::lround(s.hiHz)) return;
  s.loHz = loHz;
  s.hiHz = hiHz;
  StoreSettings(s);
}

void EqFromMeasurementDlg::SetMaxBoost(double db) {
  measure::AutoEqSettings s = tools_.Held().SettingsOf(channel_);
  db = std::clamp(db, 0.0, kBoostSteps * kBoostStepDb);
  if (std::abs(db - s.maxBoostDb) < kBoostStepDb / 2) return;
  s.maxBoostDb = db;
  StoreSettings(s);
}

void EqFromMeasurementDlg::SetCutLimit(double db) {
  measure::AutoEqSettings s = tools_.Held().SettingsOf(channel_);
  db = std::clamp(db, 0.0, kBoostSteps * kBoostStepDb);
  if (std::abs(db - s.cutLimitDb) < kBoostStepDb / 2) return;
  s.cutLimitDb = db;
  StoreSettings(s);
}

void EqFromMeasurementDlg::LoadMeasurement() {
  if (tools_.ChooseMeasurement(channel_)) {
    ShowSettings();
    Compute();
  }
}

// ---- computing and applying -----------------------------------------------------------------------------

void EqFromMeasurementDlg::Compute() {
  result_ = tools_.ComputeAutoEq(channel_);
  const bool fitted = result_ && result_->status == measure::AutoEqResult::Status::Fitted;
  tools_.ShowProposal(channel_, fitted ? std::optional(result_->bands) : std::nullopt);
  apply_->SetDisabled(!fitted);
  update();
}

bool EqFromMeasurementDlg::Apply() {
  if (!result_ || result_->status != measure::AutoEqResult::Status::Fitted) return false;
  if (tools_.ApplyBands(channel_, result_->bands).empty()) return false;
  accept();
  return true;
}

QStringList EqFromMeasurementDlg::ResultLines() const {
  const Language lang = CurrentLanguage();
  const auto T = [lang](Word w) { return measure_ui::Text(w, lang); };
  if (!result_) return {T(Word::NoMeasurement)};
  const measure::AutoEqResult& r = *result_;
  const measure::AutoEqSettings& s = tools_.Held().SettingsOf(channel_);
  const auto hz = [](double v) { return measure_ui::HzText(v); };
  const auto stretches = [&](const std::vector<measure::HzRange>& list) {
    QStringList where;
    for (const auto& h : list) where << (h.loHz == h.hiHz ? hz(h.loHz) : hz(h.loHz) + QStringLiteral("–") + hz(h.hiHz));
    return where.join(QStringLiteral(", "));
  };
  if (r.status == measure::AutoEqResult::Status::NoOverlap)
    return {T(Word::NoOverlap).arg(hz(r.range.loHz), hz(r.range.hiHz))};
  QStringList lines;
  lines << (r.rangeNarrowed ? T(Word::RangeNarrowed) : T(Word::RangeUsed)).arg(hz(r.range.loHz), hz(r.range.hiHz));
  lines << T(Word::Deviation).arg(Db(r.before.rms), Db(r.after.rms));
  if (r.status == measure::AutoEqResult::Status::Unchanged)
    lines << T(Word::Unchanged);
  else
    lines << T(Word::BandsUsed).arg(r.bandsUsed).arg(r.bands.size()).arg(QString::number(s.flatnessDb, 'f', 1));
  if (r.lowCutHz > r.range.loHz + 0.5) lines << T(Word::LowCut).arg(hz(r.lowCutHz));
  const QString boost = QString::number(s.maxBoostDb, 'f', 1);
  lines << (r.boostLimited.empty() ? T(Word::BoostFree).arg(boost)
                                   : T(Word::BoostBinds).arg(boost, stretches(r.boostLimited)));
  if (!r.cutLimited.empty())
    lines << T(Word::CutBinds).arg(QString::number(s.cutLimitDb, 'f', 1), stretches(r.cutLimited));
  if (!r.dipsLeft.empty()) {
    QStringList dips;
    for (const auto& d : r.dipsLeft)
      dips << QStringLiteral("%1 (−%2 dB)").arg(hz(d.hz), QString::number(d.depthDb, 'f', 1));
    lines << T(Word::DipsLeft).arg(dips.join(QStringLiteral(", ")));
  }
  return lines;
}

// ---- drawing and keys -------------------------------------------------------------------------------------

QString EqFromMeasurementDlg::ElidedName(const std::string& path, int width) const {
  const QString name = QFileInfo(Utf8(path)).fileName();
  return QFontMetrics(skin::FaceFont(kBodyTextPixels, false)).elidedText(name, Qt::ElideMiddle, width);
}

void EqFromMeasurementDlg::PaintBody(QPainter& p) {
  const Language lang = CurrentLanguage();
  const int right = width() - kMargin;
  const auto label = [&](int y, Word w) { PaintLabel(p, QRectF(kMargin, y, kLabelWidth, kRowHeight), Bi(w)); };
  label(kMeasurementRow, Word::Measurement);
  label(kTargetRow, Word::Target);
  label(kRangeRow, Word::Range);
  label(kBoostRow, Word::MaxBoost);
  PaintLabel(p, QRectF(kCutLabelX, kBoostRow, kLabelWidth - 28, kRowHeight), Bi(Word::CutLimit));

  p.setFont(skin::FaceFont(kBodyTextPixels, false));
  p.setPen(kValueText);
  const std::string& measured = tools_.Held().PathOf(channel_);
  const int nameWidth = right - kLoadWidth - 10 - kFieldX;
  p.drawText(QRect(kFieldX, kMeasurementRow, nameWidth, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
             measured.empty() ? measure_ui::Text(Word::NoMeasurement, lang) : ElidedName(measured, nameWidth));
  const measure::AutoEqSettings& s = tools_.Held().SettingsOf(channel_);
  if (s.target.kind == measure::TargetChoice::Kind::File) {
    const int x = kFieldX + kTargetListWidth + 12;
    p.drawText(QRect(x, kTargetRow, right - x, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
               ElidedName(s.target.path, right - x));
  }
  const int dashX = kFieldX + kBoxWidth + kSpinWidth;
  p.drawText(QRect(dashX, kRangeRow, 26, kRowHeight - 2), Qt::AlignCenter, QStringLiteral("–"));
  p.drawText(QRect(kFieldX + kBoxWidth + kSpinWidth + 6, kBoostRow, 40, kRowHeight - 2),
             Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("dB"));
  p.drawText(QRect(kCutLabelX + kLabelWidth - 20 + kBoxWidth + kSpinWidth + 6, kBoostRow, 40, kRowHeight - 2),
             Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("dB"));

  PaintSeparator(p, kSeparatorY);
  int y = kResultTop;
  const QStringList lines = ResultLines();
  // What the user should look at twice (a limit that binds, a dip left alone) stands out.
  const int plainLines = result_ && result_->status != measure::AutoEqResult::Status::NoOverlap ? 3 : 1;
  const int lowCutLine = result_ && result_->lowCutHz > result_->range.loHz + 0.5 ? 1 : 0;
  const bool boostBinds = result_ && !result_->boostLimited.empty();
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const bool boostLine = i == plainLines + lowCutLine;
    const bool warn = i >= plainLines + lowCutLine && (!boostLine || boostBinds);
    p.setPen(warn ? kWarningText : kResultText);
    const QRect area(kMargin, y, right - kMargin, 2 * kResultLineHeight);
    const QRect used = p.boundingRect(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, lines[i]);
    p.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, lines[i]);
    y += std::max(kResultLineHeight, used.height() + 3);
  }
  p.setFont(skin::FaceFont(kBodyTextPixels - 1, false));
  p.setPen(kHintText);
  p.drawText(QRect(kMargin, kButtonTop, right - 2 * kButtonWidth - 20 - kMargin, kButtonHeight),
             Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, measure_ui::Text(Word::PreviewHint, lang));
}

void EqFromMeasurementDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // Enter commits the box being typed in; the dialog stays open for a look at the result.
    setFocus(Qt::OtherFocusReason);
    event->accept();
    return;
  }
  SkinDialog::keyPressEvent(event);
}

}  // namespace zelto
