// zelto: the editor of the eight-output car-audio processor.
#include <QApplication>
#include <cstdio>

#include "app/app_options.h"
#include "app/zelto_app.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Zelto"));
  QApplication::setApplicationName(QStringLiteral("zelto"));

  const zelto::AppOptions options = zelto::ParseAppOptions(QApplication::arguments().mid(1));
  if (!options.error.isEmpty()) {
    std::fprintf(stderr, "zelto: %s\n%s", qPrintable(options.error), qPrintable(zelto::UsageText()));
    return 2;
  }
  if (options.help) {
    std::fputs(qPrintable(zelto::UsageText()), stdout);
    return 0;
  }
  zelto::CZeltoApp zelto(options);
  QString error;
  if (!zelto.InitInstance(&error)) {
    std::fprintf(stderr, "zelto: %s\n", qPrintable(error));
    return 1;
  }
  return zelto.Run();
}
