// Start-up and shut-down of the editor without a processor attached.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

#include "app/main_frame.h"
#include "update/update_file_setting.h"
#include "app/output_page.h"
#include "curves/ui/response_graph.h"
#include "app/qt_settings.h"
#include "app/transfer_window.h"
#include "app/view_ids.h"
#include "app_harness.h"
#include "controls/com_box_btn.h"
#include "controls/xp_button.h"

namespace zelto {
namespace {

using testing::Pump;
using testing::StartedEditor;

QString FaceText(XPButton* b, Language lang) { return b->ShownFace() ? b->ShownFace()->text.In(lang) : QString(); }

class StartupTest : public ::testing::TestWithParam<Language> {};

TEST_P(StartupTest, OpensTheFixedFramelessWindowAndSettlesWithoutADevice) {
  const Language lang = GetParam();
  StartedEditor editor(lang, false);
  ASSERT_TRUE(editor.started);
  CMainFrame* frame = editor.app->Frame();
  CZeltoView* view = editor.view();
  EXPECT_TRUE(frame->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(frame->size(), QSize(1280, 700));
  EXPECT_EQ(view->size(), QSize(1280, 700));
  EXPECT_EQ(frame->windowTitle(), QString::fromUtf8(kModelIdentity));
  EXPECT_EQ(editor.app->Ui().language, lang);
  EXPECT_EQ(view->engine().language, lang);

  // The update-file settings are created on the first run.
  EXPECT_EQ(editor.settings->Get(update_file::kUpdateFileKey, update_file::kUpdateFileName), std::string());
  EXPECT_EQ(editor.settings->Get(update_file::kUpdateFileKey, update_file::kUpdateFilePath), std::string());

  // The automatic connect runs after the window is up and, finding nothing, stays silent.
  EXPECT_FALSE(view->AutoConnectDone());
  ASSERT_TRUE(testing::WaitUntil([&] { return view->AutoConnectDone(); }, std::chrono::milliseconds(5000)));
  EXPECT_FALSE(view->engine().Connected());
  EXPECT_TRUE(view->Settled());
  EXPECT_TRUE(editor.messages.isEmpty());

  auto* connect = view->Control<XPButton>(view_id::kConnect);
  ASSERT_NE(connect, nullptr);
  EXPECT_FALSE(connect->IsOn());
  EXPECT_EQ(FaceText(connect, lang),
            lang == Language::Chinese ? QStringLiteral("连接设备") : QStringLiteral("Connect"));
  auto* source = view->Control<ComBoxBtn>(view_id::kSourceList);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->CurrentText(), lang == Language::Chinese ? QStringLiteral("高电平") : QStringLiteral("High level"));

  // The connect button with nothing attached says so, why, and what to do.
  QTest::mouseClick(connect, Qt::LeftButton);
  ASSERT_EQ(editor.messages.size(), 1);
  const QString& said = editor.messages[0];
  EXPECT_TRUE(said.startsWith(lang == Language::Chinese
                                  ? QStringLiteral("无法连接设备\n\n未找到处理器")
                                  : QStringLiteral("unable to connect\n\nNo processor was found")))
      << said.toStdString();
  EXPECT_TRUE(said.contains(lang == Language::Chinese ? QStringLiteral("然后重新连接。")
                                                      : QStringLiteral("switch it on and connect again.")))
      << said.toStdString();
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, StartupTest, ::testing::Values(Language::Chinese, Language::English),
                         [](const auto& info) { return info.param == Language::Chinese ? "Chinese" : "English"; });

TEST(Startup, CloseButtonStopsEverythingAndClosesTheFrame) {
  StartedEditor editor(Language::English, false);
  ASSERT_TRUE(testing::WaitUntil([&] { return editor.view()->AutoConnectDone(); }, std::chrono::milliseconds(5000)));
  CMainFrame* frame = editor.app->Frame();
  ASSERT_TRUE(frame->isVisible());
  QTest::mouseClick(editor.view()->Control<XPButton>(view_id::kClose), Qt::LeftButton);
  EXPECT_TRUE(editor.view()->Closing());
  EXPECT_FALSE(frame->isVisible());
  EXPECT_FALSE(editor.view()->engine().Worker().Running());
}

TEST(Startup, GraphChangesRefreshThePageOfTheCurrentChannel) {
  StartedEditor editor(Language::English, false);
  CZeltoView* view = editor.view();
  emit view->Graph()->filterChanged(5, CFStatic::kOutputCodeBase);
  EXPECT_EQ(view->Page()->HighlightedBand(), 5);
  // Another channel starts without a highlighted band.
  view->SelectChannel(2);
  EXPECT_EQ(view->Page()->HighlightedBand(), -1);
}

TEST(Startup, ExistingUpdateFileSettingsAreReadNotOverwritten) {
  AppOptions options;
  options.language = Language::English;
  options.device = "usb";
  auto store = std::make_unique<MemorySettings>();
  store->Set(update_file::kUpdateFileKey, update_file::kUpdateFileName, "ctl.contr");
  store->Set(update_file::kUpdateFileKey, update_file::kUpdateFilePath, "/srv/fw");
  MemorySettings* settings = store.get();
  CZeltoApp app(options, std::move(store));
  QString error;
  ASSERT_TRUE(app.InitInstance(&error)) << error.toStdString();
  EXPECT_EQ(app.View()->UpdateFileSetting().name, "ctl.contr");
  EXPECT_EQ(app.View()->UpdateFileSetting().path, "/srv/fw");
  EXPECT_EQ(settings->Get(update_file::kUpdateFileKey, update_file::kUpdateFileName), "ctl.contr");
}

TEST(Startup, UnknownDeviceUrlIsRefusedWithItsReason) {
  AppOptions options;
  options.device = "serial:/dev/ttyS0";
  CZeltoApp app(options, std::make_unique<MemorySettings>());
  QString error;
  EXPECT_FALSE(app.InitInstance(&error));
  EXPECT_TRUE(error.contains(QStringLiteral("serial:/dev/ttyS0"))) << error.toStdString();
  EXPECT_EQ(app.Frame(), nullptr);
}

TEST(LanguageSwitch, OnlyFromTheChineseMenuAndOnlyToEnglish) {
  StartedEditor editor(Language::Chinese, false);
  CZeltoView* view = editor.view();
  const auto hasEnglishItem = [&] {
    for (const auto& item : view->SettingsMenuItems())
      if (item.first == menu_cmd::kEnglish) return true;
    return false;
  };
  EXPECT_TRUE(hasEnglishItem());
  // Pick a noise gate first: the switch keeps it selected in the other language's list.
  view->engine().Image().systemArea[sys::kNoiseGate] = 3;
  view->RefreshAll();
  view->RunMenuCommand(menu_cmd::kEnglish);
  EXPECT_EQ(view->ui().language, Language::English);
  EXPECT_EQ(view->engine().language, Language::English);
  EXPECT_FALSE(hasEnglishItem());
  auto* gate = view->Control<ComBoxBtn>(view_id::kNoiseGateList);
  EXPECT_EQ(gate->Selection(), 3);
  EXPECT_EQ(gate->CurrentText(), QStringLiteral("-95dB"));
  EXPECT_EQ(view->Control<ComBoxBtn>(view_id::kSourceList)->CurrentText(), QStringLiteral("High level"));
  EXPECT_EQ(view->Transfer()->Caption(), QStringLiteral("Data transmissionning"));
  // In English there is no way back.
  view->RunMenuCommand(menu_cmd::kEnglish);
  EXPECT_EQ(view->ui().language, Language::English);
}

TEST(TransferWindowTest, CaptionRangeAndTheDisabledStarter) {
  QWidget owner;
  owner.show();
  TransferWindow window(&owner);
  window.SetLanguage(Language::Chinese);
  EXPECT_EQ(window.Caption(), QStringLiteral("数据传输中"));
  EXPECT_EQ(window.Range(), 100);
  window.SetRange(18);
  window.SetPosition(25);
  EXPECT_EQ(window.Position(), 18);
  window.ShowFor(&owner);
  EXPECT_TRUE(window.IsShown());
  EXPECT_FALSE(owner.isEnabled());
  window.HideAndRelease();
  EXPECT_FALSE(window.IsShown());
  EXPECT_TRUE(owner.isEnabled());
  window.HideAndRelease();  // a second end of transfer changes nothing
  EXPECT_TRUE(owner.isEnabled());
}

TEST(QtSettingsTest, DevicePathsStayOneValue) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QtSettings settings(dir.filePath(QStringLiteral("zelto.ini")));
  const std::string key = "Software\\HLB735.exe\\USB";
  settings.Set(key, "/dev/hidraw3", "4242");
  settings.Set(key, "tcp:127.0.0.1:5000", "1");
  EXPECT_EQ(settings.Get(key, "/dev/hidraw3"), "4242");
  EXPECT_EQ(settings.Get(key, "/dev"), std::nullopt);
  settings.Remove(key, "/dev/hidraw3");
  EXPECT_EQ(settings.Get(key, "/dev/hidraw3"), std::nullopt);
  EXPECT_EQ(settings.Get(key, "tcp:127.0.0.1:5000"), "1");
  // A fresh store on the same file sees what was written.
  QtSettings again(dir.filePath(QStringLiteral("zelto.ini")));
  EXPECT_EQ(again.Get(key, "tcp:127.0.0.1:5000"), "1");
}

}  // namespace
}  // namespace zelto
