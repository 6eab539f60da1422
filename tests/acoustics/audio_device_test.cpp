#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include "acoustics/audio/audio_device.h"
#include "audio_server.h"

namespace zelto::audio {
namespace {

std::vector<DeviceInfo> SomeDevices() {
  return {
      {1, "Monitor of zelto-loop", 2, 0, {}, false, false},
      {2, "zelto-loop", 0, 2, {}, false, false},
      {3, "UMIK-style USB Mic", 1, 0, {}, false, false},
      {4, "HDA Intel PCH: ALC3246 Analog (hw:1,0)", 2, 2, {}, false, false},
      {5, "Mic 2", 1, 0, {}, false, false},
      {12, "Line 12", 0, 2, {}, false, false},
  };
}

TEST(FindDevice, NumberNameOrUniquePart) {
  const auto devices = SomeDevices();
  struct Case {
    const char* text;
    Direction direction;
    int number;  // 0: refused
    const char* inError;
  };
  const Case cases[] = {
      {"3", Direction::Input, 3, ""},
      {"2", Direction::Output, 2, ""},
      {"zelto-loop", Direction::Output, 2, ""},
      {"zelto-loop", Direction::Input, 1, ""},  // only the monitor records
      {"ZELTO-LOOP", Direction::Output, 2, ""},
      {"usb mic", Direction::Input, 3, ""},
      {"hw:1", Direction::Output, 4, ""},  // not a number, so a part of a name
      {"12", Direction::Output, 12, ""},
      {"mic", Direction::Input, 0, "several"},
      {"2", Direction::Input, 0, "no input channels"},
      {"headset", Direction::Input, 0, "no audio input device"},
      {"", Direction::Input, 0, "no audio device given"},
      {"99", Direction::Input, 0, "no audio input device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto choice = FindDevice(devices, c.text, c.direction);
    if (c.number != 0) {
      ASSERT_TRUE(choice.device) << choice.error;
      EXPECT_EQ(choice.device->number, c.number);
      EXPECT_TRUE(choice.error.empty());
    } else {
      EXPECT_FALSE(choice.device);
      EXPECT_NE(choice.error.find(c.inError), std::string::npos) << choice.error;
    }
  }
  // An ambiguous part names every candidate so the user can pick one.
  const auto several = FindDevice(devices, "mic", Direction::Input);
  EXPECT_NE(several.error.find("3 \"UMIK-style USB Mic\""), std::string::npos);
  EXPECT_NE(several.error.find("5 \"Mic 2\""), std::string::npos);
}

// ---- through the audio server --------------------------------------------------------------------

class Loopback : public test::AudioLoopbackTest {};

std::vector<float> Noise(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-0.25f, 0.25f);
  std::vector<float> v(n);
  for (auto& x : v) x = dist(gen);
  return v;
}

/// Where `played` starts in `recorded`: the lag with the largest correlation.
std::size_t FindLag(const std::vector<float>& recorded, const std::vector<float>& played, std::size_t maxLag) {
  const std::size_t probe = std::min<std::size_t>(played.size(), 2048);
  std::size_t best = 0;
  double bestValue = -1;
  for (std::size_t lag = 0; lag + probe <= recorded.size() && lag < maxLag; ++lag) {
    double sum = 0;
    for (std::size_t i = 0; i < probe; ++i) sum += static_cast<double>(recorded[lag + i]) * played[i];
    if (sum > bestValue) {
      bestValue = sum;
      best = lag;
    }
  }
  return best;
}

TEST_F(Loopback, WhatIsPlayedComesBackOnTheSameChannelUnchanged) {
  PlayRecordSpec request;
  request.outputDevice = out_;
  request.inputDevice = in_;
  request.outputs = {{0, Noise(24000, 1)}, {1, Noise(24000, 2)}};
  request.inputChannels = {1, 0};  // asked for in another order than the device has them
  CancelFlag cancel;
  double lastDone = 0;
  const auto rec = PlayAndRecord(*server_.system, request, cancel, [&](double done, float) { lastDone = done; });
  ASSERT_TRUE(rec.Ok()) << rec.error;
  ASSERT_EQ(rec.channels.size(), 2u);
  EXPECT_EQ(lastDone, 1.0);
  const std::size_t maxLag = rec.channels[0].size() - request.outputs[0].samples.size();
  const std::size_t lag1 = FindLag(rec.channels[0], request.outputs[1].samples, maxLag);
  const std::size_t lag0 = FindLag(rec.channels[1], request.outputs[0].samples, maxLag);
  // One stream carries both channels, so they arrive together, after the lead at the earliest.
  EXPECT_EQ(lag0, lag1);
  EXPECT_GE(lag0, rec.leadFrames);
  double worst = 0;
  for (std::size_t i = 0; i < request.outputs[0].samples.size(); ++i) {
    worst = std::max<double>(worst, std::abs(rec.channels[1][lag0 + i] - request.outputs[0].samples[i]));
    worst = std::max<double>(worst, std::abs(rec.channels[0][lag1 + i] - request.outputs[1].samples[i]));
  }
  EXPECT_LT(worst, 1e-4);
}

TEST_F(Loopback, ACancelStopsTheSoundLongBeforeTheSignalEnds) {
  PlayRecordSpec request;
  request.outputDevice = out_;
  request.inputDevice = in_;
  request.outputs = {{0, std::vector<float>(48000 * 20, 0.1f)}};
  request.inputChannels = {0};
  CancelFlag cancel;
  const auto started = std::chrono::steady_clock::now();
  const auto rec = PlayAndRecord(*server_.system, request, cancel, [&](double done, float) {
    if (done > 0.02) cancel.Cancel();
  });
  EXPECT_TRUE(rec.cancelled);
  EXPECT_FALSE(rec.Ok());
  // Not a timing figure (bench/ measures that): only that the 20 s signal was not played out.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// The meter hears the loudest sample since it was last asked, and nothing when all is quiet.
TEST_F(Loopback, TheInputMeterFollowsWhatTheMicrophoneHears) {
  InputMeter meter;
  std::string error;
  ASSERT_TRUE(meter.Open(*server_.system, in_, 1, kDefaultSampleRate, &error)) << error;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(meter.TakePeak(), 0.0f);
  PlayRecordSpec request;
  request.outputDevice = out_;
  request.inputDevice = in_;
  std::vector<float> tone(24000);
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = i % 48 < 24 ? 0.5f : -0.25f;
  request.outputs = {{1, tone}};
  request.inputChannels = {1};
  CancelFlag cancel;
  ASSERT_TRUE(PlayAndRecord(*server_.system, request, cancel).Ok());
  EXPECT_NEAR(meter.TakePeak(), 0.5f, 1e-4);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  meter.TakePeak();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(meter.TakePeak(), 0.0f);
  meter.Close();
  EXPECT_FALSE(meter.Running());
  EXPECT_FALSE(meter.Open(*server_.system, 0, 0, kDefaultSampleRate, &error));
}

TEST_F(Loopback, ChannelsOrRatesTheDeviceLacksAreRefusedWithTheReason) {
  struct NoCallback : StreamCallback {
    void Process(std::span<const float>, std::span<float>, std::size_t) override {}
  } none;
  std::string error;
  StreamSpec request;
  request.outputDevice = out_;
  request.outputChannels = 3;
  EXPECT_FALSE(server_.system->Open(request, none, &error));
  EXPECT_NE(error.find("has 2 output channels, 3 needed"), std::string::npos) << error;
  request.outputChannels = 2;
  request.sampleRate = 12345;
  EXPECT_FALSE(server_.system->Open(request, none, &error));
  EXPECT_NE(error.find("12345 Hz"), std::string::npos) << error;
  request.outputDevice = 77;
  EXPECT_FALSE(server_.system->Open(request, none, &error));
  EXPECT_NE(error.find("not there"), std::string::npos) << error;
}

}  // namespace
}  // namespace zelto::audio
