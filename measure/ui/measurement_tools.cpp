#include "measure/ui/measurement_tools.h"

#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>
#include <algorithm>

#include "core/channel_label.h"
#include "controls/skin.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "measure/eq_actions.h"
#include "measure/measurement.h"
#include "measure/measurements_bytes.h"
#include "measure/rew_filters.h"
#include "measure/ui/eq_dialog.h"
#include "measure/ui/measure_ui_texts.h"
#include "model/ktv_data.h"
#include "core/file_io.h"

namespace zelto {

namespace {

using measure::ShownCurve;
using measure_ui::Word;

// How the curves are drawn, each in a colour and a line of its own: the measurement as a broad
// amber dotted line under the others, so that where the prediction runs on it (before any change)
// both stay visible; the prediction thin and white on top; the target dashed; a proposal not yet
// applied dash-dotted in magenta.
struct CurveLook {
  ShownCurve curve;
  Word name;
  QColor colour;
  Qt::PenStyle style;
  qreal width;
};
constexpr int kLookCount = 4;
const std::array<CurveLook, kLookCount> kLooks = {{
    {ShownCurve::Measured, Word::CurveMeasured, QColor(255, 170, 50), Qt::DotLine, 2.6},
    {ShownCurve::Predicted, Word::CurvePredicted, QColor(245, 245, 245), Qt::SolidLine, 1.3},
    {ShownCurve::Target, Word::CurveTarget, QColor(80, 200, 255), Qt::DashLine, 1.2},
    {ShownCurve::Proposed, Word::CurveProposed, QColor(255, 90, 210), Qt::DashDotLine, 1.8},
}};

QString ChannelName(int ch) { return QString::fromStdString(ChannelLabel(ch)); }

QString Utf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString FileNameOf(const QString& path) { return QFileInfo(path).fileName(); }

}  // namespace

MeasurementTools::MeasurementTools(Editor& editor, measure::ChannelMeasurements& held, CFStatic& graph, QWidget* window)
    : QObject(window), editor_(editor), engine_(editor.engine()), graph_(&graph), window_(window), held_(held) {
  graph_->SetOverlaySource([this] { return OverlayCurves(); });
  connect(graph_, &CFStatic::overlayToggled, this, [this](int key) { ToggleCurve(static_cast<ShownCurve>(key)); });
}

MeasurementTools::~MeasurementTools() {
  if (graph_) graph_->SetOverlaySource({});
}

std::optional<int> MeasurementTools::ShownChannel() const {
  if (!graph_ || graph_->mode() != CFStatic::Mode::Output) return std::nullopt;
  const int ch = graph_->channelIndex();
  if (ch < 0 || ch >= kOutputChannels) return std::nullopt;
  return ch;
}

Language MeasurementTools::CurrentLanguage() const { return engine_.language; }

void MeasurementTools::Redraw() {
  if (graph_) graph_->update();
}

std::vector<std::uint8_t> MeasurementTools::SaveRecoveryPart() {
  if (savedRevision_ != held_.Revision()) {
    savedBytes_ = measure::MeasurementsBytes(held_);
    savedRevision_ = held_.Revision();
  }
  return savedBytes_;
}

bool MeasurementTools::RestoreRecoveryPart(std::span<const std::uint8_t> blob) {
  std::optional<measure::ChannelMeasurements> restored = measure::MeasurementsFromBytes(blob);
  held_ = restored ? std::move(*restored) : measure::ChannelMeasurements{};
  savedRevision_.reset();
  Redraw();
  return restored || blob.empty();
}

void MeasurementTools::Inform(const QString& text) {
  if (hooks_.inform) {
    hooks_.inform(text);
    return;
  }
  QMessageBox::information(window_, window_ ? window_->windowTitle() : QString(), text);
}

std::optional<QString> MeasurementTools::ChooseFile(MeasureFile kind) {
  const Language lang = CurrentLanguage();
  const bool filters = kind == MeasureFile::FiltersIn || kind == MeasureFile::FiltersOut;
  const QString filter = measure_ui::Text(filters ? Word::FilterFiles : Word::MeasurementFiles, lang) +
                         QStringLiteral(";;") + measure_ui::Text(Word::AllFiles, lang);
  if (hooks_.chooseFile) return hooks_.chooseFile(kind, filter);
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  QString title;
  switch (kind) {
    case MeasureFile::Measurement: title = measure_ui::Text(Word::LoadMeasurement, lang); break;
    case MeasureFile::Target: title = measure_ui::Text(Word::Target, lang); break;
    case MeasureFile::FiltersIn: title = measure_ui::Text(Word::ImportRewFilters, lang); break;
    case MeasureFile::FiltersOut: title = measure_ui::Text(Word::ExportRewFilters, lang); break;
  }
  const QString path = kind == MeasureFile::FiltersOut ? QFileDialog::getSaveFileName(window_, title, folder, filter)
                                                       : QFileDialog::getOpenFileName(window_, title, folder, filter);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

bool MeasurementTools::RefuseGraphicMode(int channel) {
  const bool fixed = editor_.BandsFixed(channel);
  if (fixed) Inform(measure_ui::Text(Word::GraphicMode, CurrentLanguage()).arg(ChannelName(channel)));
  return fixed;
}

// ---- measurements ---------------------------------------------------------------------------------------

bool MeasurementTools::LoadMeasurement(int channel, const QString& path) {
  if (channel < 0 || channel >= kOutputChannels) return false;
  measure::ReadError error;
  measure::ReadNotes notes;
  auto m = measure::ReadMeasurementFile(path.toStdString(), &error, &notes);
  const std::string name = FileNameOf(path).toStdString();
  if (!m) {
    Inform(Utf8(measure::ReadErrorText(error, name, CurrentLanguage())));
    return false;
  }
  // The channel's settings now are taken to be the ones it was measured with.
  const auto kept = measure::ResponseForMeasurement(engine_.Data(), channel);
  measure::HzRange pass;
  engine_.Data().Edit([&](CKTV_Data& d) { pass = measure::PassBandOf(d.Output(channel).Eq()); });
  held_.Set(channel, std::move(*m), kept, path.toStdString(), pass.loHz, pass.hiHz);
  Redraw();
  if (const auto note = measure::ReadNotesText(notes, name, CurrentLanguage()); !note.empty()) Inform(Utf8(note));
  return true;
}

bool MeasurementTools::ChooseMeasurement(int channel) {
  const auto path = ChooseFile(MeasureFile::Measurement);
  return path && LoadMeasurement(channel, *path);
}

void MeasurementTools::RemoveMeasurement(int channel) {
  held_.Clear(channel);
  Redraw();
}

void MeasurementTools::ToggleCurve(ShownCurve curve) {
  held_.SetShown(curve, !held_.Shown(curve));
  Redraw();
}

void MeasurementTools::SetSmoothing(int fraction) {
  held_.SetSmoothing(fraction);
  Redraw();
}

std::vector<GraphOverlayCurve> MeasurementTools::OverlayCurves() const {
  const auto ch = ShownChannel();
  const CKTVEQ* eq = ch ? graph_->currentEq() : nullptr;
  if (!ch || eq == nullptr || !held_.Has(*ch)) return {};
  // The graph draws on the window thread, where the filters are changed; the worker only packs.
  const auto curves = held_.CurvesOf(*ch, measure::ChannelResponseOf(*eq), measure::CrossoverResponseOf(*eq));
  if (!curves) return {};
  std::vector<GraphOverlayCurve> out;
  const Language lang = CurrentLanguage();
  for (const CurveLook& look : kLooks) {
    const measure::GridCurve* c = nullptr;
    switch (look.curve) {
      case ShownCurve::Measured: c = &curves->measured; break;
      case ShownCurve::Target: c = &curves->target; break;
      case ShownCurve::Predicted: c = &curves->predicted; break;
      case ShownCurve::Proposed: c = curves->proposed ? &*curves->proposed : nullptr; break;
    }
    if (c == nullptr) continue;
    GraphOverlayCurve g;
    g.key = static_cast<int>(look.curve);
    g.name = measure_ui::Text(look.name, lang);
    g.colour = look.colour;
    g.style = look.style;
    g.width = look.width;
    g.shown = held_.Shown(look.curve);
    g.db = c->db;
    g.has = c->has;
    out.push_back(std::move(g));
  }
  return out;
}

// ---- the menu -------------------------------------------------------------------------------------------

void MeasurementTools::ShowMenu(const QPoint& globalPos) {
  QMenu menu(window_);
  menu.setStyleSheet(SkinMenuStyle());
  menu.setFont(skin::FaceFont(13, false));
  FillMenu(menu);
  menu.exec(globalPos);
}

void MeasurementTools::FillMenu(QMenu& menu) {
  const Language lang = CurrentLanguage();
  const auto T = [lang](Word w) { return measure_ui::Text(w, lang); };
  const auto ch = ShownChannel();
  if (!ch) return;
  const int channel = *ch;
  const bool has = held_.Has(channel);

  menu.addAction(T(Word::LoadMeasurement), this, [this, channel] { ChooseMeasurement(channel); });
  QAction* eq = menu.addAction(T(Word::EqFromMeasurement), this, [this, channel] { OpenEqDialog(channel); });
  eq->setEnabled(has);
  QAction* remove = menu.addAction(T(Word::RemoveMeasurement), this, [this, channel] { RemoveMeasurement(channel); });
  remove->setEnabled(has);
  menu.addSeparator();
  for (const CurveLook& look : kLooks) {
    QAction* a = menu.addAction(T(look.name), this, [this, curve = look.curve] { ToggleCurve(curve); });
    a->setCheckable(true);
    a->setChecked(held_.Shown(look.curve));
    a->setEnabled(has);
    a->setData(static_cast<int>(look.curve));
  }
  QMenu* smoothing = menu.addMenu(T(Word::Smoothing));
  smoothing->setStyleSheet(menu.styleSheet());
  smoothing->setFont(menu.font());
  smoothing->setEnabled(has);
  auto* group = new QActionGroup(smoothing);
  for (int fraction : measure::kDisplaySmoothings) {
    const QString text = fraction == 0   ? T(Word::NoSmoothing)
                         : fraction == 1 ? T(Word::WholeOctave)
                                         : T(Word::OctaveFraction).arg(fraction);
    QAction* a = smoothing->addAction(text, this, [this, fraction] { SetSmoothing(fraction); });
    a->setCheckable(true);
    a->setChecked(held_.Smoothing() == fraction);
    a->setActionGroup(group);
  }
}

// ---- EQ from measurement --------------------------------------------------------------------------------

EqFromMeasurementDlg* MeasurementTools::OpenEqDialog(int channel) {
  if (eqDialog_) {
    eqDialog_->raise();
    return eqDialog_;
  }
  if (channel < 0 || channel >= kOutputChannels || RefuseGraphicMode(channel)) return nullptr;
  if (!held_.Has(channel) && !ChooseMeasurement(channel)) return nullptr;
  auto* dialog = new EqFromMeasurementDlg(*this, channel, CurrentLanguage(), window_);
  // However it ends, the dialog goes; the next opening starts from the settings held.
  connect(dialog, &QDialog::finished, this, [this, dialog] {
    if (eqDialog_ == dialog) eqDialog_ = nullptr;
    dialog->deleteLater();
  });
  eqDialog_ = dialog;
  PlaceClearOfGraph(*dialog);
  dialog->open();
  return dialog;
}

void MeasurementTools::PlaceClearOfGraph(QWidget& dialog) const {
  if (!graph_ || !window_) return;
  const QRect graph(graph_->mapToGlobal(QPoint(0, 0)), graph_->size());
  const QRect window = window_->frameGeometry();
  const QSize size = dialog.size();
  constexpr int kGap = 6;
  // Below the graph inside the window where it fits, else above it, else beside it: never over it.
  const int x = std::clamp(graph.center().x() - size.width() / 2, window.left(),
                           std::max(window.left(), window.right() - size.width()));
  QPoint at(x, graph.bottom() + kGap);
  if (at.y() + size.height() > window.bottom() && graph.top() - kGap - size.height() >= window.top())
    at.setY(graph.top() - kGap - size.height());
  else if (at.y() + size.height() > window.bottom() && window.right() - graph.right() >= size.width())
    at = QPoint(graph.right() + kGap, graph.top());
  dialog.move(at);
}

EqFromMeasurementDlg* MeasurementTools::EqDialog() const { return eqDialog_.data(); }

std::optional<measure::AutoEqResult> MeasurementTools::ComputeAutoEq(int channel) {
  const measure::ChannelMeasurement* m = held_.Of(channel);
  if (m == nullptr) return std::nullopt;
  return measure::ProposeEq(engine_.Data(), channel, *m, held_.SettingsOf(channel).Options());
}

void MeasurementTools::ShowProposal(int channel, const std::optional<std::vector<measure::BandSetting>>& bands) {
  if (!bands) {
    held_.ClearProposal();
  } else {
    std::array<double, kGridPoints> crossovers{};
    engine_.Data().Edit([&](CKTV_Data& d) { crossovers = measure::CrossoverResponseOf(d.Output(channel).Eq()); });
    held_.SetProposal(channel, *bands, crossovers);
  }
  Redraw();
}

// ---- REW filters ----------------------------------------------------------------------------------------

bool MeasurementTools::ImportRewFilters(int channel, const QString& path) {
  if (channel < 0 || channel >= kOutputChannels) return false;
  const Language lang = CurrentLanguage();
  const measure::RewImport r = measure::ImportRewFile(editor_, channel, path.toStdString());
  switch (r.status) {
    case measure::RewImport::Status::Imported: break;
    case measure::RewImport::Status::FileRefused:
      Inform(Utf8(measure::RewFilterErrorText(r.error, FileNameOf(path).toStdString(), lang)));
      return false;
    case measure::RewImport::Status::GraphicMode:
      Inform(measure_ui::Text(Word::GraphicMode, lang).arg(ChannelName(channel)));
      return false;
    case measure::RewImport::Status::NoSuchChannel: return false;
  }
  if (hooks_.bandsApplied) hooks_.bandsApplied(r.channels);
  Redraw();
  const measure::Deviation& d = r.result.deviation;
  QString text = measure_ui::Text(Word::Imported, lang)
                     .arg(ChannelName(channel))
                     .arg(r.filterCount)
                     .arg(r.bandsUsed)
                     .arg(QString::number(d.rms, 'f', 2), QString::number(d.max, 'f', 2), measure_ui::HzText(d.maxHz));
  for (const auto& note : r.notes) text += QStringLiteral("\n") + Utf8(measure::RewNoteText(note, lang));
  Report(r.channels, channel, text);
  return true;
}

void MeasurementTools::Report(const std::vector<int>& changed, int channel, QString text) {
  QStringList others;
  for (int ch : changed)
    if (ch != channel) others << ChannelName(ch);
  if (!others.isEmpty())
    text += QStringLiteral("\n") +
            measure_ui::Text(Word::AlsoLinked, CurrentLanguage()).arg(others.join(QStringLiteral(", ")));
  Inform(text);
}

bool MeasurementTools::ExportRewFilters(int channel, const QString& path) {
  if (channel < 0 || channel >= kOutputChannels) return false;
  std::vector<measure::BandSetting> bands;
  engine_.Data().Edit([&](CKTV_Data& d) { bands = measure::BandsOf(d.Output(channel).Eq()); });
  const std::string text =
      measure::RewFilterText(measure::BandsForExport(bands), "Zelto " + ChannelName(channel).toStdString());
  const Language lang = CurrentLanguage();
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  if (!WriteFileReplacing(path.toStdString(), bytes)) {
    Inform(measure_ui::Text(Word::WriteFailed, lang).arg(QDir::toNativeSeparators(path)));
    return false;
  }
  Inform(measure_ui::Text(Word::Written, lang).arg(QDir::toNativeSeparators(path)));
  return true;
}

bool MeasurementTools::ChooseAndImport() {
  const auto ch = ShownChannel();
  if (!ch) {
    // An input has no bands to take the filters; say so rather than do nothing.
    Inform(measure_ui::Text(Word::InputShown, CurrentLanguage()));
    return false;
  }
  const auto path = ChooseFile(MeasureFile::FiltersIn);
  return path && ImportRewFilters(*ch, *path);
}

bool MeasurementTools::ChooseAndExport() {
  const auto ch = ShownChannel();
  if (!ch) {
    Inform(measure_ui::Text(Word::InputShown, CurrentLanguage()));
    return false;
  }
  auto path = ChooseFile(MeasureFile::FiltersOut);
  if (!path) return false;
  if (QFileInfo(*path).suffix().isEmpty()) *path += QStringLiteral(".txt");
  return ExportRewFilters(*ch, *path);
}

// ---- the one way bands change -----------------------------------------------------------------------------

std::vector<int> MeasurementTools::ApplyBands(int channel, const std::vector<measure::BandSetting>& bands) {
  const Editor::BandSetResult r = measure::ApplyBands(editor_, channel, bands);
  if (r.status == Editor::BandSetResult::Status::GraphicMode) {
    Inform(measure_ui::Text(Word::GraphicMode, CurrentLanguage()).arg(ChannelName(channel)));
    return {};
  }
  if (hooks_.bandsApplied) hooks_.bandsApplied(r.channels);
  Redraw();
  return r.channels;
}

}  // namespace zelto
