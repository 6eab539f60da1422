// What the window says when its link goes, whether it freezes meanwhile, and a second program on
// the same simulated processor beside it: zelto-sim, the real window and zeltoctl.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "app/view_ids.h"
#include "app_harness.h"
#include "controls/bitmap_slider.h"
#include "sim/sim_process.h"
#include "tests/support/child_process.h"

namespace zelto {
namespace {

using testing::WaitUntil;
using namespace std::chrono_literals;

/// The editor as a user starts it, on a running zelto-sim.
struct EditorOn {
  explicit EditorOn(const std::string& url, bool collectMessages = true) {
    AppOptions options;
    options.language = Language::English;
    options.device = url;
    app = std::make_unique<CZeltoApp>(options, std::make_unique<MemorySettings>(), nullptr);
    QString error;
    started = app->InitInstance(&error);
    if (collectMessages) view()->SetMessageHandler([this](const QString& text) { messages.append(text); });
  }
  CZeltoView* view() const { return app->View(); }
  std::unique_ptr<CZeltoApp> app;
  bool started = false;
  QStringList messages;
};

/// Records every modal window that comes up (and closes it, so that the test goes on).
class ModalWatch {
 public:
  ModalWatch() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        seen_.append(box ? box->text() : modal->objectName());
        modal->close();
      }
    });
    timer_.start(20);
  }
  const QStringList& Seen() const { return seen_; }

 private:
  QTimer timer_;
  QStringList seen_;
};

/// Runs zeltoctl with `arguments` while the event loop turns; its exit code, or -1.
int RunZeltoctl(const std::vector<std::string>& arguments, QString* out) {
  QTemporaryDir dir;
  testing::ChildProcess ctl(ZELTOCTL_EXE, arguments, dir.filePath(QStringLiteral("zeltoctl")).toStdString());
  if (!ctl.Started()) return -1;
  WaitUntil([&] { return !ctl.Running(); }, 30s);
  if (out) *out = QString::fromStdString(ctl.Out() + ctl.Err());
  return ctl.Running() ? -1 : ctl.Wait();
}

bool SettingsWriteFrom(const std::vector<std::string>& lines, std::size_t from) {
  return std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end(),
                     [](const std::string& l) {
                       return l.find("WRITE") != std::string::npos && l.find("SETTINGS") != std::string::npos;
                     });
}

TEST(SecondClient, ZeltoctlBesideTheWindowIsServedAndDisturbsNothing) {
  sim::SimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.Start(ZELTO_SIM_EXE, {"--trace"}, &error)) << error;
  EditorOn editor(sim.Url());
  ASSERT_TRUE(editor.started);
  CZeltoView* view = editor.view();
  ASSERT_TRUE(WaitUntil([&] { return view->Settled(); }, testing::kConnectTimeout));
  ASSERT_TRUE(view->engine().Connected());

  const std::string url = sim.Url();
  QString said;
  EXPECT_EQ(RunZeltoctl({"info", "--device", url}, &said), 0) << said.toStdString();
  EXPECT_TRUE(said.contains(QStringLiteral("KVN-734"))) << said.toStdString();
  EXPECT_EQ(RunZeltoctl({"set", "--device", url, "ch3.gain=-6"}, &said), 0) << said.toStdString();

  // The window kept its link through both, and its next edit still reaches the processor.
  EXPECT_TRUE(view->engine().Connected());
  const std::size_t before = sim.Lines().size();
  auto* master = view->Control<BitmapSlider>(view_id::kMasterVolumeSlider);
  QTest::keyClick(master, Qt::Key_Up);
  QTest::keyClick(master, Qt::Key_Down);
  EXPECT_TRUE(WaitUntil([&] { return SettingsWriteFrom(sim.Lines(), before); }, 10s));
  EXPECT_TRUE(view->engine().Connected());
  EXPECT_TRUE(editor.messages.isEmpty()) << editor.messages.join(QStringLiteral("; ")).toStdString();
  view->Shutdown();
}

TEST(LinkLoss, AProcessorThatComesBackIsNoMessageAndOneThatStaysAwayIsToldWhy) {
  struct Case {
    const char* what;
    std::vector<std::string> simArguments;
    bool comesBack;
  };
  // The read-back and a few status polls come first; then the processor closes the link.
  const std::vector<Case> cases = {
      {"back after 300 ms", {"--disconnect-after", "40", "--replug-ms", "300"}, true},
      {"away for good", {"--disconnect-after", "40"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::SimProcess sim;
    std::string error;
    ASSERT_TRUE(sim.Start(ZELTO_SIM_EXE, c.simArguments, &error)) << error;
    ModalWatch modals;
    EditorOn editor(sim.Url(), false);  // the window's own message boxes
    ASSERT_TRUE(editor.started);
    CZeltoView* view = editor.view();
    ASSERT_TRUE(WaitUntil([&] { return view->Settled() && view->engine().Connected(); }, testing::kConnectTimeout));
    ASSERT_TRUE(WaitUntil([&] { return !view->engine().Connected(); }, 30s));
    if (c.comesBack) {
      ASSERT_TRUE(WaitUntil([&] { return view->engine().Connected() && view->Settled(); }, 20s));
      testing::Pump(4s);  // past the time a message would wait for the processor
      EXPECT_EQ(view->LinkLossMessage(), nullptr);
    } else {
      ASSERT_TRUE(WaitUntil([&] { return view->LinkLossMessage() != nullptr; }, 10s));
      auto* box = qobject_cast<QMessageBox*>(view->LinkLossMessage());
      ASSERT_NE(box, nullptr);
      EXPECT_FALSE(box->isModal());
      EXPECT_TRUE(box->text().startsWith(QStringLiteral("unable to connect\n\n"))) << box->text().toStdString();
      EXPECT_TRUE(box->text().contains(QStringLiteral("went away"))) << box->text().toStdString();
    }
    EXPECT_TRUE(modals.Seen().isEmpty()) << modals.Seen().join(QStringLiteral("; ")).toStdString();
    view->Shutdown();
  }
}

TEST(LinkLoss, TheWindowKeepsTurningThroughALostReplyAndThenSaysWhy) {
  // One reply lost after the read-back: the link waits its full deadline for it, then gives up.
  constexpr int kAnswered = 40;
  sim::SimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.Start(ZELTO_SIM_EXE,
                        {"--trace", "--drop-reply", "--fault-after", std::to_string(kAnswered), "--fault-count", "1"},
                        &error))
      << error;
  EditorOn editor(sim.Url());
  ASSERT_TRUE(editor.started);
  CZeltoView* view = editor.view();
  ASSERT_TRUE(WaitUntil([&] { return view->Settled() && view->engine().Connected(); }, testing::kConnectTimeout));
  ASSERT_NE(view->Recovery(), nullptr) << "the recovery file's timer is what used to wait for the link";
  // The frame whose reply is lost has arrived: the link now waits for it.
  ASSERT_TRUE(WaitUntil([&] { return sim.Lines().size() > kAnswered; }, 20s));

  // The longest time between two turns of the event loop over most of the wait.
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0;
  qint64 longest = 0;
  QTimer beat;
  QObject::connect(&beat, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    longest = std::max(longest, now - last);
    last = now;
  });
  beat.start(5);
  testing::Pump(2s);
  beat.stop();
  EXPECT_TRUE(view->engine().Connected()) << "the wait was over before the measurement";
  EXPECT_LT(longest, 100) << "the window stood still for " << longest << " ms";

  ASSERT_TRUE(WaitUntil([&] { return !view->engine().Connected(); }, 30s));
  ASSERT_TRUE(WaitUntil([&] { return !editor.messages.isEmpty(); }, 10s));
  const QString& text = editor.messages.front();
  EXPECT_TRUE(text.startsWith(QStringLiteral("unable to connect\n\n"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("did not answer in time"))) << text.toStdString();
  view->Shutdown();
}

}  // namespace
}  // namespace zelto
