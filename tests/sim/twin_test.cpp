// The twin as a tool drives it: settings over the report stream, the microphone moved through the
// control port, car files read or refused, the demo car.

#include <sndfile.h>

#include <gtest/gtest.h>

#include <asio/connect.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>
#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>

#include "core/device_image.h"
#include "core/frame.h"
#include "link/tcp/tcp_transport.h"
#include "sim/sim_processor.h"
#include "sim/sim_server.h"
#include "sim/twin/car_file.h"
#include "sim/twin/control_port.h"
#include "sim/twin/convolver.h"
#include "sim/twin/demo_car.h"
#include "sim/twin/twin.h"
#include "sim/twin/twin_feed.h"
#include "estate_car.h"
#include "support/report_frames.h"

namespace zelto::twin {
namespace {

constexpr std::size_t kBlock = 256;

// A car whose one speaker, on output 1, reaches the microphone as it is at the first position and
// at half its level at the second.
Car TwoPositionCar() {
  Car car;
  car.sampleRate = 48000;
  car.positions = {"near", "far"};
  car.speakers.push_back({1, "test speaker", {{1.0f}, {0.5f}}});
  return car;
}

std::vector<float> Sine(std::size_t frames, std::size_t offset) {
  std::vector<float> v(frames);
  for (std::size_t i = 0; i < frames; ++i)
    v[i] = 0.5f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(offset + i) / 48000));
  return v;
}

// Plays `blocks` blocks of the 1 kHz tone from block `first` on; returns the last block heard.
std::vector<float> PlayBlocks(Twin& twin, std::size_t first, std::size_t blocks) {
  const std::vector<float> silence(kBlock, 0.0f);
  std::vector<float> mic(kBlock);
  for (std::size_t b = first; b < first + blocks; ++b) twin.Process(Sine(kBlock, b * kBlock), silence, mic);
  return mic;
}

TEST(Twin, SettingSentOverTheReportStreamIsHeardInTheNextBlock) {
  sim::SimProcessor processor;
  Twin twin(TwoPositionCar(), kBlock);
  TwinFeed feed(twin);
  feed.Update(processor.Memory());
  processor.SetFrameObserver([&](const sim::SimFrameRecord& r) { feed.OnFrame(r, processor); });
  sim::SimServer server(processor);
  std::string error;
  ASSERT_TRUE(server.Listen(0, &error)) << error;
  server.Start();
  TcpTransport transport(TcpEndpoint{sim::kLoopbackHost, server.Port()});
  auto device = transport.Open(transport.Path());
  ASSERT_NE(device, nullptr) << transport.LastError();

  // The same car with the phase of output 1 inverted from the start: what the next block must be.
  DeviceImage inverted{};
  InitDeviceImage(inverted);
  inverted.Block(0, BlockType::Output, 0)[out::kPhase] = 1;
  Twin reference(TwoPositionCar(), kBlock);
  TwinFeed(reference).Update(inverted);

  const std::vector<float> before = PlayBlocks(twin, 0, 20);
  const std::vector<float> referenceBefore = PlayBlocks(reference, 0, 20);
  for (std::size_t i = 0; i < kBlock; ++i) ASSERT_NEAR(before[i], -referenceBefore[i], 1e-6f);
  FrameBuilder builder(inverted);
  zelto::testing::Report report{};
  auto message = builder.BuildItemWrite(BlockType::Output, 0, out::kItemSwitch);
  while (message->MakeHidReport(report)) ASSERT_TRUE(device->WriteOutputReport(report));
  ASSERT_TRUE(device->ReadInputReport(report));  // the acknowledgement
  ASSERT_EQ(zelto::testing::FrameIn(report)[frame::kCommand], static_cast<std::uint8_t>(Command::Ack));

  const std::vector<float> after = PlayBlocks(twin, 20, 1);
  const std::vector<float> expected = PlayBlocks(reference, 20, 1);
  // The processor's own latency (the rate doubling and halving) still carries the old sign at the
  // start of the block; from there on the block is the new setting's.
  for (std::size_t i = twin.Latency() + 1; i < kBlock; ++i) ASSERT_NEAR(after[i], expected[i], 1e-6f) << i;
  EXPECT_GT(*std::max_element(before.begin(), before.end()), 0.4f);
  server.Stop();
}

TEST(Twin, TheControlPortMovesTheMicrophone) {
  Twin twin(TwoPositionCar(), kBlock);
  std::vector<std::string> printed;
  ControlPort port([&](std::string_view line) {
    std::string why;
    const auto p = ParsePositionCommand(line, twin.Positions(), &why);
    if (!p) return "error: " + why;
    twin.SetPosition(*p);
    printed.push_back(DescribePosition(*p, twin.Positions()));
    return printed.back();
  });
  std::string error;
  ASSERT_TRUE(port.Start(0, &error)) << error;
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  socket.connect({asio::ip::make_address_v4("127.0.0.1"), port.Port()});
  asio::streambuf buffer;
  const auto ask = [&](const std::string& line) {
    asio::write(socket, asio::buffer(line + "\n"));
    asio::read_until(socket, buffer, '\n');
    std::istream in(&buffer);
    std::string answer;
    std::getline(in, answer);
    return answer;
  };

  Twin staying(TwoPositionCar(), kBlock);
  PlayBlocks(twin, 0, 4);
  PlayBlocks(staying, 0, 4);
  EXPECT_EQ(ask("position 2"), "position 2 far");
  EXPECT_EQ(twin.Position(), 1u);
  // The very next block is heard at the far position: at half the level of the one that stayed.
  const std::vector<float> far = PlayBlocks(twin, 4, 1);
  const std::vector<float> near = PlayBlocks(staying, 4, 1);
  for (std::size_t i = 0; i < kBlock; ++i) ASSERT_NEAR(far[i], 0.5f * near[i], 1e-6f) << i;
  EXPECT_EQ(ask("position near"), "position 1 near");

  for (const std::string bad : {"position 3", "position 0", "position", "position -1", "move 1", "positions 1"})
    EXPECT_EQ(ask(bad).rfind("error: ", 0), 0u) << bad;
  EXPECT_EQ(twin.Position(), 0u);
  port.Stop();
}

// The partitioned convolution against the textbook sum, with responses of several partitions,
// of different lengths, and switched between blocks.
TEST(SummingConvolver, EqualsDirectConvolutionSummedOverChannels) {
  constexpr std::size_t kB = 64;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  const auto noise = [&](std::size_t n) {
    std::vector<float> v(n);
    for (float& x : v) x = u(rng);
    return v;
  };
  const std::vector<std::vector<float>> irs = {noise(1000), noise(70), noise(300)};
  SummingConvolver conv(2, kB);
  conv.AddResponse(0, irs[0]);
  conv.AddResponse(0, irs[1]);
  conv.AddResponse(1, irs[2]);
  constexpr std::size_t kBlocks = 40;
  std::array<std::vector<double>, 2> in;
  for (auto& channel : in)
    for (float x : noise(kB * kBlocks)) channel.push_back(x);
  std::vector<double> out(kB * kBlocks);
  std::vector<std::size_t> playing(kBlocks);
  for (std::size_t b = 0; b < kBlocks; ++b) {
    playing[b] = b < 20 ? 0 : 1;  // channel 0 switches to its short response half way
    conv.Select(0, playing[b]);
    const std::array<std::span<const double>, 2> block = {std::span(in[0]).subspan(b * kB, kB),
                                                          std::span(in[1]).subspan(b * kB, kB)};
    conv.Process(block, std::span(out).subspan(b * kB, kB));
  }
  for (std::size_t n = 0; n < out.size(); ++n) {
    // Each output block is heard through the response selected for it, applied to all past input.
    const std::vector<float>& h0 = irs[playing[n / kB]];
    double expected = 0.0;
    for (std::size_t k = 0; k < h0.size() && k <= n; ++k) expected += h0[k] * in[0][n - k];
    for (std::size_t k = 0; k < irs[2].size() && k <= n; ++k) expected += irs[2][k] * in[1][n - k];
    ASSERT_NEAR(out[n], expected, 1e-9) << n;
  }
}

// An audio system that hands over blocks of another size gets the same sound, one block later.
TEST(Twin, OtherBlockSizesHearTheSameOneBlockLater) {
  Twin aligned(TwoPositionCar(), kBlock);
  Twin odd(TwoPositionCar(), kBlock);
  constexpr std::size_t kTotal = 40 * kBlock;
  const std::vector<float> tone = Sine(kTotal, 0);
  const std::vector<float> silence(kTotal, 0.0f);
  std::vector<float> expected(kTotal), heard(kTotal);
  for (std::size_t at = 0; at < kTotal; at += kBlock)
    aligned.Process(std::span(tone).subspan(at, kBlock), std::span(silence).subspan(at, kBlock),
                    std::span(expected).subspan(at, kBlock));
  for (std::size_t at = 0, n = 1; at < kTotal; at += n, n = n * 7 % 601 + 1) {
    n = std::min(n, kTotal - at);
    odd.Process(std::span(tone).subspan(at, n), std::span(silence).subspan(at, n), std::span(heard).subspan(at, n));
  }
  for (std::size_t i = 0; i < kBlock; ++i) ASSERT_EQ(heard[i], 0.0f) << i;
  for (std::size_t i = kBlock; i < kTotal; ++i) ASSERT_EQ(heard[i], expected[i - kBlock]) << i;
}

// ---- car files ------------------------------------------------------------------------------

class CarFileTest : public ::testing::Test {
 protected:
  CarFileTest() {
    dir_ = std::filesystem::temp_directory_path() / ("zelto-car-" + std::to_string(std::random_device{}()) + "-" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  ~CarFileTest() override { std::filesystem::remove_all(dir_); }

  void Wav(const std::string& name, int rate, int channels, std::size_t frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open((dir_ / name).string().c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> samples(frames * static_cast<std::size_t>(channels), 0.0f);
    if (!samples.empty()) samples[0] = 0.25f;
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(frames));
    sf_close(f);
  }
  std::filesystem::path Json(const std::string& text) {
    const auto p = dir_ / "car.json";
    std::ofstream(p) << text;
    return p;
  }

  std::filesystem::path dir_;
};

constexpr const char* kGoodCar = R"({
  "sample_rate": 48000, "noise_dbfs": -70, "positions": ["centre", "left"],
  "speakers": [{"output": 1, "name": "front left tweeter", "ir": ["a.wav", "b.wav"]},
               {"output": 7, "ir": ["a.wav", "b.wav"]}]})";

TEST_F(CarFileTest, AGoodCarLoadsWithItsResponses) {
  Wav("a.wav", 48000, 1, 100);
  Wav("b.wav", 48000, 1, 50);
  std::string error;
  const auto car = LoadCarFile(Json(kGoodCar), &error);
  ASSERT_TRUE(car) << error;
  EXPECT_EQ(car->sampleRate, 48000);
  EXPECT_EQ(car->noiseDbfs, -70.0);
  EXPECT_EQ(car->positions, (std::vector<std::string>{"centre", "left"}));
  ASSERT_EQ(car->speakers.size(), 2u);
  EXPECT_EQ(car->speakers[0].name, "front left tweeter");
  EXPECT_EQ(car->speakers[1].name, "output 7");
  EXPECT_EQ(car->speakers[1].ir[1].size(), 50u);
  EXPECT_EQ(car->speakers[1].ir[0][0], 0.25f);
  EXPECT_EQ(car->SpeakerOn(2), nullptr);
}

TEST_F(CarFileTest, ABadCarIsRefusedWithTheReason) {
  Wav("a.wav", 48000, 1, 100);
  Wav("b.wav", 48000, 1, 100);
  Wav("rate.wav", 44100, 1, 100);
  Wav("stereo.wav", 48000, 2, 100);
  Wav("empty.wav", 48000, 1, 0);
  std::ofstream(dir_ / "text.wav") << "not a sound";
  const auto car = [](const std::string& speakers, const std::string& rest = R"("positions": ["c", "l"])") {
    return R"({"sample_rate": 48000, )" + rest + R"(, "speakers": [)" + speakers + "]}";
  };
  const std::vector<std::pair<std::string, std::string>> cases = {
      {car(R"({"output": 1, "ir": ["a.wav", "missing.wav"]})"), "missing.wav: file not found"},
      {car(R"({"output": 1, "ir": ["a.wav", "rate.wav"]})"), "recorded at 44100 Hz, the car is at 48000 Hz"},
      {car(R"({"output": 1, "ir": ["stereo.wav", "a.wav"]})"), "2 channels; an impulse response is mono"},
      {car(R"({"output": 1, "ir": ["empty.wav", "a.wav"]})"), "empty.wav"},
      {car(R"({"output": 1, "ir": ["text.wav", "a.wav"]})"), "text.wav: not a sound file that can be read"},
      {car(R"({"output": 1, "ir": ["a.wav"]})"), "1 impulse responses for 2 microphone positions"},
      {car(R"({"output": 1, "ir": ["a.wav", "b.wav", "a.wav"]})"), "3 impulse responses for 2 microphone positions"},
      {car(R"({"output": 9, "ir": ["a.wav", "b.wav"]})"), "output 9 is not an output channel 1..8"},
      {car(R"({"output": 2, "ir": ["a.wav", "b.wav"]}, {"output": 2, "ir": ["a.wav", "b.wav"]})"),
       "output 2 already has a speaker"},
      {car(R"({"ir": ["a.wav", "b.wav"]})"), "\"output\" must be"},
      {car(""), "\"speakers\" must list at least one speaker"},
      {car(R"({"output": 1, "ir": ["a.wav", "b.wav"]})", R"("positions": [])"), "\"positions\" must list"},
      {car(R"({"output": 1, "ir": ["a.wav", "b.wav"]})", R"("positions": ["c", "l"], "noise_dbfs": 6)"),
       "\"noise_dbfs\" must lie between"},
      {R"({"sample_rate": 44100, "positions": ["c"], "speakers": []})", "sample rate 44100 Hz is not supported"},
      {R"({"sample_rate": 4888888888888888000, "positions": ["c"], "speakers": []})", "is not supported"},
      {R"({"sample_rate": "48k"})", "\"sample_rate\" must be a whole number"},
      {R"({"sample_rate": 48000, "positions": ["c"], "speakers": [)", "not valid JSON"},
      {"[]", "the car must be a JSON object"},
  };
  for (const auto& [text, reason] : cases) {
    std::string error;
    EXPECT_FALSE(LoadCarFile(Json(text), &error)) << text;
    EXPECT_NE(error.find(reason), std::string::npos) << text << "\n -> " << error;
    EXPECT_EQ(error.rfind("car.json: ", 0), 0u) << error;
  }
  std::string error;
  EXPECT_FALSE(LoadCarFile(dir_ / "none.json", &error));
  EXPECT_EQ(error, "none.json: cannot be opened");
}

// ---- the demo car ---------------------------------------------------------------------------

// The sample with the largest magnitude.
double PeakAt(const std::vector<float>& ir) {
  std::size_t peak = 0;
  for (std::size_t i = 0; i < ir.size(); ++i)
    if (std::abs(ir[i]) > std::abs(ir[peak])) peak = i;
  return static_cast<double>(peak);
}

TEST(DemoCar, IsBuiltTheSameEveryTimeFromThePicturesSpeakers) {
  const Car a = BuildDemoCar();
  const Car b = BuildDemoCar();
  ASSERT_EQ(a.speakers.size(), 7u);  // outputs 1..7 have speakers; output 8 has no type
  EXPECT_EQ(a.positions.size(), 6u);
  for (std::size_t s = 0; s < a.speakers.size(); ++s) EXPECT_EQ(a.speakers[s].ir, b.speakers[s].ir);
  EXPECT_EQ(a.speakers[0].name, "front left tweeter");
  EXPECT_EQ(a.speakers[6].name, "subwoofer");

  // Each speaker's direct sound peaks at the head when its distance says (a driver's roll-offs move
  // the peak by a fraction of a tenth of a millisecond; the subwoofer's is too broad to tell), and
  // the wrongly wired one peaks negative.
  const CarModel model = DemoCarModel();
  const Point3 head = model.microphones[0].place;
  for (std::size_t i = 0; i < a.speakers.size(); ++i) {
    const CarSpeaker& s = a.speakers[i];
    const Point3 at = model.speakers[i].place;
    const double expected = std::hypot(at.x - head.x, at.y - head.y, at.z - head.z) / kSpeedOfSound * a.sampleRate;
    if (model.speakers[i].kind != DriverKind::Subwoofer) {
      EXPECT_NEAR(PeakAt(s.ir[0]), expected, 0.0001 * a.sampleRate) << s.name;
    }
    EXPECT_EQ(s.ir[0][static_cast<std::size_t>(PeakAt(s.ir[0]))] < 0, s.output == kDemoReversedOutput) << s.name;
  }
}

// The level of `ir` at `hz` in dB.
double LevelDb(const std::vector<float>& ir, double hz, int rate) {
  std::complex<double> sum = 0.0;
  for (std::size_t n = 0; n < ir.size(); ++n)
    sum += static_cast<double>(ir[n]) * std::polar(1.0, -2 * std::numbers::pi * hz * n / rate);
  return 20 * std::log10(std::abs(sum));
}

TEST_F(CarFileTest, TheEstateIsLateReversedAndHasANullWhereTheDriverSits) {
  const auto path = testing::WriteEstateCar(dir_);
  ASSERT_FALSE(path.empty());
  std::string error;
  const auto car = LoadCarFile(path, &error);
  ASSERT_TRUE(car) << error;
  ASSERT_EQ(car->positions.size(), 4u);
  ASSERT_EQ(car->speakers.size(), 5u);
  EXPECT_EQ(car->noiseDbfs, -65.0);

  // The right tweeter is its rightly wired self, upside down; the subwoofer its on-time self, 2 ms
  // (96 samples) later.
  CarModel right = testing::EstateCarModel(0.0);
  for (ModelSpeaker& sp : right.speakers) sp.reversed = false;
  const Car reference = BuildCar(right);
  const auto& reversed = car->SpeakerOn(testing::kEstateReversedOutput)->ir[0];
  const auto& wired = reference.SpeakerOn(testing::kEstateReversedOutput)->ir[0];
  for (std::size_t i = 0; i < reversed.size(); ++i) ASSERT_EQ(reversed[i], -wired[i]) << i;
  const auto& late = car->SpeakerOn(testing::kEstateLateOutput)->ir[0];
  const auto& early = reference.SpeakerOn(testing::kEstateLateOutput)->ir[0];
  for (std::size_t i = 0; i + 96 < late.size(); ++i) ASSERT_NEAR(late[i + 96], early[i], 1e-6f) << i;

  // Every speaker loses at least 15 dB at 160 Hz at the centre against 10 cm higher up.
  for (const CarSpeaker& s : car->speakers) {
    if (s.output == 1 || s.output == 2) continue;  // the tweeters hardly play there
    EXPECT_GT(LevelDb(s.ir[3], testing::kEstateNullHz, 48000) - LevelDb(s.ir[0], testing::kEstateNullHz, 48000), 15.0)
        << s.name;
  }
}

}  // namespace
}  // namespace zelto::twin
