// The editor's pages and dialogs in both languages, rendered to PNGs for review: app_gallery DIR.
// The window runs against a simulated processor in the process, with a few bands, a crossover and
// mix shares set so that every control shows something.
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QTabWidget>
#include <cstdio>

#include "app/history_panel.h"
#include "app/about_dialog.h"
#include "app/connect_choice_dialog.h"
#include "app/link_dialog.h"
#include "app/mix_page.h"
#include "app/recovery_question.h"
#include "app/source_volume_dialog.h"
#include "app/view_ids.h"
#include "measure/ui/eq_dialog.h"
#include "measure/ui/measurement_tools.h"
#include "controls/skin.h"
#include "controls/skin_dialog.h"
#include "link/refused_open_text.h"
#include "tests/app/app_harness.h"

#include <cmath>
#include <fstream>

using namespace zelto;

namespace {

bool Save(QWidget& w, const QString& dir, const QString& name) {
  w.ensurePolished();
  const QString file = QDir(dir).filePath(name);
  if (!w.grab().save(file)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

void ShapeChannel(CKTV_Data& d) {
  CKTV_OutData& c = d.Output(0);
  const std::array<std::pair<int, int>, 6> gains = {{{2, 260}, {5, 235}, {9, 160}, {14, 185}, {21, 245}, {27, 150}}};
  for (auto [band, code] : gains) c.Eq().Filter(band).SetGainCode(code);
  c.Eq().Filter(9).SetBandwidthIndex(60);
  c.Eq().HighPass().SetFrequency(80, false);
  c.Eq().LowPass().SetFrequency(12500, false);
  c.Eq().Filter(14).SetFlat(true);
  for (int r = 0; r < 8; ++r) {
    d.Output(r).SetInputShare(r % 6, 100);
    d.Output(r).SetInputShare((r + 3) % 12, 35);
  }
}

/// A car's door woofer as a measurement program would export it: cabin gain below 60 Hz, a few
/// resonances and dips, and some fine ripple.
QString WriteMeasurement(const QString& dir) {
  const QString path = QDir(dir).filePath(QStringLiteral("measurement.txt"));
  std::ofstream out(path.toStdString());
  out << "* Measurement data measured by REW\n* Freq(Hz) SPL(dB) Phase(degrees)\n";
  for (double hz = 15; hz <= 22000; hz *= std::pow(2.0, 1.0 / 48)) {
    const double octave = std::log2(hz / 1000);
    double db = 82 + 8 / (1 + std::pow(hz / 55, 2)) - 1.5 * octave / 4.3;
    db +=
        6 * std::exp(-std::pow(std::log2(hz / 140) / 0.15, 2)) - 7 * std::exp(-std::pow(std::log2(hz / 320) / 0.2, 2));
    db += 4 * std::exp(-std::pow(std::log2(hz / 2500) / 0.3, 2)) -
          5 * std::exp(-std::pow(std::log2(hz / 6000) / 0.15, 2));
    db += 0.8 * std::sin(hz / 37.0) * std::min(1.0, hz / 500);
    out << hz << ' ' << db << " 0\n";
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gallery");
  QDir().mkpath(dir);

  bool ok = true;
  for (Language lang : {Language::English, Language::Chinese}) {
    const QString tag = lang == Language::Chinese ? QStringLiteral("zh") : QStringLiteral("en");
    testing::StartedEditor editor(lang, true);
    CZeltoView* view = editor.view();
    if (!editor.started || !testing::WaitUntil([&] { return view->Settled(); }, testing::kConnectTimeout)) {
      std::fprintf(stderr, "the editor did not settle\n");
      return 1;
    }
    view->engine().Data().Edit([](CKTV_Data& d) { ShapeChannel(d); });
    view->RefreshAll();
    view->Page()->SetHighlightedBand(5);
    view->Page()->SetLastEdited(view->Page()->GainBox(5));
    ok &= Save(*view, dir, QStringLiteral("window-eq-%1.png").arg(tag));
    ok &= Save(*view->Page(), dir, QStringLiteral("page-eq-%1.png").arg(tag));

    auto* tabs = view->Control<QTabWidget>(view_id::kPageArea);
    tabs->setCurrentIndex(1);
    ok &= Save(*view, dir, QStringLiteral("window-output-%1.png").arg(tag));
    tabs->setCurrentIndex(0);

    view->OpenMixer();
    ok &= Save(*view->Mixer(), dir, QStringLiteral("mixer-%1.png").arg(tag));
    view->Mixer()->close();

    CH_Link_Dlg link(lang);
    ok &= Save(link, dir, QStringLiteral("link-%1.png").arg(tag));
    link.SetChoice(1);
    ok &= Save(link, dir, QStringLiteral("link-right-%1.png").arg(tag));

    SvolumeDLG volumes(lang, view->engine().Image(), [](int, int) { return false; });
    ok &= Save(volumes, dir, QStringLiteral("source-volume-%1.png").arg(tag));

    ConnectChoiceDlg choice(lang, {0, 2});
    ok &= Save(choice, dir, QStringLiteral("connect-choice-%1.png").arg(tag));

    AboutSoftDlg about(lang);
    ok &= Save(about, dir, QStringLiteral("about-%1.png").arg(tag));

    // The offer of a crashed editor's work, and the word that a lost processor stays away.
    RecoveryData left;
    left.savedAt = 1773500966;
    left.processor = "KVN-734-31EQ-V3.0";
    QMessageBox offer(QMessageBox::Question, QString::fromUtf8(kModelIdentity),
                      RecoveryQuestion(left, "recovery-1.zrec", {0, 3}, lang), QMessageBox::Yes | QMessageBox::No);
    ok &= Save(offer, dir, QStringLiteral("recovery-offer-%1.png").arg(tag));
    QMessageBox off(QMessageBox::Information, QString::fromUtf8(kModelIdentity),
                    CrashProtectionOff(lang, "~/.local/state/Zelto/zelto: Read-only file system"), QMessageBox::Ok);
    ok &= Save(off, dir, QStringLiteral("crash-protection-off-%1.png").arg(tag));
    QMessageBox lost(QMessageBox::Information, QString::fromUtf8(kModelIdentity),
                     Utf8(UserMessageText(UserMessage::UnableToConnect, lang)) + QStringLiteral("\n\n") +
                         QString::fromStdString(ConnectFailureText(ConnectFailure::Removed, {}, {}, lang)),
                     QMessageBox::Ok);
    ok &= Save(lost, dir, QStringLiteral("link-lost-%1.png").arg(tag));

    // A measurement on CH1 with its target and prediction, then the EQ from measurement dialog
    // with its proposal on the graph.
    MeasurementTools* tools = view->Measurements();
    view->SelectChannel(0);
    ok &= tools->LoadMeasurement(0, WriteMeasurement(dir));
    ok &= Save(*view, dir, QStringLiteral("window-measurement-%1.png").arg(tag));
    QMenu menu;
    menu.setStyleSheet(SkinMenuStyle());
    menu.setFont(skin::FaceFont(13, false));
    tools->FillMenu(menu);
    menu.adjustSize();
    ok &= Save(menu, dir, QStringLiteral("measurement-menu-%1.png").arg(tag));
    if (EqFromMeasurementDlg* eq = tools->OpenEqDialog(0)) {
      ok &= Save(*view, dir, QStringLiteral("window-proposal-%1.png").arg(tag));
      // The graph twice as large, to read the legend and the curves.
      const QPixmap graph = view->Graph()->grab();
      ok &= graph.scaled(graph.size() * 2).save(QDir(dir).filePath(QStringLiteral("graph-proposal-%1.png").arg(tag)));
      ok &= Save(*eq, dir, QStringLiteral("eq-from-measurement-%1.png").arg(tag));
      eq->SetMaxBoost(2.0);
      ok &= Save(*eq, dir, QStringLiteral("eq-from-measurement-limited-%1.png").arg(tag));
      eq->reject();
    } else {
      ok = false;
    }

    // The settings menu after one edit: undo names it, redo has nothing.
    view->editor().EditBand(0, 12, Editor::BandChange::Gain(250));
    QMenu settingsMenu(view);
    view->FillMenu(settingsMenu, view->SettingsMenuItems());
    settingsMenu.adjustSize();
    ok &= Save(settingsMenu, dir, QStringLiteral("settings-menu-%1.png").arg(tag));

    // The history panel after a few edits, and the differences of the sides after one on B.
    view->editor().SetGain(2, 48);
    view->editor().SetDelay(1, 96);
    view->OpenHistoryPanel();
    ok &= Save(*view->HistoryView(), dir, QStringLiteral("history-%1.png").arg(tag));
    view->SwitchAb();
    view->editor().SetGain(2, 54);
    view->editor().EditBand(2, 7, Editor::BandChange::Gain(230));
    view->ShowHistoryPanel(HistoryPanel::Page::Differences);
    ok &= Save(*view->HistoryView(), dir, QStringLiteral("ab-differences-%1.png").arg(tag));
  }
  return ok ? 0 : 1;
}
