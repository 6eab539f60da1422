// A/B comparison in the window, and a real editor process killed after its work whose next start
// restores the tuning, the sides, the history and the measurement.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <thread>

#include "app/app_options.h"
#include "app/view_ids.h"
#include "app/zelto_app.h"
#include "controls/num_edit.h"
#include "controls/xp_button.h"
#include "core/bytes.h"
#include "curves/ui/response_graph.h"
#include "edit/history.h"
#include "measure/measurements_bytes.h"
#include "measure/ui/measurement_tools.h"
#include "transports/device_url.h"
#include "sim/sim_process.h"
#include "sim_frames.h"
#include "tests/support/engine_harness.h"

namespace zelto {
namespace {

using testing::ConnectedEditor;
using testing::CountOutputBlocks;
using testing::IsOutputBlock;
using testing::WaitForFrame;
using testing::WaitForQuiet;
using testing::WaitUntil;
using namespace std::chrono_literals;

void Type(NumEdit* box, const QString& text) {
  ASSERT_NE(box, nullptr);
  box->selectAll();
  QTest::keyClicks(box, text);
  box->Commit();
}

using AbWindow = ConnectedEditor;

TEST_F(AbWindow, CtrlBAndTheButtonSwitchAndSendOnlyTheChangedChannel) {
  XPButton* button = view->Control<XPButton>(kAbButton);
  ASSERT_NE(button, nullptr);
  QTest::keyClick(view, Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(view->Ab().Active(), AbSide::B);
  EXPECT_TRUE(button->IsOn());
  // B is a copy of A: nothing went out.
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(CountOutputBlocks(processor()), 0);

  Type(view->Control<NumEdit>(view_id::kFirstStripGainBox + 3), QStringLiteral("-17"));
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  processor().ClearFrameLog();

  QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
  EXPECT_EQ(view->Ab().Active(), AbSide::A);
  EXPECT_FALSE(button->IsOn());
  auto f = WaitForFrame(processor(), [](auto& f) { return IsOutputBlock(f, 3); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload(), out::kGain), 60);
  ASSERT_TRUE(WaitForQuiet(view, processor()));
  EXPECT_EQ(CountOutputBlocks(processor()), 1);
  EXPECT_EQ(view->Control<NumEdit>(view_id::kFirstStripGainBox + 3)->text(), QStringLiteral("0dB"));

  // The other side's curve on the graph, then copy B into A from the menu.
  view->RunMenuCommand(menu_cmd::kAbCurve);
  EXPECT_TRUE(view->AbCurveShown());
  ASSERT_NE(view->Graph()->comparison(), nullptr);
  EXPECT_EQ(view->Graph()->comparison()->Output(3).GainCode(), 43);
  processor().ClearFrameLog();
  view->RunMenuCommand(menu_cmd::kAbCopyBToA);
  f = WaitForFrame(processor(), [](auto& f) { return IsOutputBlock(f, 3); });
  ASSERT_TRUE(f);
  EXPECT_EQ(GetU16(f->Payload(), out::kGain), 43);
  EXPECT_EQ(view->engine().Data().Output(3).GainCode(), 43);
}

TEST(AbMenu, CopyEntriesInBothLanguages) {
  for (Language lang : {Language::Chinese, Language::English}) {
    testing::StartedEditor editor(lang, false);
    ASSERT_TRUE(editor.started);
    QStringList texts;
    for (const auto& item : editor.view()->SettingsMenuItems()) texts << item.second;
    if (lang == Language::Chinese) {
      EXPECT_TRUE(texts.contains(QStringLiteral("复制 A → B")));
      EXPECT_TRUE(texts.contains(QStringLiteral("复制 B → A")));
    } else {
      EXPECT_TRUE(texts.contains(QStringLiteral("copy A → B")));
      EXPECT_TRUE(texts.contains(QStringLiteral("copy B → A")));
    }
  }
}

TEST(RecoveryStart, ABrokenFileIsReportedAndNotUsed) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString path = QDir(folder).filePath(QString::fromLatin1(recovery::kFileName));
  for (const QByteArray& bytes : {QByteArray("ZELTOREC\x01"), QByteArray(6000, '\0')}) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    testing::StartedEditor editor(Language::English, false);
    ASSERT_TRUE(editor.started);
    bool asked = false;
    editor.view()->SetQuestionHandler([&](const QString&) { return asked = true; });
    ASSERT_TRUE(WaitUntil([&] { return editor.view()->Settled(); }, testing::kConnectTimeout));
    testing::Pump();
    EXPECT_FALSE(asked);
    EXPECT_TRUE(editor.messages.contains(QStringLiteral("The recovery file is damaged and was not used.")))
        << editor.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(editor.view()->engine().Data().Output(0).GainCode(), 60);
    // A clean exit takes the file away.
    editor.view()->Shutdown();
    EXPECT_FALSE(QFile::exists(path));
  }
}

// ---- the crash -----------------------------------------------------------------------------------

// Run as its own process by the test below: the editor as a user starts it, an edit on A, a
// switch to B, an edit on B and a measurement; then it waits to be killed once the recovery file
// holds all of it.
TEST(RecoveryCrash, ChildEditsAndWaits) {
  if (!qEnvironmentVariableIsSet("ZELTO_CRASH_CHILD") || qEnvironmentVariableIsSet("ZELTO_DEVICE"))
    GTEST_SKIP() << "run by RecoveryCrash.KilledEditorIsRestored";
  QCoreApplication::setApplicationName(QStringLiteral("zelto"));
  testing::StartedEditor editor(Language::English, true);
  ASSERT_TRUE(editor.started);
  CZeltoView* view = editor.view();
  ASSERT_TRUE(WaitUntil([&] { return view->Settled() && view->Recovery(); }, testing::kConnectTimeout));
  Type(view->Control<NumEdit>(view_id::kFirstStripGainBox + 5), QStringLiteral("-21"));
  QTest::keyClick(view, Qt::Key_B, Qt::ControlModifier);
  Type(view->Control<NumEdit>(view_id::kFirstStripGainBox + 5), QStringLiteral("-15"));
  const QString measurement = QDir(qEnvironmentVariable("HOME")).filePath(QStringLiteral("front left.txt"));
  {
    QFile f(measurement);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("* Freq(Hz) SPL(dB)\n20 80\n100 86\n1000 84\n5000 88\n20000 78\n");
  }
  ASSERT_TRUE(view->Measurements()->LoadMeasurement(0, measurement));
  const std::string path = view->Recovery()->Path();
  const auto holdsAll = [&] {
    const RecoveryRead r = ReadRecoveryFile(path);
    if (!r.data) return false;
    // The editor's part: its form, then per side its link state and its history's bytes.
    const std::vector<std::uint8_t>& part = r.data->history;
    std::size_t steps = 0, at = 1;
    for (int side = 0; side < 2; ++side) {
      if (part.empty() || part[0] != 3 || part.size() < at + kLinkStateBytes + 4) return false;
      at += kLinkStateBytes;
      const std::size_t length = static_cast<std::uint32_t>(GetS32(part, at));
      at += 4;
      if (part.size() < at + length) return false;
      const auto history = History::FromBytes(std::span(part).subspan(at, length));
      if (!history) return false;
      steps += history->Size();
      at += length;
    }
    const auto measurements = measure::MeasurementsFromBytes(r.data->measurements);
    return steps == 2 && measurements && measurements->Has(0);
  };
  ASSERT_TRUE(WaitUntil(holdsAll, 10s));
  std::printf("READY\n");
  std::fflush(stdout);
  WaitUntil([] { return false; }, 120s);
}

// Run as its own process by the test below: the editor restores on a running simulated processor
// (ZELTO_DEVICE), shows the measurement and side B, and takes the last edit back with Ctrl+Z.
TEST(RecoveryCrash, ChildRestoresAndUndoes) {
  if (!qEnvironmentVariableIsSet("ZELTO_CRASH_CHILD") || !qEnvironmentVariableIsSet("ZELTO_DEVICE"))
    GTEST_SKIP() << "run by RecoveryCrash.KilledEditorIsRestored";
  QCoreApplication::setApplicationName(QStringLiteral("zelto"));
  AppOptions options;
  options.language = Language::English;
  CZeltoApp app(options, std::make_unique<MemorySettings>(), nullptr);
  QString error;
  ASSERT_TRUE(app.InitInstance(&error)) << error.toStdString();
  CZeltoView* view = app.View();
  ASSERT_TRUE(WaitUntil(
      [&] {
        return view->Settled() && view->Measurements()->Held().Has(0) && view->editor().Steps().Size() == 1 &&
               view->editor().StepsOf(AbSide::A).Size() == 1;
      },
      testing::kConnectTimeout));
  EXPECT_EQ(view->Ab().Active(), AbSide::B);
  EXPECT_TRUE(view->Control<XPButton>(kAbButton)->IsOn());
  EXPECT_EQ(view->engine().Data().Output(5).GainCode(), 45);
  // The graph shows channel 1 and draws its measurement.
  bool drawn = false;
  for (const auto& curve : view->Graph()->OverlayCurves())
    if (curve.key == static_cast<int>(measure::ShownCurve::Measured))
      drawn = !view->Graph()->OverlayLines(curve).empty();
  EXPECT_TRUE(drawn);
  QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(view->engine().Data().Output(5).GainCode(), 39);
  EXPECT_EQ(view->Ab().Active(), AbSide::B);
  // The parent sees what went wrong here only by the word missing.
  std::printf(::testing::Test::HasFailure() ? "FAILED\n" : "UNDONE\n");
  std::fflush(stdout);
  WaitUntil([] { return false; }, 120s);
}

/// Starts this test program as a child running `test` in `env`; true once it printed `word`.
bool RunChildUntil(QProcess& child, const QProcessEnvironment& env, const char* test, const QByteArray& word) {
  QProcessEnvironment childEnv = env;
  childEnv.insert(QStringLiteral("ZELTO_CRASH_CHILD"), QStringLiteral("1"));
  child.setProcessEnvironment(childEnv);
  child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=RecoveryCrash.") + test});
  if (!child.waitForStarted()) return false;
  QByteArray said;
  const bool ok = WaitUntil(
      [&] {
        child.waitForReadyRead(50);
        said += child.readAllStandardOutput();
        return said.contains(word);
      },
      60s);
  if (!ok) std::fprintf(stderr, "%s\n", said.constData());
  return ok;
}

void Kill(QProcess& process) {
  ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
  process.waitForFinished(10000);
}

/// The gain of output `channel` that the processor behind `url` holds, read back by an engine of
/// our own.
int GainAtProcessor(const std::string& url, int channel) {
  std::string error;
  auto transport = MakeTransport(url, &error);
  EXPECT_TRUE(transport) << error;
  if (!transport) return -1;
  zelto::testing::EngineHarness h(std::move(transport));
  h.engine.OnConnectButton();
  EXPECT_TRUE(h.PumpUntil([&] { return h.Saw(Notice::LiveReadDone); }, 20s));
  const int gain = GetU16(h.engine.Image().Block(0, BlockType::Output, channel), out::kGain);
  h.engine.Disconnect();
  return gain;
}

TEST(RecoveryCrash, KilledEditorIsRestored) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
  env.insert(QStringLiteral("HOME"), home.path());
  env.remove(QStringLiteral("ZELTO_DEVICE"));

  // First run: the work, then SIGKILL.
  QProcess child;
  ASSERT_TRUE(RunChildUntil(child, env, "ChildEditsAndWaits", "READY"));
  Kill(child);
  EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
  const QString recovery = home.filePath(QStringLiteral("data/Zelto/zelto/recovery.zrec"));
  ASSERT_TRUE(QFile::exists(recovery));

  // Second run: the real program on a fresh processor restores the work and sends it.
  sim::SimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.Start(ZELTO_SIM_EXE, {"--trace"}, &error)) << error;
  QProcess editor;
  QProcessEnvironment editorEnv = env;
  editorEnv.insert(QStringLiteral("ZELTO_RECOVERY_ANSWER"), QStringLiteral("yes"));
  editor.setProcessEnvironment(editorEnv);
  editor.start(QStringLiteral(ZELTO_BINARY), {QStringLiteral("--device"), QString::fromStdString(sim.Url())});
  ASSERT_TRUE(editor.waitForStarted());
  const auto sentFrom = [&](std::size_t from, const std::string& what) {
    return [&sim, from, what] {
      const auto lines = sim.Lines();
      for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].find(what) != std::string::npos) return true;
      return false;
    };
  };
  EXPECT_TRUE(WaitUntil(sentFrom(0, "WRITE slot 0 OUTPUT ch 5 len 296"), 60s));
  Kill(editor);
  EXPECT_EQ(GainAtProcessor(sim.Url(), 5), 45);  // -15 dB, the value on B

  // Third run, killed too: restored again, an undo sends the value from before the last edit.
  const std::size_t before = sim.Lines().size();
  QProcess undoing;
  QProcessEnvironment undoEnv = editorEnv;
  undoEnv.insert(QStringLiteral("ZELTO_DEVICE"), QString::fromStdString(sim.Url()));
  ASSERT_TRUE(RunChildUntil(undoing, undoEnv, "ChildRestoresAndUndoes", "UNDONE"));
  EXPECT_TRUE(WaitUntil(sentFrom(before, "OUTPUT ch 5 idx"), 20s));
  Kill(undoing);
  EXPECT_EQ(GainAtProcessor(sim.Url(), 5), 39);  // -21 dB
  sim.Stop();
}

}  // namespace
}  // namespace zelto
