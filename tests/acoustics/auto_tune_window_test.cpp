// The window's auto-tune: the choices a demonstration starts with, the result as the dialog shows
// it, and the whole use case in the real editor against zelto-sim playing the demo car on the
// audio server — the microphone question answered (moving the car's microphone) or cancelled, and
// what the processor holds afterwards pulled by zeltoctl, before and after Ctrl+Z in the window.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "acoustics/audio_server.h"
#include "acoustics/ui/auto_tune_dialog.h"
#include "acoustics/ui/sim_microphone.h"
#include "app/app_harness.h"
#include "app/view_ids.h"
#include "app/zelto_app.h"
#include "app/zelto_view.h"
#include "measure/channel_measurements.h"
#include "sim/sim_process.h"
#include "sim/sim_processor.h"
#include "support/offline_editor.h"

namespace zelto {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// ---- the choices ----------------------------------------------------------------------------------

TEST(AutoTuneChoices, AreReadFromTheEnvironmentAndWhatIsNotUnderstoodIsSaid) {
  std::map<std::string, std::string> env = {{"ZELTO_AUDIO_OUT", "zelto-loop"},
                                            {"ZELTO_AUDIO_IN", "Monitor of zelto-mic"},
                                            {"ZELTO_TUNE_CHANNELS", "ch1,CH2,3,ch7"},
                                            {"ZELTO_TUNE_FULL_RANGE", "ch3"},
                                            {"ZELTO_TUNE_REFERENCE", "ch1"},
                                            {"ZELTO_TUNE_POSITIONS", "3"},
                                            {"ZELTO_TUNE_LENGTH", "0.5"},
                                            {"ZELTO_TUNE_TARGET", "car"},
                                            {"ZELTO_SIM_MICROPHONE", "127.0.0.1:5751"},
                                            {"ZELTO_MICROPHONE_ANSWER", "ok"}};
  const auto lookup = [&](const char* name) -> const char* {
    const auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  };
  auto c = AutoTuneChoices::Read(lookup);
  EXPECT_TRUE(c.problems.empty());
  EXPECT_EQ(c.audioIn, "Monitor of zelto-mic");
  EXPECT_EQ(c.channels, (std::vector<int>{0, 1, 2, 6}));
  EXPECT_EQ(c.fullRange, std::vector<int>{2});
  EXPECT_EQ(c.reference, 0);
  EXPECT_EQ(c.positions, 3);
  EXPECT_DOUBLE_EQ(c.seconds, 0.5);
  EXPECT_EQ(c.simMicrophone, 5751);
  EXPECT_EQ(c.microphoneAnswer, true);

  // Each entry that is not understood is named and left to the dialog's default.
  env = {{"ZELTO_TUNE_CHANNELS", "ch1,ch9"}, {"ZELTO_TUNE_FULL_RANGE", "woofer"},
         {"ZELTO_TUNE_REFERENCE", "ch0"},    {"ZELTO_TUNE_POSITIONS", "17"},
         {"ZELTO_TUNE_LENGTH", "0.1"},       {"ZELTO_SIM_MICROPHONE", "192.168.1.2:5751"},
         {"ZELTO_MICROPHONE_ANSWER", "yes"}};
  c = AutoTuneChoices::Read(lookup);
  ASSERT_EQ(c.problems.size(), env.size());
  for (const auto& [name, value] : env) {
    bool named = false;
    for (const auto& p : c.problems) named = named || p.rfind(name + "=" + value + ": ", 0) == 0;
    EXPECT_TRUE(named) << name;
  }
  EXPECT_FALSE(c.channels || c.reference || c.simMicrophone || c.microphoneAnswer);
  EXPECT_EQ(c.positions, 0);

  for (const auto& [text, port] : std::vector<std::pair<std::string, int>>{
           {"5751", 5751}, {"localhost:80", 80}, {"0", 0}, {"65536", 0}, {"57x", 0}, {"", 0}, {"10.0.0.1:5751", 0}})
    EXPECT_EQ(ParseSimMicrophonePort(text).value_or(0), port) << text;
}

// ---- the result as shown --------------------------------------------------------------------------

acoustics::AutoTuneReport Reported(bool verified) {
  acoustics::AutoTuneReport r;
  r.tuned = true;
  r.verified = verified;
  r.figuresBefore.arrivalSpreadMs = 1.25;
  r.figuresBefore.levelSpreadDb = 4.5;
  r.figuresBefore.summed.averaged.rms = 5.5;
  r.figuresBefore.summed.perPositionRms = {5.0, 6.0};
  r.figuresAfter.arrivalSpreadMs = 0.02;
  r.figuresAfter.levelSpreadDb = 0.4;
  r.figuresAfter.summed.averaged.rms = 1.4;
  r.figuresAfter.summed.perPositionRms = {1.3, 1.5};
  acoustics::ChannelTuning flipped;
  flipped.channel = 3;
  flipped.delayCode = 48;  // 1 ms
  flipped.phase = 1;
  flipped.flipped = true;
  acoustics::ChannelTuning sub;
  sub.channel = 6;
  r.tuning.channels = {flipped, sub};
  r.notFixed = {"ch7 38-45 Hz: below the target (a null or the 6.0 dB boost limit), not boosted"};
  return r;
}

TEST(AutoTuneDialogResult, ShowsBeforeAndAfterOnlyWhereTheTuningWasMeasuredAgain) {
  testing::OfflineEditor e;
  measure::ChannelMeasurements held;
  for (Language lang : {Language::English, Language::Chinese}) {
    AutoTuneDialog dialog(e.editor, held, {}, ::testing::TempDir() + "/measurement.zrun", lang, {});
    dialog.ShowReport(Reported(true), measure::FlatTarget());
    QTableWidget* f = dialog.FiguresTable();
    ASSERT_EQ(f->rowCount(), 5);  // arrival, level, summed, two positions
    EXPECT_EQ(f->item(0, 1)->text(), QStringLiteral("1.250 ms"));
    EXPECT_EQ(f->item(0, 2)->text(), QStringLiteral("0.020 ms"));
    EXPECT_EQ(f->item(4, 2)->text(), QStringLiteral("1.50 dB"));
    QTableWidget* t = dialog.ChannelsTable();
    ASSERT_EQ(t->rowCount(), 2);
    EXPECT_EQ(t->item(0, 0)->text(), QStringLiteral("CH4"));
    EXPECT_EQ(t->item(0, 1)->text(), QStringLiteral("1.000 ms"));
    EXPECT_TRUE(t->item(0, 2)->text().contains(lang == Language::English ? QStringLiteral("(changed)")
                                                                         : QStringLiteral("已改")));
    EXPECT_FALSE(t->item(1, 2)->text().contains(QStringLiteral("(")));
    EXPECT_TRUE(dialog.LogLines().last().contains(QStringLiteral("38-45 Hz")));
    if (const QByteArray dir = qgetenv("ZELTO_PANEL_SHOTS"); !dir.isEmpty())
      dialog.grab().save(QStringLiteral("%1/auto-tune-%2.png")
                             .arg(QString::fromLocal8Bit(dir), lang == Language::Chinese ? "zh" : "en"));

    // Sent but not measured again: nothing is claimed for after.
    dialog.ShowReport(Reported(false), measure::FlatTarget());
    for (int row = 0; row < f->rowCount(); ++row) EXPECT_EQ(f->item(row, 2)->text(), QStringLiteral("–"));
    EXPECT_EQ(dialog.ChannelsTable()->rowCount(), 2);
  }
}

// ---- one step of the window's history ------------------------------------------------------------

/// Every output block of the processor's live settings.
std::vector<std::uint8_t> LiveOutputs(sim::SimProcessor& processor) {
  const DeviceImage memory = processor.Memory();
  std::vector<std::uint8_t> bytes;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto block = memory.Block(0, BlockType::Output, ch);
    bytes.insert(bytes.end(), block.begin(), block.end());
  }
  return bytes;
}

TEST(AutoTuneUndo, TheWholeTuningIsOneStepThatCtrlZInTheWindowTakesBackAtTheProcessor) {
  testing::StartedEditor started(Language::English, true);
  ASSERT_TRUE(started.started);
  CZeltoView* view = started.view();
  ASSERT_TRUE(testing::WaitUntil([&] { return view->Settled(); }, testing::kConnectTimeout));
  const auto before = LiveOutputs(*started.processor);

  // As the run sends it: delays, a phase turned, gains cut and bands on several channels.
  acoustics::Tuning tuning;
  for (int ch : {0, 3, 6}) {
    acoustics::ChannelTuning t;
    t.channel = ch;
    t.delayCode = 10 * (ch + 1);
    t.phase = ch == 3 ? 1 : 0;
    t.gainCode = OutputGainCodeFromDb(-2 - ch);
    {
      auto lock = view->engine().Data().Lock();
      t.bands = measure::BandsOf(view->engine().Data().Output(ch).Eq());
    }
    t.bands[17].gainCode -= 30;
    tuning.channels.push_back(t);
  }
  acoustics::ApplyTuning(view->editor(), tuning);
  ASSERT_TRUE(testing::WaitUntil([&] { return LiveOutputs(*started.processor) != before; }, 10s));
  ASSERT_TRUE(testing::WaitUntil([&] { return view->engine().EverythingSent(); }, 10s));

  view->window()->activateWindow();
  QTest::keySequence(view->window(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_TRUE(testing::WaitUntil([&] { return LiveOutputs(*started.processor) == before; }, 10s));
  EXPECT_FALSE(view->editor().Steps().CanUndo());
}

// ---- the whole use case in the window -------------------------------------------------------------

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class AutoTuneWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test::OpenAudioServer();
    if (!server_.skip.empty()) GTEST_SKIP() << server_.skip;
    ASSERT_TRUE(dir_.isValid());
    ::setenv("ZELTO_STATE_DIR", Path("state").c_str(), 1);
    ::setenv("PULSE_LATENCY_MSEC", "20", 1);
    ::setenv("ZELTO_AUDIO_API", "pulse", 1);
    std::string error;
    ASSERT_TRUE(sim_.Start(sim::SimProcess::DefaultExecutable(),
                           {"--car", "demo", "--audio-in", server_.env["ZELTO_LOOP_IN"], "--audio-out",
                            server_.env["ZELTO_MIC_OUT"], "--control-port", "0"},
                           &error))
        << error;
    ASSERT_TRUE(sim_.WaitForLines(4, 20s));
    std::string control;
    for (const auto& line : sim_.Lines())
      if (line.rfind("control port on ", 0) == 0) control = line.substr(std::string("control port on ").size());
    ASSERT_FALSE(control.empty());
    // The crossovers an installer sets before tuning; the mids are marked as bass drivers.
    Ctl("set ch1.hp=3000Hz ch1.hp.type=lr ch2.hp=3000Hz ch2.hp.type=lr ch3.hp=70Hz ch3.hp.type=lr ch3.lp=3000Hz "
        "ch3.lp.type=lr ch4.hp=70Hz ch4.hp.type=lr ch4.lp=3000Hz ch4.lp.type=lr ch7.lp=70Hz ch7.lp.type=lr");
    const std::map<std::string, std::string> choices = {{"ZELTO_AUDIO_OUT", server_.env["ZELTO_LOOP_OUT"]},
                                                        {"ZELTO_AUDIO_IN", server_.env["ZELTO_MIC_IN"]},
                                                        {"ZELTO_TUNE_CHANNELS", "ch1,ch2,ch3,ch4,ch7"},
                                                        {"ZELTO_TUNE_FULL_RANGE", "ch3,ch4"},
                                                        {"ZELTO_TUNE_REFERENCE", "ch1"},
                                                        {"ZELTO_TUNE_POSITIONS", "2"},
                                                        {"ZELTO_TUNE_LENGTH", "0.5"},
                                                        {"ZELTO_SIM_MICROPHONE", control}};
    for (const auto& [k, v] : choices) ::setenv(k.c_str(), v.c_str(), 1);

    AppOptions options;
    options.language = Language::English;
    options.device = sim_.Url();
    app_ = std::make_unique<CZeltoApp>(options, std::make_unique<MemorySettings>());
    QString why;
    ASSERT_TRUE(app_->InitInstance(&why)) << why.toStdString();
    app_->View()->SetMessageHandler([](const QString&) {});
    ASSERT_TRUE(testing::WaitUntil([&] { return app_->View()->Settled(); }, testing::kConnectTimeout));
  }
  void TearDown() override {
    if (app_) app_->View()->Shutdown();
    app_.reset();
    if (sim_.Port() != 0) sim_.Stop();
  }

  std::string Path(const std::string& name) const { return dir_.filePath(QString::fromStdString(name)).toStdString(); }
  void Ctl(const std::string& args) {
    const std::string command = std::string(ZELTOCTL_EXE) + " " + args + " --device " + sim_.Url() + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  /// What the processor holds, as zeltoctl pulls it.
  std::string Pulled(const std::string& name) {
    Ctl("pull " + Path(name));
    return ReadText(Path(name));
  }
  /// What differs between two pulled files, value by value.
  std::string Diff(const std::string& a, const std::string& b) {
    const std::string out = Path("diff.txt");
    [[maybe_unused]] const int status =
        std::system((std::string(ZELTOCTL_EXE) + " diff " + Path(a) + " " + Path(b) + " >" + out).c_str());
    return ReadText(out);
  }
  /// Answers the microphone question as a user does, with `button`, each time it is asked.
  void AnswerMicrophone(QMessageBox::StandardButton button) {
    auto* answer = new QTimer(app_->View());
    QObject::connect(answer, &QTimer::timeout, [this, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      ++questions_;
      box->button(button)->click();
    });
    answer->start(100);
  }
  /// Waits until the window has sent everything and the processor answered it.
  void Settle() {
    Ctl("info");
    testing::Pump(500ms);
  }

  test::AudioServer server_;
  sim::SimProcess sim_;
  QTemporaryDir dir_;
  std::unique_ptr<CZeltoApp> app_;
  int questions_ = 0;
};

// Not yet reliable: on a busy machine most sweeps through the car's chain are still not found
// (the same trouble as zeltoctl autotune's end-to-end tuning cases), and a tuning made from what
// little was heard can equal the settings it started from. Run it with
// --gtest_also_run_disabled_tests; the undo itself is checked above, and the question's cancel below.
TEST_F(AutoTuneWindow, DISABLED_TunesTheDemoCarAsOneStepThatCtrlZInTheWindowTakesBack) {
  const std::string before = Pulled("before.dsps");
  CZeltoView* view = app_->View();
  AutoTuneDialog* dialog = view->OpenAutoTuneDialog();
  ASSERT_NE(dialog, nullptr);
  AnswerMicrophone(QMessageBox::Ok);
  QTest::mouseClick(dialog->StartButton(), Qt::LeftButton);  // returns when the run has ended
  ASSERT_TRUE(dialog->Report());
  const auto& report = *dialog->Report();
  ASSERT_TRUE(report.tuned) << dialog->LogLines().join(QLatin1Char('\n')).toStdString();
  // Asked for the second position, then for the first and the second again to measure what was
  // set; each answer moved the car's microphone.
  EXPECT_EQ(questions_, 3);
  EXPECT_TRUE(dialog->LogLines().contains(QStringLiteral("Simulated car: position 2 left")));
  EXPECT_GT(dialog->FiguresTable()->rowCount(), 3);
  EXPECT_FALSE(report.tuning.channels.empty());

  // The processor has the tuning; one Ctrl+Z in the window gives it back everything it had.
  ASSERT_TRUE(
      testing::WaitUntil([&] { return !view->editor().Steps().CanRedo() && view->editor().Steps().CanUndo(); }, 1s));
  Settle();
  EXPECT_NE(Pulled("tuned.dsps"), before);
  // The window's shortcut is heard where the window is the active one.
  dialog->close();
  view->window()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(view->window()));
  QTest::keySequence(view->window(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  Settle();
  EXPECT_FALSE(view->editor().Steps().CanUndo());
  EXPECT_TRUE(Pulled("undone.dsps") == before) << Diff("before.dsps", "undone.dsps");
}

TEST_F(AutoTuneWindow, ACancelAtTheMicrophoneQuestionLeavesTheProcessorAsItWas) {
  const std::string before = Pulled("before.dsps");
  // Opened from the file menu's entry.
  app_->View()->RunMenuCommand(menu_cmd::kAutoTune);
  auto* dialog = app_->View()->window()->findChild<AutoTuneDialog*>();
  ASSERT_NE(dialog, nullptr);
  AnswerMicrophone(QMessageBox::Cancel);
  QTest::mouseClick(dialog->StartButton(), Qt::LeftButton);
  ASSERT_TRUE(dialog->Report());
  EXPECT_TRUE(dialog->Report()->cancelled);
  EXPECT_FALSE(dialog->Report()->tuned);
  EXPECT_EQ(questions_, 1);
  EXPECT_FALSE(app_->View()->editor().Steps().CanUndo());
  Settle();
  EXPECT_EQ(Pulled("after.dsps"), before);
  EXPECT_FALSE(fs::exists(Path("state") + "/" + acoustics::kGuardFileName));
}

}  // namespace
}  // namespace zelto
