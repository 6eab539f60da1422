// The preset dialogs in both languages, rendered to PNGs for review: presets_ui_gallery DIR.
// The load and save dialogs run on a connected simulated processor with a few named slots.
#include <QApplication>
#include <QDir>
#include <QWidget>
#include <cstdio>

#include "presets/preset_files.h"
#include "presets/ui/preset_dialogs.h"
#include "tests/presets/ui/dialog_fixture.h"

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

const char* Tag(Language lang) { return lang == Language::Chinese ? "zh" : "en"; }

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gallery");
  QDir().mkpath(dir);

  zelto::testing::SimDialogFixture sim;
  sim.NameOnProcessor(1, "Daily Drive");
  sim.NameOnProcessor(2, "Bass Boost");
  sim.NameOnProcessor(4, "SQ Competition");
  sim.NameOnProcessor(5, "人声模式");
  zelto::testing::SimDialogFixture offline;
  if (!sim.Connect()) {
    std::fprintf(stderr, "the simulated processor did not connect\n");
    return 1;
  }
  sim.engine().Image().currentPreset[0] = 2;
  PresetFiles& files = sim.runtime().files();
  PresetFiles offlineFiles(offline.engine());

  bool ok = true;
  for (Language lang : {Language::English, Language::Chinese}) {
    const QString tag = QString::fromLatin1(Tag(lang));
    CSourceLoadDlg load(sim.engine(), files, lang);
    ok &= Save(load, dir, QStringLiteral("preset-load-%1.png").arg(tag));
    CSourceSaveDlg save(sim.engine(), files, lang);
    save.ChooseAllSlots(true);
    ok &= Save(save, dir, QStringLiteral("preset-save-%1.png").arg(tag));
    CSourceLoadDlg loadOffline(offline.engine(), offlineFiles, lang);
    ok &= Save(loadOffline, dir, QStringLiteral("preset-load-offline-%1.png").arg(tag));
    CSourceSaveDlg saveOffline(offline.engine(), offlineFiles, lang);
    ok &= Save(saveOffline, dir, QStringLiteral("preset-save-offline-%1.png").arg(tag));
    CPresetNameDlg name(QStringLiteral("Bass Boost"), lang);
    ok &= Save(name, dir, QStringLiteral("preset-name-%1.png").arg(tag));
  }
  return ok ? 0 : 1;
}
