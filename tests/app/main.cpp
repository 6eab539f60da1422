// One QApplication for every test of the editor, on the offscreen platform unless told otherwise.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Every run keeps its recovery file in a folder of its own, so that editors of tests running
  // side by side never offer each other's work. An editor started as a child keeps the folder it
  // was given.
  QTemporaryDir home;
  if (!qEnvironmentVariableIsSet("ZELTO_CRASH_CHILD")) {
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", home.filePath(QStringLiteral("state")).toLocal8Bit());
  }
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Zelto"));
  QApplication::setApplicationName(QStringLiteral("zelto-tests"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
