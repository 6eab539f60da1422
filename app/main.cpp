// zelto: the editor of the eight-output car-audio processor.
#include <QApplication>
#include <cstdio>

#include "app/app_options.h"
#include "app/zelto_app.h"
#include "zelto_version.h"

namespace {

int PrintAndExit(const zelto::AppOptions& options) {
  std::fputs(qPrintable(options.version ? zelto::VersionText() : zelto::UsageText()), stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version answer before QApplication exists, which needs a display (help2man and
  // a terminal over ssh have none). Qt's own options (-platform ...) are refused only later,
  // once QApplication has taken them out.
  QStringList raw;
  for (int i = 1; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
  const zelto::AppOptions early = zelto::ParseAppOptions(raw);
  if (early.error.isEmpty() && (early.version || early.help)) return PrintAndExit(early);

  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Zelto"));
  QApplication::setApplicationName(QStringLiteral("zelto"));
  QApplication::setApplicationVersion(QString::fromUtf8(zelto::kZeltoVersion));
  // Lets the desktop match the window to the installed entry and its icon (Wayland's app id).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.zelto.Zelto"));

  const zelto::AppOptions options = zelto::ParseAppOptions(QApplication::arguments().mid(1));
  if (!options.error.isEmpty()) {
    std::fprintf(stderr, "zelto: %s\n%s", qPrintable(options.error), qPrintable(zelto::UsageText()));
    return 2;
  }
  if (options.version || options.help) return PrintAndExit(options);
  zelto::CZeltoApp zelto(options);
  QString error;
  if (!zelto.InitInstance(&error)) {
    std::fprintf(stderr, "zelto: %s\n", qPrintable(error));
    return 1;
  }
  return zelto.Run();
}
