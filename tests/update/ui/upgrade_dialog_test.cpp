#include "update/ui/upgrade_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QLineEdit>
#include <QProgressBar>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "controls/bit_button.h"
#include "controls/font_static.h"
#include "controls/input_events.h"
#include "controls/xp_button.h"
#include "core/update_steps.h"
#include "presets/ui/dialog_fixture.h"

namespace zelto {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::Click;
using testing::Key;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kStep = [](UpdateStep s) { return static_cast<std::uint8_t>(s); };

Bytes Image(std::size_t n) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), std::uint8_t{0x21});
  return b;
}

class UpgradeDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    dir =
        fs::temp_directory_path() / ("zelto-update-ui-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    fs::remove_all(dir);
    fs::create_directories(dir);
    // The processor's own pauses are not what these tests are about.
    sim.processor().SetRestartTime(50ms);
    transfer.timing.readWait = 2ms;
    transfer.timing.loaderRestart = 200ms;
    transfer.timing.replyDeadline = 2000ms;
    transfer.timing.searchLimit = 300ms;
  }
  void TearDown() override {
    sim.handler = nullptr;
    fs::remove_all(dir);
  }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  UpgradeDialogHooks Hooks() {
    return {.inform = [this](const QString& t) { informed.push_back(t); },
            .chooseFile =
                [this](const QString& filter) {
                  filters.push_back(filter);
                  return chosen;
                }};
  }
  // The main view's forwarding while the dialog is open.
  void Forward(UpgradeDlg& dialog) {
    sim.handler = [&dialog](Notice n, std::intptr_t w, std::intptr_t l) { dialog.HandleNotice(n, w, l); };
  }
  bool Informed(const QString& text) const {
    return std::find(informed.begin(), informed.end(), text) != informed.end();
  }

  static inline int counter = 0;
  fs::path dir;
  testing::SimDialogFixture sim;
  UpdateTransfer& transfer = sim.runtime().update();
  std::vector<QString> informed, filters;
  std::optional<QString> chosen;
};

TEST_F(UpgradeDialog, StartButtonRunsADspImageToUpdateSuccessfully) {
  ASSERT_TRUE(sim.Connect());
  const Bytes image = Image(2 * 296 + 8);
  UpgradeDlg dialog(transfer, Language::English, Hooks());
  Forward(dialog);
  EXPECT_EQ(dialog.windowTitle(), "Device Firmware Update");
  EXPECT_FALSE(dialog.StatusLine()->isVisibleTo(&dialog));  // created hidden

  dialog.PathField()->setText(QString::fromStdString(Write("dsp v2.mva", image)));
  Click(dialog.StartButton(), dialog.StartButton()->rect().center());
  ASSERT_TRUE(transfer.Updating());
  EXPECT_TRUE(dialog.StartButton()->IsOn());  // shows that the update runs
  EXPECT_EQ(dialog.ProgressBar()->maximum(), 2 + 6);

  ASSERT_TRUE(sim.Pump([&] { return Informed("Update successfully!"); }, 30s));
  sim.PumpFor(50ms);
  const sim::SimUpdateRecord record = sim.processor().UpdateRecord();
  EXPECT_EQ(record.steps, (std::vector<std::uint8_t>{kStep(UpdateStep::DspStart), kStep(UpdateStep::DspHeader),
                                                     kStep(UpdateStep::DspBlock), kStep(UpdateStep::DspBlock),
                                                     kStep(UpdateStep::DspBlock), kStep(UpdateStep::DspEnd)}));
  Bytes sent = image;
  sent.resize(3 * 296, 0xFF);
  EXPECT_EQ(record.dspImage, sent);
  EXPECT_EQ(record.dspChecksum, DspChecksum(image));
  EXPECT_EQ(dialog.StatusLine()->ShownText(), "Update successfully!");
  EXPECT_TRUE(dialog.StatusLine()->isVisibleTo(&dialog));
  EXPECT_EQ(dialog.ProgressBar()->value(), dialog.ProgressBar()->maximum());
  EXPECT_FALSE(transfer.Updating());
  EXPECT_FALSE(dialog.StartButton()->IsOn());
  EXPECT_FALSE(sim.engine().Connected());  // the user connects again
  EXPECT_EQ(informed, std::vector<QString>{"Update successfully!"});
}

TEST_F(UpgradeDialog, RefusesToCloseWhileUpdatingAndClosesAfterwards) {
  const Bytes image = Image(6 * 296);
  sim.engine().language = Language::Chinese;  // the status line's words come from the engine
  UpgradeDlg dialog(transfer, Language::Chinese, Hooks());
  Forward(dialog);
  dialog.show();
  dialog.PathField()->setText(QString::fromStdString(Write("fw.mva", image)));
  ASSERT_EQ(dialog.Start(), UpdateTransfer::StartOutcome::Started);

  const QString dontClose = QString::fromUtf8("更新中 请勿关闭!");
  // The close box, reject, close(), Escape and Enter: the dialog stays.
  Click(dialog.CloseButton(), dialog.CloseButton()->rect().center());
  dialog.reject();
  dialog.close();
  Key(&dialog, Qt::Key_Escape);
  Key(&dialog, Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(std::count(informed.begin(), informed.end(), dontClose), 3);
  // Browse only warns; start does nothing.
  chosen = QStringLiteral("/elsewhere/other.mva");
  Click(dialog.BrowseButton(), dialog.BrowseButton()->rect().center());
  EXPECT_TRUE(filters.empty());
  EXPECT_EQ(std::count(informed.begin(), informed.end(), dontClose), 4);
  EXPECT_EQ(dialog.Start(), UpdateTransfer::StartOutcome::Busy);

  ASSERT_TRUE(sim.Pump([&] { return Informed(QString::fromUtf8("固件更新完成!")); }, 30s));
  EXPECT_EQ(dialog.StatusLine()->ShownText(), QString::fromUtf8("更新完成!"));
  EXPECT_EQ(sim.processor().UpdateRecord().dspImage, image);
  // Enter and Escape never close it, not even now; the close box does.
  Key(&dialog, Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  Click(dialog.CloseButton(), dialog.CloseButton()->rect().center());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(sim.engine().Flags().updateMode);
}

TEST_F(UpgradeDialog, AProcessorLostMidwayFreesTheDialog) {
  transfer.timing.replyDeadline = 300ms;
  UpgradeDlg dialog(transfer, Language::English, Hooks());
  Forward(dialog);
  dialog.show();
  dialog.PathField()->setText(QString::fromStdString(Write("fw.mva", Image(8 * 296))));
  sim.processor().VanishDuringUpdate(4);
  ASSERT_EQ(dialog.Start(), UpdateTransfer::StartOutcome::Started);
  ASSERT_TRUE(sim.Pump([&] { return !transfer.Updating(); }, 30s));
  EXPECT_EQ(sim.view().messages, std::vector<UserMessage>{UserMessage::UnableToConnect});
  EXPECT_FALSE(dialog.StartButton()->IsOn());
  EXPECT_FALSE(Informed("Update successfully!"));
  dialog.reject();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(informed.empty());
}

struct RefusedFile {
  const char* what;
  const char* name;  // nullptr: a file that does not exist
  std::size_t size;
  Language lang;
  const char* message;
  bool pathKept;
};

void PrintTo(const RefusedFile& c, std::ostream* os) { *os << c.what; }

class RefusedFiles : public UpgradeDialog, public ::testing::WithParamInterface<RefusedFile> {};

TEST_P(RefusedFiles, ShowTheirMessageAndSendNothing) {
  ASSERT_TRUE(sim.Connect());
  sim.processor().ClearFrameLog();
  UpgradeDlg dialog(transfer, GetParam().lang, Hooks());
  Forward(dialog);
  const std::string path =
      GetParam().name ? Write(GetParam().name, Image(GetParam().size)) : (dir / "missing.mva").string();
  dialog.PathField()->setText(QString::fromStdString(path));
  EXPECT_EQ(dialog.Start(), UpdateTransfer::StartOutcome::FileRefused);
  EXPECT_EQ(informed, std::vector<QString>{QString::fromUtf8(GetParam().message)});
  EXPECT_EQ(dialog.PathField()->text(), GetParam().pathKept ? QString::fromStdString(path) : QString());
  EXPECT_FALSE(transfer.Updating());
  EXPECT_FALSE(dialog.StartButton()->IsOn());
  EXPECT_TRUE(sim.engine().Connected());  // nothing else changed
  EXPECT_TRUE(sim.processor().UpdateRecord().steps.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Start, RefusedFiles,
    ::testing::Values(RefusedFile{"Missing", nullptr, 0, Language::English, "Hex File error!", false},
                      RefusedFile{"MissingChinese", nullptr, 0, Language::Chinese, "固件文件错误!", false},
                      RefusedFile{"CapitalExtension", "fw.MVA", 500, Language::English, "升级文件类型错误！", true},
                      RefusedFile{"Empty", "empty.mva", 0, Language::English, "Hex File error!", true}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(UpgradeDialog, BrowseShowsTheChosenFileAndRemembersIt) {
  UpgradeDlg dialog(transfer, Language::English, Hooks());
  dialog.PathField()->setText(QStringLiteral("typed.mva"));
  chosen.reset();  // cancelled: nothing changes
  Click(dialog.BrowseButton(), dialog.BrowseButton()->rect().center());
  EXPECT_EQ(dialog.PathField()->text(), "typed.mva");
  EXPECT_EQ(filters, std::vector<QString>{"*.contr;*.mva (*.contr *.mva)"});

  chosen = QString::fromStdString((dir / "new dsp.mva").string());
  Click(dialog.BrowseButton(), dialog.BrowseButton()->rect().center());
  EXPECT_EQ(dialog.PathField()->text(), *chosen);
  EXPECT_EQ(transfer.UpdateFilePath(), chosen->toStdString());
  // The next dialog opens with it.
  UpgradeDlg again(transfer, Language::English, Hooks());
  EXPECT_EQ(again.PathField()->text(), *chosen);
}

TEST_F(UpgradeDialog, NoProcessorWithinTheSearchLeavesTheDialogFree) {
  sim.processor().Unplug();
  UpgradeDlg dialog(transfer, Language::English, Hooks());
  dialog.show();
  dialog.PathField()->setText(QString::fromStdString(Write("fw.mva", Image(400))));
  EXPECT_EQ(dialog.Start(), UpdateTransfer::StartOutcome::NotFound);
  EXPECT_EQ(dialog.StatusLine()->ShownText(), "Search for upgraded devices");
  EXPECT_EQ(sim.view().messages, std::vector<UserMessage>{UserMessage::UnableToConnect});
  EXPECT_FALSE(transfer.Updating());
  dialog.reject();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(informed.empty());
}

}  // namespace
}  // namespace zelto
