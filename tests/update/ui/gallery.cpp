// The firmware update dialog in both languages, rendered to PNGs for review:
// update_ui_gallery DIR. Besides the idle dialog it shows a real update to the simulated
// processor caught halfway, and the dialog after the processor confirmed the image.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QWidget>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <vector>

#include "tests/presets/ui/dialog_fixture.h"
#include "update/ui/upgrade_dialog.h"

using namespace zelto;
using namespace std::chrono_literals;

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

std::string WriteImage(const QString& dir, std::size_t size) {
  std::vector<char> bytes(size);
  std::iota(bytes.begin(), bytes.end(), 0);
  const std::string path = QDir(dir).filePath(QStringLiteral("dsp-v3.1.mva")).toStdString();
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gallery");
  QDir().mkpath(dir);
  const std::string image = WriteImage(dir, 296 * 40 + 100);

  bool ok = true;
  for (Language lang : {Language::English, Language::Chinese}) {
    const QString tag = QString::fromLatin1(lang == Language::Chinese ? "zh" : "en");
    zelto::testing::SimDialogFixture sim;
    sim.engine().language = lang;
    sim.processor().SetRestartTime(50ms);
    UpdateTransfer& transfer = sim.runtime().update();
    transfer.timing.loaderRestart = 200ms;
    transfer.timing.readWait = 5ms;
    UpgradeDlg dialog(transfer, lang, {.inform = [](const QString&) {}, .chooseFile = {}});
    dialog.PathField()->setText(QString::fromStdString(image));
    ok &= Save(dialog, dir, QStringLiteral("update-idle-%1.png").arg(tag));

    sim.handler = [&](Notice n, std::intptr_t w, std::intptr_t l) { dialog.HandleNotice(n, w, l); };
    if (dialog.Start() != UpdateTransfer::StartOutcome::Started) return 1;
    sim.Pump([&] { return transfer.ProgressPosition() >= 20; });
    ok &= Save(dialog, dir, QStringLiteral("update-running-%1.png").arg(tag));
    sim.Pump([&] { return !transfer.Updating(); });
    ok &= Save(dialog, dir, QStringLiteral("update-done-%1.png").arg(tag));
  }
  return ok ? 0 : 1;
}
