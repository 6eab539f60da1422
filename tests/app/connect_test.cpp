// The editor against the in-process simulated processor: automatic connect, identity check,
// read-back with the progress window, what the form shows afterwards, top-bar sends, shut-down.
#include <gtest/gtest.h>

#include <QTest>

#include "app/car_picture.h"
#include "app/main_frame.h"
#include "app/transfer_window.h"
#include "app/view_ids.h"
#include "app_harness.h"
#include "controls/bitmap_slider.h"
#include "controls/com_box_btn.h"
#include "controls/num_edit.h"
#include "controls/xp_button.h"
#include "core/bytes.h"
#include "link/hid_link.h"
#include "sim/sim_process.h"
#include "support/refusing_transport.h"

namespace zelto {
namespace {

using testing::StartedEditor;
using testing::WaitUntil;

constexpr auto kFrameWait = std::chrono::milliseconds(5000);

bool IsSettingsWrite(const sim::SimFrameRecord& f) {
  return f.valid && f.Command() == static_cast<std::uint8_t>(Command::Write) &&
         f.BlockTypeCode() == static_cast<std::uint8_t>(BlockType::System) &&
         f.ChannelOrItem() == static_cast<std::uint8_t>(SystemItem::Settings);
}

std::optional<sim::SimFrameRecord> WaitForFrame(sim::SimProcessor& processor,
                                                const std::function<bool(const sim::SimFrameRecord&)>& match) {
  std::optional<sim::SimFrameRecord> found;
  WaitUntil(
      [&] {
        for (const auto& f : processor.Frames())
          if (match(f)) {
            found = f;
            return true;
          }
        return false;
      },
      kFrameWait);
  return found;
}

class ConnectTest : public ::testing::Test {
 protected:
  void Start(Language lang) {
    editor = std::make_unique<StartedEditor>(lang, true);
    ASSERT_TRUE(editor->started);
    view = editor->view();
  }
  void WaitForReadBack() {
    ASSERT_TRUE(WaitUntil([&] { return view->Settled(); }, testing::kConnectTimeout));
    ASSERT_TRUE(view->engine().Connected());
  }
  std::unique_ptr<StartedEditor> editor;
  CZeltoView* view = nullptr;
};

TEST_F(ConnectTest, AutomaticConnectReadsTheProcessorBackAndShowsIt) {
  // The processor runs settings of its own, which the form must show after the read-back.
  auto processor = std::make_shared<sim::SimProcessor>();
  processor->EditMemory([](DeviceImage& m) {
    PutS16(m.systemArea, sys::kMasterVolume, 33);
    m.systemArea[sys::kSource] = 2;
    m.systemArea[sys::kNoiseGate] = 5;
    m.ChannelTypes()[6] = 22;  // the subwoofer strip becomes the left subwoofer
    PutU16(m.Block(0, BlockType::Output, 2), out::kGain, 41);
  });
  AppOptions options;
  options.language = Language::Chinese;
  auto store = std::make_unique<MemorySettings>();
  MemorySettings* settings = store.get();
  CZeltoApp app(options, std::move(store), std::make_unique<sim::SimTransport>(processor));
  QString error;
  ASSERT_TRUE(app.InitInstance(&error));
  view = app.View();
  QStringList messages;
  view->SetMessageHandler([&](const QString& t) { messages.append(t); });

  // The progress window comes up for the read-back and the form takes no input meanwhile.
  ASSERT_TRUE(WaitUntil([&] { return view->TransferShown() || view->ReadBackDone(); }, testing::kConnectTimeout));
  if (view->TransferShown()) {
    EXPECT_FALSE(view->isEnabled());
    EXPECT_EQ(view->Transfer()->Caption(), QStringLiteral("数据传输中"));
    EXPECT_EQ(view->Transfer()->Range(), kReadBackRange);
  }
  ASSERT_TRUE(WaitUntil([&] { return view->Settled(); }, testing::kConnectTimeout));
  EXPECT_TRUE(view->engine().Connected());
  EXPECT_TRUE(view->ReadBackDone());
  EXPECT_FALSE(view->TransferShown());
  EXPECT_TRUE(view->isEnabled());
  EXPECT_EQ(view->Transfer()->Position(), kReadBackRange);
  EXPECT_TRUE(messages.isEmpty());

  // Identity request, then the 19 reads of the read-back.
  int reads = 0;
  for (const auto& f : processor->Frames())
    if (f.valid && f.Command() == static_cast<std::uint8_t>(Command::Read) &&
        !(f.BlockTypeCode() == static_cast<std::uint8_t>(BlockType::System) &&
          f.ChannelOrItem() == static_cast<std::uint8_t>(SystemItem::Status)))
      ++reads;
  EXPECT_GE(reads, 1 + kReadBackMessages);

  EXPECT_EQ(view->DeviceTextShown(), QStringLiteral("KVN-734-31EQ-V3.0"));
  EXPECT_TRUE(view->Control<XPButton>(view_id::kConnect)->IsOn());
  EXPECT_EQ(view->Control<NumEdit>(view_id::kMasterVolumeBox)->GetValue(), 33);
  EXPECT_EQ(view->Control<ComBoxBtn>(view_id::kSourceList)->CurrentText(), QStringLiteral("蓝牙"));
  EXPECT_EQ(view->Control<ComBoxBtn>(view_id::kNoiseGateList)->Selection(), 5);
  EXPECT_EQ(view->Control<NumEdit>(view_id::kFirstStripGainBox + 2)->GetValue(), 41);
  EXPECT_EQ(view->Control<BitmapSlider>(view_id::kFirstStripGainSlider + 2)->Value(), 41);
  // Type 22 lights the left subwoofer position; the plain subwoofer position is gone.
  EXPECT_TRUE(view->Car()->Button(22)->isVisible());
  EXPECT_FALSE(view->Car()->Button(24)->isVisible());

  // Shutting down releases this program's claim on the device in use, and only once: a claim
  // written afterwards (by a later owner) survives the frame's own close.
  settings->Set(kClaimsKey, std::string(sim::SimTransport::kPath), "1");
  view->Shutdown();
  EXPECT_FALSE(view->engine().Worker().Running() && view->engine().Worker().WorkerRunning());
  EXPECT_FALSE(settings->Get(kClaimsKey, std::string(sim::SimTransport::kPath)).has_value());
  settings->Set(kClaimsKey, std::string(sim::SimTransport::kPath), "1");
  view->Shutdown();
  app.Frame()->close();
  EXPECT_EQ(settings->Get(kClaimsKey, std::string(sim::SimTransport::kPath)), "1");
}

TEST_F(ConnectTest, TopBarEditsReachTheProcessorAsSettingsWrites) {
  Start(Language::English);
  WaitForReadBack();
  sim::SimProcessor& processor = *editor->processor;
  const std::uint8_t soundOn = view->engine().Image().MasterSwitch();

  processor.ClearFrameLog();
  QTest::mouseClick(view->Control<XPButton>(view_id::kMasterMute), Qt::LeftButton);
  auto frame = WaitForFrame(processor, IsSettingsWrite);
  ASSERT_TRUE(frame.has_value());
  ASSERT_GE(frame->PayloadLength(), 8u);
  EXPECT_EQ(frame->Payload()[sys::kMasterSwitch], soundOn ? 0 : 1);

  processor.ClearFrameLog();
  QTest::keyClick(view->Control<BitmapSlider>(view_id::kMasterVolumeSlider), Qt::Key_Home);
  frame = WaitForFrame(processor, IsSettingsWrite);
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(GetS16(frame->Payload(), sys::kMasterVolume), 0);
  EXPECT_TRUE(WaitUntil([&] { return processor.Memory().MasterVolume() == 0; }, kFrameWait));
}

TEST_F(ConnectTest, ConnectButtonDisconnectsSilentlyAndConnectsAgain) {
  Start(Language::English);
  WaitForReadBack();
  auto* connect = view->Control<XPButton>(view_id::kConnect);
  QTest::mouseClick(connect, Qt::LeftButton);
  EXPECT_FALSE(view->engine().Connected());
  EXPECT_FALSE(connect->IsOn());
  EXPECT_TRUE(view->DeviceTextShown().isEmpty());
  EXPECT_TRUE(editor->messages.isEmpty());

  QTest::mouseClick(connect, Qt::LeftButton);
  EXPECT_TRUE(view->engine().Connected());
  ASSERT_TRUE(WaitUntil([&] { return view->ReadBackDone() && !view->TransferShown(); }, testing::kConnectTimeout));
  EXPECT_TRUE(connect->IsOn());
}

TEST_F(ConnectTest, AFailedReportTheDeviceSurvivedKeepsTheConnectionAndItsIdentity) {
  Start(Language::English);
  WaitForReadBack();
  const QString identity = view->DeviceTextShown();
  ASSERT_FALSE(identity.isEmpty());
  view->Post(Notice::DeviceRemoved, 1, 0);  // as the worker posts a failed report
  testing::Pump();
  EXPECT_TRUE(view->engine().Connected());
  EXPECT_EQ(view->DeviceTextShown(), identity);
  EXPECT_TRUE(editor->messages.isEmpty());
}

TEST_F(ConnectTest, SilentProcessorEndsWithUnableToConnect) {
  Start(Language::English);
  WaitForReadBack();
  editor->processor->InjectFault(sim::Fault::DropReply);
  ASSERT_TRUE(WaitUntil([&] { return !view->engine().Connected(); }, testing::kConnectTimeout));
  // Told after a short grace, in which a processor that comes back would have made it moot.
  ASSERT_TRUE(WaitUntil([&] { return !editor->messages.isEmpty(); }, kFrameWait));
  EXPECT_EQ(editor->messages.front(),
            QStringLiteral("unable to connect\n\nThe processor did not answer in time, so the connection was closed.\n"
                           "Check the USB cable and the processor's power, then connect again."));
  EXPECT_FALSE(view->Control<XPButton>(view_id::kConnect)->IsOn());
  EXPECT_TRUE(view->isEnabled());
}

TEST_F(ConnectTest, OldFirmwareAsksForAnUpdate) {
  Start(Language::Chinese);
  WaitForReadBack();
  editor->processor->InjectFault(sim::Fault::EmptyData);
  // Only reads are answered with empty data: ask for a reconnect, whose read-back reads.
  QTest::mouseClick(view->Control<XPButton>(view_id::kConnect), Qt::LeftButton);
  QTest::mouseClick(view->Control<XPButton>(view_id::kConnect), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !editor->messages.isEmpty(); }, testing::kConnectTimeout));
  EXPECT_EQ(editor->messages.front(), QStringLiteral("数据回传错误!"));
  EXPECT_FALSE(view->engine().Connected());
  EXPECT_TRUE(view->isEnabled());
}

TEST(ConnectOverTcp, EditorStaysConnectedAndEditingAgainstAOneClientDeviceSide) {
  // A device side that serves one connection at a time, reached the way a user reaches it.
  sim::SimProcess process;
  std::string error;
  ASSERT_TRUE(process.Start(ZELTO_SIM_EXE, {"--one-client", "--trace"}, &error)) << error;
  AppOptions options;
  options.language = Language::English;
  options.device = process.Url();
  CZeltoApp app(options, std::make_unique<MemorySettings>(), nullptr);
  QString why;
  ASSERT_TRUE(app.InitInstance(&why)) << why.toStdString();
  CZeltoView* view = app.View();
  QStringList messages;
  view->SetMessageHandler([&](const QString& text) { messages.append(text); });
  ASSERT_TRUE(WaitUntil([&] { return view->Settled(); }, testing::kConnectTimeout));

  // Over ten seconds the watcher looks about ten times; each look must leave the link alone.
  auto* master = view->Control<BitmapSlider>(view_id::kMasterVolumeSlider);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int step = 0;
  while (std::chrono::steady_clock::now() < end) {
    ++step;
    QTest::keyClick(master, step % 2 ? Qt::Key_Up : Qt::Key_Down);
    testing::Pump(std::chrono::milliseconds(250));
    ASSERT_TRUE(view->engine().Connected()) << "dropped after " << step << " edits";
  }
  EXPECT_TRUE(messages.isEmpty()) << messages.join(QStringLiteral("; ")).toStdString();
  const auto lines = process.Lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("SETTINGS") != std::string::npos && l.find("WRITE") != std::string::npos;
  })) << "no settings write reached the processor";
  view->Shutdown();
}

TEST(ConnectRefused, ConnectButtonSaysWhyAPluggedInProcessorCannotBeOpened) {
  for (const Language lang : {Language::English, Language::Chinese}) {
    AppOptions options;
    options.language = lang;
    auto transport =
        std::make_unique<testing::RefusingTransport>(OpenRefusal::NoPermission, "/dev/hidraw7: Permission denied");
    CZeltoApp app(options, std::make_unique<MemorySettings>(), std::move(transport));
    QString error;
    ASSERT_TRUE(app.InitInstance(&error)) << error.toStdString();
    QStringList messages;
    app.View()->SetMessageHandler([&](const QString& text) { messages.append(text); });
    testing::Pump();
    EXPECT_TRUE(messages.isEmpty()) << "the automatic connect stays silent";

    QTest::mouseClick(app.View()->Control<XPButton>(view_id::kConnect), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1);
    const QString& text = messages.front();
    SCOPED_TRACE(text.toStdString());
    const bool zh = lang == Language::Chinese;
    EXPECT_TRUE(text.startsWith(zh ? QStringLiteral("无法连接设备\n\n") : QStringLiteral("unable to connect\n\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("/dev/hidraw7: Permission denied")));
    EXPECT_TRUE(text.contains(zh ? QStringLiteral("拔下处理器再重新插上") : QStringLiteral("plug it in again")));
    EXPECT_FALSE(app.View()->engine().Connected());
  }
}

}  // namespace
}  // namespace zelto
