#include "update/update_transfer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/update_steps.h"
#include "support/engine_harness.h"

namespace zelto {
namespace {

using testing::SimEngine;
using testing::SimKind;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;
using Outcome = UpdateTransfer::StartOutcome;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

class RecordingUpdateView final : public UpdateView {
 public:
  void ShowUpdateMessage(UpdateMessage m) override { messages.push_back(m); }
  void ShowUpdatePath(const std::string& path) override { paths.push_back(path); }
  void ShowUpdateStatus(std::string_view text) override { statuses.emplace_back(text); }
  void SetUpdateRange(int count) override { range = count; }
  void SetUpdatePosition(int p) override { position = p; }

  std::vector<UpdateMessage> messages;
  std::vector<std::string> paths;
  std::vector<std::string> statuses;
  int range = -1;
  int position = -1;
};

Bytes Image(std::size_t n, std::uint8_t first = 0x5C) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), first);
  return b;
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t count) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + count));
}

Bytes Padded(Bytes b, std::size_t size) {
  b.resize(size, 0xFF);
  return b;
}

Bytes Payload(const CSendData& m) {
  const auto f = m.Buffer();
  const std::size_t n = GetU16(f, frame::kPayloadLength);
  return Bytes(f.begin() + frame::kHeaderSize, f.begin() + static_cast<std::ptrdiff_t>(frame::kHeaderSize + n));
}

Lines StepLines(std::initializer_list<std::pair<const char*, int>> steps) {
  Lines out;
  for (const auto& [name, len] : steps)
    out.push_back(std::string("WRITE slot 0 SYSTEM ") + name + " len " + std::to_string(len) + " -> ACK");
  return out;
}

class UpdateFixture {
 protected:
  void Build(SimKind kind, const std::vector<std::string>& simArguments = {}) {
    dir = fs::temp_directory_path() / ("zelto-fw-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    fs::remove_all(dir);
    fs::create_directories(dir);
    sim = std::make_unique<SimEngine>(kind, simArguments);
    transfer = &sim->update();
    transfer->SetView(&view);
    sim->handler = [this](Notice n, std::intptr_t w, std::intptr_t l) { transfer->HandleNotice(n, w, l); };
  }
  void Destroy() {
    if (sim) sim->handler = nullptr;
    transfer = nullptr;
    sim.reset();
    fs::remove_all(dir);
  }
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir / name).string();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  // Until the end was confirmed and the status of every reply has been shown (the end notice
  // is posted before the status of the reply that carries it).
  bool WaitForSuccess(std::chrono::milliseconds timeout = 30s) {
    return sim->PumpUntil(
        [&] {
          return std::find(view.messages.begin(), view.messages.end(), UpdateMessage::UpdateSuccessful) !=
                     view.messages.end() &&
                 sim->Seen(Notice::UpdateStatus) >= transfer->ProgressPosition();
        },
        timeout);
  }
  bool WaitForFailure(std::chrono::milliseconds timeout = 30s) {
    return sim->PumpUntil(
        [&] {
          const auto& m = sim->view.messages;
          return std::find(m.begin(), m.end(), UserMessage::UnableToConnect) != m.end() && !transfer->Updating();
        },
        timeout);
  }
  // Update frames the processor received, as traced.
  Lines UpdateLines() {
    Lines out;
    for (auto& l : sim->FrameLines())
      if (l.find("DSP_") != std::string::npos || l.find("CTRL_") != std::string::npos) out.push_back(l);
    return out;
  }
  void ExpectDisconnectedAfterwards() {
    EXPECT_FALSE(sim->engine().Connected());
    EXPECT_FALSE(sim->engine().Flags().updateMode);
    EXPECT_FALSE(sim->engine().Worker().Running());
    EXPECT_EQ(sim->engine().Queue().Count(), 0u);
  }

  // Durations for paths whose timing is not what the test is about.
  void ShortenWaits() {
    transfer->timing.readWait = 5ms;
    transfer->timing.replyDeadline = 500ms;
    transfer->timing.loaderRestart = 300ms;
    transfer->timing.searchLimit = 300ms;
    if (auto* p = sim->processor()) p->SetRestartTime(50ms);
  }

  static inline int counter = 0;
  fs::path dir;
  RecordingUpdateView view;
  std::unique_ptr<SimEngine> sim;
  UpdateTransfer* transfer = nullptr;
};

class UpdateOnSim : public UpdateFixture, public ::testing::TestWithParam<SimKind> {
 protected:
  // zelto-sim restarts quickly, so that the shortened pause after START also finds it back.
  void SetUp() override { Build(GetParam(), {"--restart-ms", "50"}); }
  void TearDown() override { Destroy(); }
};

// A connected processor, a 600-byte DSP image, the processor's own timing (the 3000 ms pause
// after START included).
TEST_P(UpdateOnSim, DspImageOf600BytesGoesOutAsStartHeaderThreeBlocksAndEnd) {
  ASSERT_TRUE(sim->Connect());
  const Bytes image = Image(600);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(transfer->StartUpdate(Write("main.mva", image)), Outcome::Started);
  EXPECT_EQ(view.range, 600 / 296 + 6);
  ASSERT_TRUE(WaitForSuccess());
  EXPECT_GE(std::chrono::steady_clock::now() - started, update_timing::kLoaderRestart);

  EXPECT_EQ(UpdateLines(), StepLines({{"DSP_START", 16},
                                      {"DSP_HEADER", 4},
                                      {"DSP_BLOCK", 296},
                                      {"DSP_BLOCK", 296},
                                      {"DSP_BLOCK", 296},
                                      {"DSP_END", 1}}));
  if (auto* p = sim->processor()) {
    const auto record = p->UpdateRecord();
    EXPECT_EQ(record.dspHeader, Bytes(4, image[0]));
    EXPECT_EQ(record.dspImage, Padded(image, 3 * 296));
    EXPECT_EQ(record.dspChecksum, DspChecksum(image));
    EXPECT_EQ(record.restarts, 1);
    for (const auto& f : p->Frames()) {
      if (sim::IsUpdateStep(f.ChannelOrItem()) && f.BlockTypeCode() == 4) {
        EXPECT_EQ(f.bytes.size(), f.PayloadLength() + 16u);
      }
    }
  }
  // Six replies, the status texts in the English interface, then a closed connection.
  EXPECT_EQ(view.position, 6);
  EXPECT_EQ(view.statuses, (Lines{"Equipment upgrade ready", "Programming......", "Update successfully!"}));
  EXPECT_EQ(view.messages, std::vector<UpdateMessage>{UpdateMessage::UpdateSuccessful});
  EXPECT_TRUE(sim->engine().Flags().updateFinished);
  ExpectDisconnectedAfterwards();
  EXPECT_TRUE(transfer->RequestClose());
}

TEST_P(UpdateOnSim, DspImageOfExactlyOneBlockHasNoFiller) {
  ShortenWaits();
  const Bytes image = Image(296);
  ASSERT_EQ(transfer->StartUpdate(Write("one.mva", image)), Outcome::Started);
  ASSERT_TRUE(WaitForSuccess());
  EXPECT_EQ(UpdateLines(), StepLines({{"DSP_START", 16}, {"DSP_HEADER", 4}, {"DSP_BLOCK", 296}, {"DSP_END", 1}}));
  if (auto* p = sim->processor()) {
    EXPECT_EQ(p->UpdateRecord().dspImage, image);
  }
  ExpectDisconnectedAfterwards();
}

TEST_P(UpdateOnSim, ControllerImageOf100BytesGoesOutInBlocksOf48) {
  ShortenWaits();
  const Bytes image = Image(100, 0x20);
  ASSERT_EQ(transfer->StartUpdate(Write("hand.contr", image)), Outcome::Started);
  EXPECT_EQ(view.messages, std::vector<UpdateMessage>{UpdateMessage::ControllerWarning});
  ASSERT_TRUE(WaitForSuccess());
  EXPECT_EQ(UpdateLines(), StepLines({{"CTRL_BEGIN1", 16},
                                      {"CTRL_BEGIN2", 16},
                                      {"CTRL_BLOCK", 48},
                                      {"CTRL_BLOCK", 48},
                                      {"CTRL_BLOCK", 48},
                                      {"CTRL_END", 1}}));
  if (auto* p = sim->processor()) {
    const auto record = p->UpdateRecord();
    EXPECT_EQ(record.controllerImage, Padded(image, 3 * 48));
    EXPECT_EQ(record.controllerChecksum, DspChecksum(image));
    EXPECT_EQ(record.restarts, 0);
  }
  EXPECT_EQ(view.statuses,
            (Lines{"Programming......", "Programming......", "Programming......", "DSP end of the update!"}));
  ExpectDisconnectedAfterwards();
}

INSTANTIATE_TEST_SUITE_P(Sim, UpdateOnSim, ::testing::Values(SimKind::InProcess, SimKind::Tcp), testing::KindName);

class UpdateInProcess : public UpdateFixture, public ::testing::Test {
 protected:
  void SetUp() override { Build(SimKind::InProcess); }
  void TearDown() override { Destroy(); }
  sim::SimProcessor& processor() { return *sim->processor(); }
};

// The first builder call after loading only clears the skip flag; the next queues start, header
// and the first block; the one that takes the last bytes queues the final block and the end.
TEST_F(UpdateInProcess, BuilderQueuesFramesLazilyAfterSkippingOneTurn) {
  const Bytes image = Image(600);
  transfer->File().updateFilePath = Write("main.mva", image);
  ASSERT_TRUE(transfer->LoadUpdateFile());
  auto& queue = sim->engine().Queue();
  auto drain = [&] {
    std::vector<std::pair<int, Bytes>> frames;
    while (auto* m = queue.Front()) {
      EXPECT_NE(m->progressStep, 0);
      EXPECT_EQ(m->counted, 0);
      frames.emplace_back(m->updateStep, Payload(*m));
      queue.PopFront();
    }
    return frames;
  };
  using Step = UpdateStep;
  auto code = [](Step s) { return static_cast<int>(s); };
  transfer->UpdateBuilderStep();
  EXPECT_EQ(queue.Count(), 0u);
  transfer->UpdateBuilderStep();
  EXPECT_EQ(drain(), (std::vector<std::pair<int, Bytes>>{{code(Step::DspStart), Bytes(16, 0)},
                                                         {code(Step::DspHeader), Bytes(4, image[0])},
                                                         {code(Step::DspBlock), Slice(image, 0, 296)}}));
  transfer->UpdateBuilderStep();
  EXPECT_EQ(drain(), (std::vector<std::pair<int, Bytes>>{{code(Step::DspBlock), Slice(image, 296, 296)}}));
  transfer->UpdateBuilderStep();
  EXPECT_EQ(drain(), (std::vector<std::pair<int, Bytes>>{{code(Step::DspBlock), Padded(Slice(image, 592, 8), 296)},
                                                         {code(Step::DspEnd), Bytes{DspChecksum(image)}}}));
  transfer->UpdateBuilderStep();
  EXPECT_EQ(queue.Count(), 0u);
}

TEST_F(UpdateInProcess, AReplyThatNeverComesEndsInTheFailurePath) {
  ShortenWaits();
  processor().InjectFault(sim::Fault::DropReply, {1, sim::kEveryFrame});  // all after START
  ASSERT_EQ(transfer->StartUpdate(Write("main.mva", Image(600))), Outcome::Started);
  ASSERT_TRUE(WaitForFailure());
  EXPECT_EQ(UpdateLines(),
            (Lines{"WRITE slot 0 SYSTEM DSP_START len 16 -> ACK", "WRITE slot 0 SYSTEM DSP_HEADER len 4 -> no reply"}));
  EXPECT_EQ(sim->Seen(Notice::LinkFailed), 1);
  EXPECT_EQ(sim->Seen(Notice::UpdateDone), 0);
  EXPECT_TRUE(view.messages.empty());
  ExpectDisconnectedAfterwards();
}

TEST_F(UpdateInProcess, AThirdExchangeForOneMessageFailsTheUpdate) {
  ShortenWaits();
  processor().InjectFault(sim::Fault::Resend);
  ASSERT_EQ(transfer->StartUpdate(Write("main.mva", Image(600))), Outcome::Started);
  ASSERT_TRUE(WaitForFailure());
  EXPECT_EQ(UpdateLines(), (Lines{"WRITE slot 0 SYSTEM DSP_START len 16 -> RESEND",
                                  "WRITE slot 0 SYSTEM DSP_START len 16 -> RESEND"}));
  EXPECT_EQ(processor().UpdateRecord().restarts, 0);
  ExpectDisconnectedAfterwards();
}

// Asked for the end once more, the tool sends it again; only its acknowledgement confirms the image.
TEST_F(UpdateInProcess, AResendOfTheEndIsNotTakenForTheConfirmation) {
  ShortenWaits();
  processor().InjectFault(sim::Fault::Resend, {3, 1});  // START, HEADER, BLOCK pass; END is resent
  ASSERT_EQ(transfer->StartUpdate(Write("one.mva", Image(296))), Outcome::Started);
  ASSERT_TRUE(WaitForSuccess());
  EXPECT_EQ(UpdateLines(),
            (Lines{"WRITE slot 0 SYSTEM DSP_START len 16 -> ACK", "WRITE slot 0 SYSTEM DSP_HEADER len 4 -> ACK",
                   "WRITE slot 0 SYSTEM DSP_BLOCK len 296 -> ACK", "WRITE slot 0 SYSTEM DSP_END len 1 -> RESEND",
                   "WRITE slot 0 SYSTEM DSP_END len 1 -> ACK"}));
  EXPECT_EQ(sim->Seen(Notice::UpdateDone), 1);
  EXPECT_EQ(view.position, 5);
  ExpectDisconnectedAfterwards();
}

// The processor goes away in the middle of the blocks: the transfer ends through the failure path.
TEST_F(UpdateInProcess, AProcessorThatVanishesMidTransferFailsTheUpdate) {
  ShortenWaits();
  processor().VanishDuringUpdate(4);  // the second block
  ASSERT_EQ(transfer->StartUpdate(Write("main.mva", Image(1000))), Outcome::Started);
  ASSERT_TRUE(WaitForFailure());
  EXPECT_EQ(sim->Seen(Notice::UpdateDone), 0);
  EXPECT_EQ(std::count(sim->view.messages.begin(), sim->view.messages.end(), UserMessage::UnableToConnect), 1);
  ExpectDisconnectedAfterwards();
}

TEST_F(UpdateInProcess, AProcessorThatDoesNotComeBackAfterStartFailsTheUpdate) {
  ShortenWaits();
  processor().SetRestartTime(sim::kForever);
  ASSERT_EQ(transfer->StartUpdate(Write("main.mva", Image(600))), Outcome::Started);
  ASSERT_TRUE(WaitForFailure());
  EXPECT_EQ(UpdateLines(), StepLines({{"DSP_START", 16}}));
  ExpectDisconnectedAfterwards();
}

TEST_F(UpdateInProcess, NoProcessorWithinTheSearchTime) {
  ShortenWaits();
  processor().Unplug();
  EXPECT_EQ(transfer->StartUpdate(Write("main.mva", Image(600))), Outcome::NotFound);
  EXPECT_EQ(sim->view.messages, std::vector<UserMessage>{UserMessage::UnableToConnect});
  ASSERT_FALSE(view.statuses.empty());
  EXPECT_EQ(view.statuses.back(), "Search for upgraded devices");
  EXPECT_FALSE(transfer->Updating());
  EXPECT_FALSE(sim->engine().Worker().Running());
}

TEST_F(UpdateInProcess, AFileThatCannotBeUsedStartsNothing) {
  ASSERT_TRUE(sim->Connect());
  const std::string missing = (dir / "gone.mva").string();
  EXPECT_EQ(transfer->StartUpdate(missing), Outcome::FileRefused);
  EXPECT_EQ(view.messages, std::vector<UpdateMessage>{UpdateMessage::HexFileError});
  EXPECT_EQ(view.paths, Lines{""});  // the path field is emptied
  EXPECT_EQ(transfer->StartUpdate(Write("empty.mva", {})), Outcome::FileRefused);
  EXPECT_EQ(transfer->StartUpdate(Write("main.hex", Image(10))), Outcome::FileRefused);
  EXPECT_EQ(view.messages.back(), UpdateMessage::WrongFileType);
  // The normal connection was not touched.
  EXPECT_TRUE(sim->engine().Connected());
  EXPECT_FALSE(sim->engine().Flags().updateMode);
}

TEST_F(UpdateInProcess, WhileUpdatingTheDialogStaysOpenAndStartDoesNothing) {
  ShortenWaits();
  processor().SetReplyDelay(100ms);
  const std::string path = Write("main.mva", Image(2000));
  ASSERT_EQ(transfer->StartUpdate(path), Outcome::Started);
  EXPECT_FALSE(transfer->RequestClose());
  EXPECT_FALSE(transfer->Browse(std::string("/fw/other.mva")));
  EXPECT_EQ(transfer->StartUpdate(path), Outcome::Busy);
  EXPECT_EQ(view.messages, (std::vector<UpdateMessage>{UpdateMessage::DontClose, UpdateMessage::DontClose}));
  EXPECT_EQ(transfer->UpdateFilePath(), path);
  EXPECT_EQ(UpdateMessageText(UpdateMessage::DontClose, Language::Chinese), "更新中 请勿关闭!");
  ASSERT_TRUE(WaitForSuccess());
  EXPECT_TRUE(transfer->RequestClose());
  EXPECT_TRUE(transfer->Browse(std::string("/fw/other.mva")));
  EXPECT_EQ(sim->settings.Get(update_file::kSettingsKey, update_file::kNameValue), "/fw/other.mva");
}

// The reply is requested again after a read wait that found nothing and is scanned only after
// the next read wait, when the deadline has passed: found in that scan, it still counts. (The
// controller's begin steps wait 5000 ms against a 10.0 s deadline; scaled down here.)
TEST_F(UpdateInProcess, AReplyFoundInTheScanAfterTheDeadlineStillCounts) {
  ShortenWaits();
  transfer->timing.readWait = 400ms;
  transfer->timing.replyDeadline = 600ms;
  processor().SetReplyDelay(200ms);
  ASSERT_EQ(transfer->StartUpdate(Write("hand.contr", Image(10))), Outcome::Started);
  ASSERT_TRUE(WaitForSuccess());
  EXPECT_EQ(sim->Seen(Notice::LinkFailed), 0);
  EXPECT_EQ(UpdateLines().size(), 4u);
}

TEST(UpdateTiming, ReadWaitsByStep) {
  EXPECT_EQ(UpdateReadWait(0xB0), 2ms);
  EXPECT_EQ(UpdateReadWait(0xB2), 2ms);
  EXPECT_EQ(UpdateReadWait(0xE0), 5000ms);
  EXPECT_EQ(UpdateReadWait(0xE1), 5000ms);
  EXPECT_EQ(UpdateReadWait(0xE2), 600ms);
  EXPECT_EQ(UpdateReadWait(0xE3), 300ms);
  EXPECT_EQ(UpdateReadWait(0x10), 0ms);
}

TEST(UpdateTexts, StatusLineByStepAndLanguage) {
  EXPECT_EQ(UpdateStatusText(0xB0, Language::Chinese), "设备升级准备就绪");
  EXPECT_EQ(UpdateStatusText(0xB3, Language::Chinese), "更新完成!");
  EXPECT_EQ(UpdateStatusText(0xE1, Language::Chinese), "数据传输");
  EXPECT_EQ(UpdateStatusText(0xE1, Language::English), "");
  EXPECT_EQ(UpdateStatusText(0xE2, Language::Chinese), "DSP更新开始");
  EXPECT_EQ(UpdateStatusText(0xE3, Language::English), "DSP end of the update!");
  EXPECT_EQ(UpdateStatusText(0xB1, Language::English), "");
  EXPECT_EQ(SearchStatusText(Language::Chinese), "搜索待升级设备");
  EXPECT_EQ(UpdateMessageText(UpdateMessage::UpdateSuccessful, Language::Chinese), "固件更新完成!");
}

}  // namespace
}  // namespace zelto
