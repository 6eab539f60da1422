#include "app/app_options.h"

#include <gtest/gtest.h>

namespace zelto {
namespace {

TEST(AppOptions, CommandLines) {
  struct Case {
    QStringList args;
    std::optional<Language> lang;
    std::string device;
    QString screenshot;
    bool fails;
    bool version = false;
    std::string usbWrite = {};
  };
  const Case cases[] = {
      {{}, std::nullopt, "", "", false},
      {{"--lang", "zh"}, Language::Chinese, "", "", false},
      {{"--lang", "en", "--device", "sim"}, Language::English, "sim", "", false},
      {{"--screenshot", "a.png", "--device", "tcp:127.0.0.1:5000"}, std::nullopt, "tcp:127.0.0.1:5000", "a.png", false},
      {{"/RegServer"}, std::nullopt, "", "", false},
      {{"-unregserver", "--lang", "en"}, Language::English, "", "", false},
      {{"--lang", "fr"}, std::nullopt, "", "", true},
      {{"--device"}, std::nullopt, "", "", true},
      {{"--bogus"}, std::nullopt, "", "", true},
      {{"--version"}, std::nullopt, "", "", false, true},
      {{"--usb-write", "interrupt"}, std::nullopt, "", "", false, false, "interrupt"},
      {{"--usb-write", "control", "--device", "usb"}, std::nullopt, "usb", "", false, false, "control"},
      {{"--usb-write", "bulk"}, std::nullopt, "", "", true},
  };
  for (const Case& c : cases) {
    const AppOptions o = ParseAppOptions(c.args);
    SCOPED_TRACE(c.args.join(' ').toStdString());
    EXPECT_EQ(!o.error.isEmpty(), c.fails);
    if (c.fails) continue;
    EXPECT_EQ(o.language, c.lang);
    EXPECT_EQ(o.device, c.device);
    EXPECT_EQ(o.screenshot, c.screenshot);
    EXPECT_EQ(o.version, c.version);
    EXPECT_EQ(o.usbWrite, c.usbWrite);
  }
}

TEST(AppOptions, OnlyChineseChinaStartsInChinese) {
  EXPECT_EQ(LanguageOfLocale(QLocale(QLocale::Chinese, QLocale::China)), Language::Chinese);
  EXPECT_EQ(LanguageOfLocale(QLocale(QLocale::Chinese, QLocale::Taiwan)), Language::English);
  EXPECT_EQ(LanguageOfLocale(QLocale(QLocale::English, QLocale::UnitedStates)), Language::English);
  EXPECT_EQ(LanguageOfLocale(QLocale(QLocale::German, QLocale::Germany)), Language::English);
}

}  // namespace
}  // namespace zelto
