// The recovery file in the window: its own file per editor in the state folder, the offer of
// what a crashed editor left (when, which processor, which channels, undoable, nothing sent before
// the answer), a write that fails, unsent work at a clean exit, and real editor processes killed
// beside each other.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "app/app_options.h"
#include "app/view_ids.h"
#include "app/zelto_app.h"
#include "controls/num_edit.h"
#include "controls/xp_button.h"
#include "core/bytes.h"
#include "core/platform.h"
#include "curves/ui/response_graph.h"
#include "edit/history.h"
#include "measure/measurements_bytes.h"
#include "measure/ui/measurement_tools.h"
#include "sim/sim_process.h"
#include "sim_frames.h"
#include "tests/support/child_process.h"
#include "tests/support/engine_harness.h"
#include "transports/device_url.h"

namespace zelto {
namespace {

using testing::ChildProcess;
using testing::WaitUntil;
using namespace std::chrono_literals;

void Type(NumEdit* box, const QString& text) {
  ASSERT_NE(box, nullptr);
  box->selectAll();
  QTest::keyClicks(box, text);
  box->Commit();
}

int OutputGain(const PresetImage& image, int channel) {
  return GetU16(std::span(image).subspan(preset::kOutput + static_cast<std::size_t>(channel) * out::kSize), out::kGain);
}

/// A recovery file left in slot 1 of the window's state folder, as a crashed editor leaves it:
/// the tuning an editor shows after reading back a fresh processor, with output `channel` at gain
/// code `gain`.
RecoveryData LeaveFile(int channel, int gain) {
  RecoveryData data;
  {
    testing::StartedEditor editor(Language::English, true);
    bool asked = false;
    editor.view()->SetQuestionHandler([&](const QString&) { return asked = true; });
    EXPECT_TRUE(WaitUntil([&] { return editor.view()->Settled(); }, testing::kConnectTimeout));
    EXPECT_FALSE(asked) << "a file was left over";
    data.ab = editor.view()->Ab().Snapshot();
    editor.view()->Shutdown();
  }
  PutU16(
      std::span(data.ab.Side(data.ab.active)).subspan(preset::kOutput + static_cast<std::size_t>(channel) * out::kSize),
      out::kGain, static_cast<std::uint16_t>(gain));
  data.savedAt = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26)).toSecsSinceEpoch();
  data.processor = "KVN-734-31EQ-V3.0";
  const std::string folder = RecoveryFolder().toStdString();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string error;
  EXPECT_TRUE(WriteFileDurably(recovery::SlotFile(folder, 1), RecoveryFileBytes(data), &error)) << error;
  return data;
}

TEST(RecoveryStart, ABrokenFileLeftByAnEarlierVersionIsReportedKeptAsideAndNotUsed) {
  // Earlier versions kept one file in the data folder; it moves into the state folder's slots.
  const QString old = QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
                          .filePath(QStringLiteral("recovery.zrec"));
  ASSERT_TRUE(QDir().mkpath(QFileInfo(old).path()));
  const QString state = RecoveryFolder();
  for (const QByteArray& bytes : {QByteArray("ZELTOREC\x01"), QByteArray(6000, '\0')}) {
    QFile f(old);
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
    ASSERT_EQ(editor.messages.size(), 1);
    EXPECT_TRUE(editor.messages.front().startsWith(QStringLiteral("The recovery file is damaged and was not used.\n")))
        << editor.messages.front().toStdString();
    EXPECT_EQ(editor.view()->engine().Data().Output(0).GainCode(), 60);
    editor.view()->Shutdown();
    // Kept beside the slots, where it is no longer offered; the data folder holds nothing.
    EXPECT_FALSE(QFile::exists(old));
    const QStringList kept = QDir(state).entryList({QStringLiteral("*.damaged-*.zrec")});
    EXPECT_FALSE(kept.isEmpty());
    EXPECT_TRUE(QDir(state).entryList({QStringLiteral("recovery-?.zrec")}).isEmpty());
  }
  for (const QString& name : QDir(state).entryList({QStringLiteral("*.damaged-*.zrec")})) QDir(state).remove(name);
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
    // The tuning is packed between two exchanges of the link, so it may follow the history by a
    // write: both sides' values count too.
    const bool tuning = r.data->ab.active == AbSide::B && OutputGain(r.data->ab.Side(AbSide::B), 5) == 45 &&
                        OutputGain(r.data->ab.Side(AbSide::A), 5) == 39;
    return steps == 2 && tuning && measurements && measurements->Has(0);
  };
  ASSERT_TRUE(WaitUntil(holdsAll, 10s));
  std::printf("READY\n");
  std::fflush(stdout);
  WaitUntil([] { return false; }, 120s);
}

// Run as its own process by the test below: the editor restores on a running simulated processor
// (ZELTO_DEVICE), shows the measurement and side B, and takes the last edits back with Ctrl+Z.
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
  // Each side's history of the first run, and on B the restore of the second; this run's restore
  // changes nothing the processor holds, so it is no step.
  ASSERT_TRUE(WaitUntil(
      [&] {
        return view->Settled() && view->Measurements()->Held().Has(0) && view->editor().Steps().Size() == 2 &&
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
  // The second run's restore is undone first: the processor's own settings from then.
  QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(view->engine().Data().Output(5).GainCode(), 60);
  QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(view->engine().Data().Output(5).GainCode(), 39);
  EXPECT_EQ(view->Ab().Active(), AbSide::B);
  // The parent sees what went wrong here only by the word missing.
  std::printf(::testing::Test::HasFailure() ? "FAILED\n" : "UNDONE\n");
  std::fflush(stdout);
  WaitUntil([] { return false; }, 120s);
}

/// The environment of a child editor: its settings, state and files in `home` alone, and no
/// processor named.
ChildProcess::Environment ChildEnvironment(const QTemporaryDir& home) {
  return {{"QT_QPA_PLATFORM", "offscreen"},
          {"XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toStdString()},
          {"XDG_STATE_HOME", home.filePath(QStringLiteral("state")).toStdString()},
          {"XDG_CONFIG_HOME", home.path().toStdString()},
          {"HOME", home.path().toStdString()},
          {"ZELTO_DEVICE", std::nullopt}};
}

/// Starts this test program as a child running `test` in `env`, its output in `home` under `name`;
/// the child once it printed `word`, otherwise none. What it printed goes to `said`.
std::unique_ptr<ChildProcess> RunChildUntil(const QTemporaryDir& home, const char* name, ChildProcess::Environment env,
                                            const std::string& test, const QByteArray& word,
                                            QByteArray* said = nullptr) {
  env["ZELTO_CRASH_CHILD"] = "1";
  auto child = std::make_unique<ChildProcess>(
      QCoreApplication::applicationFilePath().toStdString(), std::vector<std::string>{"--gtest_filter=" + test},
      home.filePath(QLatin1String(name)).toStdString(), ChildProcess::Input::Nothing, env);
  if (!child->Started()) return nullptr;
  QByteArray out;
  const bool ok = WaitUntil(
      [&] {
        out = QByteArray::fromStdString(child->Out());
        return out.contains(word);
      },
      60s);
  if (!ok) std::fprintf(stderr, "%s\n", out.constData());
  if (said) *said = out;
  return ok ? std::move(child) : nullptr;
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
  const ChildProcess::Environment env = ChildEnvironment(home);

  // First run: the work, then SIGKILL.
  const auto child = RunChildUntil(home, "child", env, "RecoveryCrash.ChildEditsAndWaits", "READY");
  ASSERT_TRUE(child);
  EXPECT_EQ(child->Kill(), ChildProcess::Killed(SIGKILL));
  const QString recovery = home.filePath(QStringLiteral("state/Zelto/zelto/recovery-1.zrec"));
  ASSERT_TRUE(QFile::exists(recovery));

  // Second run: the real program on a fresh processor restores the work and sends it.
  sim::SimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.Start(ZELTO_SIM_EXE, {"--trace"}, &error)) << error;
  ChildProcess::Environment editorEnv = env;
  editorEnv["ZELTO_RECOVERY_ANSWER"] = "yes";
  ChildProcess editor(ZELTO_BINARY, {"--device", sim.Url()}, home.filePath(QStringLiteral("editor")).toStdString(),
                      ChildProcess::Input::Nothing, editorEnv);
  ASSERT_TRUE(editor.Started());
  const auto sentFrom = [&](std::size_t from, const std::string& what) {
    return [&sim, from, what] {
      const auto lines = sim.Lines();
      for (std::size_t i = from; i < lines.size(); ++i)
        if (lines[i].find(what) != std::string::npos) return true;
      return false;
    };
  };
  EXPECT_TRUE(WaitUntil(sentFrom(0, "WRITE slot 0 OUTPUT ch 5 len 296"), 60s));
  // Its own file takes over the work (with the restore as a step); only then is the left one gone.
  EXPECT_TRUE(WaitUntil([&] { return !QFile::exists(recovery); }, 20s));
  editor.Kill();
  EXPECT_EQ(GainAtProcessor(sim.Url(), 5), 45);  // -15 dB, the value on B

  // Third run, killed too: restored again, an undo sends the value from before the last edit.
  const std::size_t before = sim.Lines().size();
  ChildProcess::Environment undoEnv = editorEnv;
  undoEnv["ZELTO_DEVICE"] = sim.Url();
  const auto undoing = RunChildUntil(home, "undoing", undoEnv, "RecoveryCrash.ChildRestoresAndUndoes", "UNDONE");
  ASSERT_TRUE(undoing);
  EXPECT_TRUE(WaitUntil(sentFrom(before, "OUTPUT ch 5 idx"), 20s));
  undoing->Kill();
  EXPECT_EQ(GainAtProcessor(sim.Url(), 5), 39);  // -21 dB
  sim.Stop();
}

// ---- the offer ------------------------------------------------------------------------------------

TEST(RecoveryOffer, TheQuestionSaysWhenWhereAndWhatAndNothingIsSentBeforeTheAnswer) {
  for (const Language lang : {Language::English, Language::Chinese}) {
    SCOPED_TRACE(lang == Language::Chinese ? "zh" : "en");
    LeaveFile(3, 47);
    testing::StartedEditor editor(lang, true);
    ASSERT_TRUE(editor.started);
    CZeltoView* view = editor.view();
    sim::SimProcessor& processor = *editor.processor;
    QString question;
    int blocksWhileAsked = -1;
    view->SetQuestionHandler([&](const QString& q) {
      question = q;
      // The user takes their time: the processor hears nothing of the restore meanwhile.
      processor.ClearFrameLog();
      testing::Pump(600ms);
      blocksWhileAsked = testing::CountOutputBlocks(processor);
      return true;
    });
    ASSERT_TRUE(WaitUntil([&] { return !question.isEmpty(); }, testing::kConnectTimeout));
    EXPECT_EQ(blocksWhileAsked, 0);
    const bool zh = lang == Language::Chinese;
    EXPECT_TRUE(question.contains(zh ? QStringLiteral("保存时间：2026-03-14 15:09:26")
                                     : QStringLiteral("Saved: 2026-03-14 15:09:26")))
        << question.toStdString();
    EXPECT_TRUE(question.contains(zh ? QStringLiteral("处理器：KVN-734-31EQ-V3.0")
                                     : QStringLiteral("Processor: KVN-734-31EQ-V3.0")))
        << question.toStdString();
    EXPECT_TRUE(question.contains(zh ? QStringLiteral("与现在不同的通道：CH4")
                                     : QStringLiteral("Channels that differ from now: CH4")))
        << question.toStdString();

    // Answered: the one channel that differs goes out, and an undo gives the processor its own.
    ASSERT_TRUE(
        testing::WaitForFrame(processor, [](const sim::SimFrameRecord& f) { return testing::IsOutputBlock(f, 3); }));
    EXPECT_EQ(testing::CountOutputBlocks(processor), 1);
    EXPECT_EQ(GetU16(processor.Memory().Block(0, BlockType::Output, 3), out::kGain), 47);
    processor.ClearFrameLog();
    QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(
        testing::WaitForFrame(processor, [](const sim::SimFrameRecord& f) { return testing::IsOutputBlock(f, 3); }));
    EXPECT_EQ(GetU16(processor.Memory().Block(0, BlockType::Output, 3), out::kGain), 60);
    view->Shutdown();
  }
}

TEST(RecoveryOffer, AFirstReadBackThatFailsStillOffersTheLeftFileAndKeepsThisRun) {
  LeaveFile(3, 47);
  testing::StartedEditor editor(Language::English, true);
  ASSERT_TRUE(editor.started);
  // A reply of the read-back is lost: the connection closes before the processor's settings arrive.
  editor.processor->InjectFault(sim::Fault::DropReply, {4, 1, 1});
  CZeltoView* view = editor.view();
  bool asked = false;
  view->SetQuestionHandler([&](const QString&) { return asked = true; });
  ASSERT_TRUE(WaitUntil([&] { return asked; }, testing::kConnectTimeout));
  ASSERT_NE(view->Recovery(), nullptr);
  EXPECT_EQ(view->engine().Data().Output(3).GainCode(), 47);
  // The restored work is this run's now, in its own file; the left one has gone.
  const std::string own = view->Recovery()->Path();
  const std::string left = recovery::SlotFile(RecoveryFolder().toStdString(), 1);
  EXPECT_NE(own, left);
  ASSERT_TRUE(WaitUntil(
      [&] {
        const RecoveryRead r = ReadRecoveryFile(own);
        return r.data && OutputGain(r.data->Live(), 3) == 47;
      },
      10s));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(left)));
  view->Shutdown();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(own)));
}

TEST(RecoveryOffer, AFolderThatCannotBeMadeIsToldOnceInBothLanguages) {
  QTemporaryDir home;
  const QString blocker = home.filePath(QStringLiteral("blocker"));
  {
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("a file where the state folder should be");
  }
  const QByteArray saved = qgetenv("XDG_STATE_HOME");
  qputenv("XDG_STATE_HOME", blocker.toLocal8Bit());
  for (const Language lang : {Language::English, Language::Chinese}) {
    testing::StartedEditor editor(lang, false);
    ASSERT_TRUE(editor.started);
    ASSERT_TRUE(WaitUntil([&] { return !editor.messages.isEmpty(); }, testing::kConnectTimeout));
    testing::Pump(1200ms);
    ASSERT_EQ(editor.messages.size(), 1) << editor.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(editor.messages.front().startsWith(
        lang == Language::Chinese ? QStringLiteral("崩溃保护已关闭：") : QStringLiteral("crash protection is off: ")))
        << editor.messages.front().toStdString();
    EXPECT_TRUE(editor.messages.front().contains(QStringLiteral("blocker"))) << editor.messages.front().toStdString();
    editor.view()->Shutdown();
  }
  qputenv("XDG_STATE_HOME", saved);
}

TEST(RecoveryExit, UnsentWorkIsKeptForTheNextStartOnlyWhenTheUserSaysSo) {
  for (const bool keep : {true, false}) {
    SCOPED_TRACE(keep ? "kept" : "dropped");
    testing::StartedEditor editor(Language::English, false);
    ASSERT_TRUE(editor.started);
    CZeltoView* view = editor.view();
    ASSERT_TRUE(WaitUntil([&] { return view->Settled() && view->Recovery(); }, testing::kConnectTimeout));
    QStringList questions;
    view->SetQuestionHandler([&](const QString& q) {
      questions.append(q);
      return keep;
    });
    Type(view->Control<NumEdit>(view_id::kFirstStripGainBox + 1), QStringLiteral("-12"));
    const std::string path = view->Recovery()->Path();
    view->window()->close();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions.front().contains(QStringLiteral("never sent"))) << questions.front().toStdString();
    if (keep) {
      // Left as a crash leaves it: the next editor is offered it.
      auto left = recovery::ClaimLeftFile(RecoveryFolder().toStdString(), nullptr);
      ASSERT_TRUE(left);
      EXPECT_EQ(left->slot.path, path);
      ASSERT_TRUE(left->read.data);
      EXPECT_EQ(OutputGain(left->read.data->Live(), 1), 48);
      QFile::remove(QString::fromStdString(path));
    } else {
      EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    }
  }
}

// ---- two editors side by side ---------------------------------------------------------------------

// Run as its own process by the test below: an editor on a simulated processor of its own sets
// the gain of one strip (ZELTO_PAIR_STRIP, ZELTO_PAIR_GAIN) and waits, once its own recovery file
// holds the edit, to be killed.
TEST(RecoveryPair, ChildEditsAndWaits) {
  if (!qEnvironmentVariableIsSet("ZELTO_CRASH_CHILD")) GTEST_SKIP() << "run by RecoveryPair.KillingEitherLosesNothing";
  QCoreApplication::setApplicationName(QStringLiteral("zelto"));
  testing::StartedEditor editor(Language::English, true);
  ASSERT_TRUE(editor.started);
  CZeltoView* view = editor.view();
  // No question: the other editor's file is its live work, not a crash's.
  view->SetQuestionHandler([](const QString&) {
    std::printf("ASKED\n");
    std::fflush(stdout);
    return true;
  });
  ASSERT_TRUE(WaitUntil([&] { return view->Settled() && view->Recovery(); }, testing::kConnectTimeout));
  const int strip = qEnvironmentVariableIntValue("ZELTO_PAIR_STRIP");
  Type(view->Control<NumEdit>(view_id::kFirstStripGainBox + strip), qEnvironmentVariable("ZELTO_PAIR_GAIN"));
  const int gain = view->engine().Data().Output(strip).GainCode();
  const std::string path = view->Recovery()->Path();
  ASSERT_TRUE(WaitUntil(
      [&] {
        const RecoveryRead r = ReadRecoveryFile(path);
        return r.data && OutputGain(r.data->Live(), strip) == gain;
      },
      10s));
  std::printf("READY %s\n", path.c_str());
  std::fflush(stdout);
  WaitUntil([] { return false; }, 120s);
}

// Run as its own process by the test below: an editor that restores what it is offered and
// prints the gains it then holds.
TEST(RecoveryPair, ChildRestoresAndReports) {
  if (!qEnvironmentVariableIsSet("ZELTO_CRASH_CHILD")) GTEST_SKIP() << "run by RecoveryPair.KillingEitherLosesNothing";
  QCoreApplication::setApplicationName(QStringLiteral("zelto"));
  testing::StartedEditor editor(Language::English, true);
  ASSERT_TRUE(editor.started);
  CZeltoView* view = editor.view();
  bool asked = false;
  view->SetQuestionHandler([&](const QString&) { return asked = true; });
  ASSERT_TRUE(WaitUntil([&] { return view->Settled() && asked; }, testing::kConnectTimeout));
  testing::Pump(200ms);
  std::string gains = "GAINS";
  for (int ch = 0; ch < kOutputChannels; ++ch)
    gains += " " + std::to_string(view->engine().Data().Output(ch).GainCode());
  std::printf("%s END\n", gains.c_str());
  std::fflush(stdout);
  WaitUntil([] { return false; }, 120s);
}

/// The gains a ChildRestoresAndReports printed.
std::vector<int> GainsSaid(const QByteArray& said) {
  std::vector<int> gains;
  const int at = said.indexOf("GAINS ");
  if (at < 0) return gains;
  const QByteArray line = said.mid(at + 6, said.indexOf(" END", at) - at - 6);
  for (const QByteArray& g : line.split(' ')) gains.push_back(g.toInt());
  return gains;
}

TEST(RecoveryPair, KillingEitherLosesNothing) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const ChildProcess::Environment env = ChildEnvironment(home);
  const auto editing = [&](int strip, const char* gain) {
    ChildProcess::Environment e = env;
    e["ZELTO_PAIR_STRIP"] = std::to_string(strip);
    e["ZELTO_PAIR_GAIN"] = gain;
    return e;
  };
  const ChildProcess::Environment& restoring = env;
  const auto pathSaid = [](const QByteArray& said) {
    const int at = said.indexOf("READY ");
    return QString::fromUtf8(said.mid(at + 6, said.indexOf('\n', at) - at - 6));
  };

  // Two editors side by side, each with its own work.
  QByteArray said;
  const auto first = RunChildUntil(home, "first", editing(2, "-21"), "RecoveryPair.ChildEditsAndWaits", "READY", &said);
  ASSERT_TRUE(first);
  const QString firstPath = pathSaid(said);
  const auto second =
      RunChildUntil(home, "second", editing(4, "-9"), "RecoveryPair.ChildEditsAndWaits", "READY", &said);
  ASSERT_TRUE(second);
  const QString secondPath = pathSaid(said);
  EXPECT_FALSE(said.contains("ASKED")) << "the second editor was offered the first one's live work";
  EXPECT_NE(firstPath, secondPath);

  // The second is killed: the first runs on with its file as it was, and the next editor gets
  // the second's work, not the first's.
  second->Kill();
  EXPECT_TRUE(first->Running());
  const RecoveryRead firstWork = ReadRecoveryFile(firstPath.toStdString());
  ASSERT_TRUE(firstWork.data);
  EXPECT_EQ(OutputGain(firstWork.data->Live(), 2), 39);
  auto third = RunChildUntil(home, "third", restoring, "RecoveryPair.ChildRestoresAndReports", " END", &said);
  ASSERT_TRUE(third);
  std::vector<int> gains = GainsSaid(said);
  ASSERT_EQ(gains.size(), std::size_t{kOutputChannels});
  EXPECT_EQ(gains[4], 51) << "the killed editor's work";
  EXPECT_EQ(gains[2], 60) << "the running editor's work was offered";
  third->Kill();

  // Now the first is killed: its work is there for the next editor.
  first->Kill();
  const auto fourth = RunChildUntil(home, "fourth", restoring, "RecoveryPair.ChildRestoresAndReports", " END", &said);
  ASSERT_TRUE(fourth);
  gains = GainsSaid(said);
  ASSERT_EQ(gains.size(), std::size_t{kOutputChannels});
  EXPECT_EQ(gains[2], 39);
  fourth->Kill();
}

}  // namespace
}  // namespace zelto
