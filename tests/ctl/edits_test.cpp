// The `set` arguments: what each key and unit turns into on the parameter objects and in the
// system settings, and what is refused before the processor is touched.

#include <gtest/gtest.h>

#include <cmath>

#include "ctl/edits.h"
#include "support/offline_editor.h"

namespace zelto::ctl {
namespace {

/// An engine that is not connected: edits land in the objects and the image only.
struct OfflineEngine : zelto::testing::OfflineEditor {
  void Apply(const std::string& argument, std::vector<std::string>* notes = nullptr) {
    std::string error;
    auto edit = ParseSetting(argument, Language::English, &error);
    ASSERT_TRUE(edit) << argument << ": " << error;
    if (edit->check) {
      auto reason = edit->check(engine.Data(), Language::English);
      ASSERT_FALSE(reason) << *reason;
    }
    edit->apply(editor, Language::English, [&](const std::string& n) {
      if (notes) notes->push_back(n);
    });
  }
  CKTV_OutData& Out(int ch) { return engine.Data().Output(ch); }
};

TEST(CtlSet, ChannelValuesReachTheObjectsInTheirCodes) {
  struct Case {
    const char* argument;
    std::function<int(OfflineEngine&)> read;
    int expected;
  };
  const Case cases[] = {
      {"ch3.gain=-6", [](OfflineEngine& e) { return e.Out(2).GainCode(); }, 54},
      {"ch3.gain=-6dB", [](OfflineEngine& e) { return e.Out(2).GainCode(); }, 54},
      {"ch3.gain=off", [](OfflineEngine& e) { return e.Out(2).GainOff() ? -1 : e.Out(2).GainCode(); }, -1},
      {"ch3.phase=180", [](OfflineEngine& e) { return e.Out(2).Phase(); }, 1},
      {"ch3.mute=off", [](OfflineEngine& e) { return e.Out(2).OutputSwitch() ? 1 : 0; }, 1},
      // Delays: time truncated to samples; typed distances at 346.4 m/s, rounded.
      {"ch3.delay=1.5ms", [](OfflineEngine& e) { return e.Out(2).Delay(); }, 72},
      {"ch3.delay=20", [](OfflineEngine& e) { return e.Out(2).Delay(); }, 960},
      {"ch3.delay=346cm", [](OfflineEngine& e) { return e.Out(2).Delay(); }, 479},
      {"ch3.delay=14in", [](OfflineEngine& e) { return e.Out(2).Delay(); }, 49},
      {"ch1.hp=80Hz", [](OfflineEngine& e) { return e.Out(0).Eq().HighPass().frequency(); }, 80},
      {"ch1.lp=1.2kHz", [](OfflineEngine& e) { return e.Out(0).Eq().LowPass().frequency(); }, 1200},
      {"ch1.hp.type=bessel", [](OfflineEngine& e) { return e.Out(0).Eq().HighPass().crossoverType(); }, 1},
      {"ch1.lp.type=lr", [](OfflineEngine& e) { return e.Out(0).Eq().LowPass().crossoverType(); }, 0},
      // Slopes by their meaning in the code table: 24 dB/Oct is code 2, 48 code 7, off code 6.
      {"ch1.hp.slope=24", [](OfflineEngine& e) { return e.Out(0).Eq().HighPass().slope(); }, 2},
      {"ch1.hp.slope=48dB/Oct", [](OfflineEngine& e) { return e.Out(0).Eq().HighPass().slope(); }, 7},
      {"ch1.lp.slope=off", [](OfflineEngine& e) { return e.Out(0).Eq().LowPass().slope(); }, 6},
      // Band gains as the gain box reads them: 1.55 dB is 1.5 dB (code 215).
      {"ch2.band5.gain=1.55", [](OfflineEngine& e) { return e.Out(1).Eq().Filter(4).gainCode(); }, 215},
      {"ch2.band5.freq=63", [](OfflineEngine& e) { return e.Out(1).Eq().Filter(4).frequency(); }, 63},
      {"ch2.band5=bw=0.5", [](OfflineEngine& e) { return e.Out(1).Eq().Filter(4).bandwidthIndex(); }, 45},
  };
  for (const auto& c : cases) {
    OfflineEngine e;
    e.Apply(c.argument);
    EXPECT_EQ(c.read(e), c.expected) << c.argument;
  }
}

TEST(CtlSet, BandTakesFrequencyGainAndNearestQ) {
  OfflineEngine e;
  e.Apply("ch2.band5=1000Hz,+3.5dB,q=1.4");
  const CFilter& f = e.Out(1).Eq().Filter(4);
  EXPECT_EQ(f.frequency(), 1000);
  EXPECT_EQ(f.gainCode(), 235);
  EXPECT_NEAR(f.Q(), 1.4, 0.005);
  // No other index is closer.
  for (int i = 4; i < kQTableSize; ++i) EXPECT_LE(std::fabs(f.Q() - 1.4), std::fabs(QFromIndex(i) - 1.4) + 1e-12);

  e.Apply("ch2.band5=off");
  EXPECT_TRUE(f.IsFlat());
  e.Apply("ch2.band5.bypass=off");
  EXPECT_FALSE(f.IsFlat());
  EXPECT_EQ(f.gainCode(), 235);
}

TEST(CtlSet, CrossoverStopsAtTheOtherAsTheEditorDoes) {
  OfflineEngine e;
  std::vector<std::string> notes;
  e.Apply("ch1.lp=2000Hz");
  e.Apply("ch1.hp=5000Hz", &notes);
  EXPECT_EQ(e.Out(0).Eq().HighPass().frequency(), 2000);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("2000Hz"), std::string::npos);
}

TEST(CtlSet, SystemItemsLandInTheSettings) {
  OfflineEngine e;
  DeviceImage& image = e.engine.Image();
  e.Apply("source=optical");
  e.Apply("master.volume=-20");
  EXPECT_EQ(image.InputSource(), 3);
  EXPECT_EQ(image.MasterVolume(), 40);
  // The volume of the current source follows (the digital inputs share slot 3).
  EXPECT_EQ(image.sourceVolumes[3], 40);
  e.Apply("master.mute=on");
  EXPECT_EQ(image.MasterSwitch(), 0);
  for (const char* s : {"source=蓝牙", "source=Bluetooth", "source=2"}) {
    e.Apply(s);
    EXPECT_EQ(image.InputSource(), 2) << s;
  }
  e.Apply("noisegate=-98dB");
  EXPECT_EQ(image.SystemSettings()[sys::kNoiseGate], 2);
  e.Apply("dsp=on");
  EXPECT_EQ(image.SystemSettings()[sys::kDspSwitch], 1);
}

TEST(CtlSet, RefusesWhatTheEditorWouldNotTake) {
  const char* refused[] = {
      "ch3.gain=5",       // above 0 dB
      "ch3.gain=-6dBu",   // wrong unit
      "ch9.gain=-6",      // no such channel
      "ch3.gain",         // no value
      "=5",               // no key
      "ch3.loudness=on",  // no such key
      "ch3.delay=21ms",   // beyond 20 ms
      "ch3.delay=-1",     // negative
      "ch3.delay=700cm",  // beyond what sound covers in 20 ms
      "ch3.phase=90",
      "ch3.mute=maybe",
      "ch1.hp=10Hz",
      "ch1.hp=25kHz",
      "ch1.hp.slope=20",
      "ch1.hp.type=chebyshev",
      "ch2.band32=100Hz",
      "ch2.band5=1000",         // a bare number says neither Hz nor dB
      "ch2.band5=100Hz,200Hz",  // two frequencies
      "ch2.band5.gain=21",
      "ch2.band5.q=50",
      "ch2.band5=",
      "ch3.name=EightChr",  // 8 bytes: the field holds 7
      "master.volume=1",
      "source=radio",
      "noisegate=-100dB",
  };
  for (const char* argument : refused) {
    std::string error;
    EXPECT_FALSE(ParseSetting(argument, Language::English, &error)) << argument;
    EXPECT_FALSE(error.empty()) << argument;
  }
  std::string error;
  ParseSetting("ch3.name=EightChr", Language::Chinese, &error);
  EXPECT_NE(error.find("字符长度错误!"), std::string::npos);
  ParseSetting("ch3.gain=5", Language::English, &error);
  EXPECT_EQ(error, "ch3.gain: \"5\" is outside -60..0dB");
}

TEST(CtlSet, GeqModeKeepsFrequencyAndQ) {
  OfflineEngine e;
  e.engine.Data().Edit([](CKTV_Data& d) { d.Output(1).SetEqMode(1); });
  std::string error;
  auto moves = ParseSetting("ch2.band5=1000Hz,+3dB", Language::English, &error);
  ASSERT_TRUE(moves);
  EXPECT_TRUE(moves->check(e.engine.Data(), Language::English));
  auto gainOnly = ParseSetting("ch2.band5=+3dB", Language::English, &error);
  ASSERT_TRUE(gainOnly);
  EXPECT_FALSE(gainOnly->check(e.engine.Data(), Language::English));
}

}  // namespace
}  // namespace zelto::ctl
