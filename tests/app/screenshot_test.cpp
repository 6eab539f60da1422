// The real program with --screenshot: it starts, paints, saves and exits by itself.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include "tests/support/child_process.h"

namespace {

struct RunResult {
  int exitCode = -1;
  QString errors;
};

RunResult RunEditor(const QStringList& args, const QTemporaryDir& home) {
  std::vector<std::string> arguments;
  for (const QString& a : args) arguments.push_back(a.toStdString());
  // Settings of the run go to a throw-away place, not to the user's store.
  zelto::testing::ChildProcess p(ZELTO_BINARY, arguments, home.filePath(QStringLiteral("editor")).toStdString(),
                                 zelto::testing::ChildProcess::Input::Nothing,
                                 {{"QT_QPA_PLATFORM", "offscreen"},
                                  {"XDG_CONFIG_HOME", home.path().toStdString()},
                                  {"HOME", home.path().toStdString()},
                                  {"ZELTO_DEVICE", std::nullopt}});
  const std::optional<int> code = p.WaitFor(std::chrono::seconds(60));
  if (!code) return {};
  return {*code, QString::fromLocal8Bit(QByteArray::fromStdString(p.Err()))};
}

// Many colours: the window is painted, not a blank surface.
int DistinctColours(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 7)
    for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
  return static_cast<int>(colours.size());
}

TEST(Screenshot, BothLanguagesAgainstTheSimulatedProcessor) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* lang : {"zh", "en"}) {
    const QString file = dir.filePath(QStringLiteral("zelto-%1.png").arg(QLatin1String(lang)));
    const RunResult run = RunEditor({QStringLiteral("--screenshot"), file, QStringLiteral("--lang"),
                                     QLatin1String(lang), QStringLiteral("--device"), QStringLiteral("sim")},
                                    dir);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    QImage image(file);
    ASSERT_FALSE(image.isNull()) << lang;
    EXPECT_EQ(image.size(), QSize(1280, 700));
    EXPECT_GT(DistinctColours(image), 50) << lang;
  }
}

TEST(Screenshot, WithoutAProcessorAndRefusals) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.filePath(QStringLiteral("usb.png"));
  RunResult run =
      RunEditor({QStringLiteral("--screenshot"), file, QStringLiteral("--device"), QStringLiteral("usb")}, dir);
  EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
  EXPECT_FALSE(QImage(file).isNull());

  // An unwritable target is reported, not pretended.
  run = RunEditor({QStringLiteral("--screenshot"), dir.filePath(QStringLiteral("no/such/dir/x.png")),
                   QStringLiteral("--device"), QStringLiteral("usb")},
                  dir);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.errors.contains(QStringLiteral("cannot write"))) << run.errors.toStdString();

  run = RunEditor({QStringLiteral("--device"), QStringLiteral("carrier-pigeon")}, dir);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.errors.contains(QStringLiteral("carrier-pigeon"))) << run.errors.toStdString();

  run = RunEditor({QStringLiteral("--lang"), QStringLiteral("de")}, dir);
  EXPECT_EQ(run.exitCode, 2);
}

}  // namespace
