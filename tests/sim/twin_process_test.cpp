// zelto-sim --car as a user runs it: a separate process on a real audio server, its inputs fed from
// one null sink and its microphone recorded from another, its settings sent over the report stream
// and its microphone moved through the control port.

#include <sndfile.h>

#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <thread>

#include "acoustics/audio/audio_device.h"
#include "acoustics/audio_server.h"
#include "core/device_image.h"
#include "core/frame.h"
#include "link/tcp/tcp_transport.h"
#include "sim/sim_process.h"
#include "support/report_frames.h"

namespace zelto::twin {
namespace {

constexpr int kRate = 48000;

class TwinProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test::OpenAudioServer();
    if (!server_.skip.empty()) GTEST_SKIP() << server_.skip;
    dir_ = std::filesystem::temp_directory_path() / ("zelto-twin-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir_);
    // One speaker on output 1: heard as it is at the first position, at half its level at the second.
    WriteImpulse("near.wav", 1.0f);
    WriteImpulse("far.wav", 0.5f);
    std::ofstream(dir_ / "car.json") << R"({"sample_rate": 48000, "positions": ["near", "far"],
      "speakers": [{"output": 1, "name": "test speaker", "ir": ["near.wav", "far.wav"]}]})";
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  void WriteImpulse(const std::string& name, float value) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open((dir_ / name).string().c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> ir(64, 0.0f);
    ir[0] = value;
    sf_writef_float(f, ir.data(), static_cast<sf_count_t>(ir.size()));
    sf_close(f);
  }

  // Plays a 1 kHz tone into the processor's left input and returns the RMS the microphone heard.
  double Hear() {
    // The car plays what it heard one stream latency later; under load that tail can outlast the
    // previous recording, so let it die away before listening again.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    audio::PlayRecordSpec request;
    request.outputDevice = server_.Device("ZELTO_LOOP_OUT", audio::Direction::Output);
    request.inputDevice = server_.Device("ZELTO_MIC_IN", audio::Direction::Input);
    request.inputChannels = {0};
    audio::OutputSignal tone;
    tone.channel = 0;
    for (int i = 0; i < kRate / 2; ++i)
      tone.samples.push_back(0.25f * static_cast<float>(std::sin(2 * std::numbers::pi * 1000.0 * i / kRate)));
    request.outputs.push_back(std::move(tone));
    request.tailSeconds = 2.0;
    audio::CancelFlag never;
    const audio::Recording r = audio::PlayAndRecord(*server_.system, request, never);
    EXPECT_TRUE(r.Ok()) << r.error;
    // The level over the tone's own length, from all the energy recorded: however late the car's
    // stream delivers it, the whole tone is inside the long tail.
    if (r.channels.empty()) return 0.0;
    double energy = 0.0;
    for (float x : r.channels[0]) energy += double(x) * x;
    return std::sqrt(energy / (kRate / 2));
  }

  test::AudioServer server_;
  std::filesystem::path dir_;
};

TEST_F(TwinProcessTest, PlaysTheInputIntoTheCarAndFollowsTheToolAndTheMicrophone) {
  sim::SimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.Start(ZELTO_SIM_EXE,
                        {"--car", (dir_ / "car.json").string(), "--audio-in", server_.env["ZELTO_LOOP_IN"],
                         "--audio-out", server_.env["ZELTO_MIC_OUT"], "--control-port", "0"},
                        &error))
      << error;
  ASSERT_TRUE(sim.WaitForLines(5, std::chrono::seconds(5)));
  const auto lines = sim.Lines();
  EXPECT_EQ(lines[4], "position 1 near");
  const std::string portLine = lines[3];
  ASSERT_EQ(portLine.rfind("control port on 127.0.0.1:", 0), 0u) << portLine;
  const auto controlPort = static_cast<std::uint16_t>(std::stoi(portLine.substr(portLine.rfind(':') + 1)));

  // At factory settings output 1 plays the left input at 0 dB, and the car passes it unchanged.
  const double open = Hear();
  EXPECT_NEAR(20 * std::log10(open / (0.25 / std::sqrt(2.0))), 0.0, 2.0);

  // Output 1 muted over the report stream.
  TcpTransport transport(TcpEndpoint{"127.0.0.1", sim.Port()});
  auto device = transport.Open(transport.Path());
  ASSERT_NE(device, nullptr) << transport.LastError();
  DeviceImage image{};
  InitDeviceImage(image);
  FrameBuilder builder(image);
  const auto send = [&] {
    zelto::testing::Report report{};
    auto m = builder.BuildItemWrite(BlockType::Output, 0, out::kItemSwitch);
    while (m->MakeHidReport(report)) ASSERT_TRUE(device->WriteOutputReport(report));
    ASSERT_TRUE(device->ReadInputReport(report));
  };
  image.Block(0, BlockType::Output, 0)[out::kSwitch] = 0;
  send();
  // A loaded machine delays the car's stream by more than a recording's length: what is still in
  // flight from before the mute may be heard once more, never after that.
  double muted = Hear();
  for (int attempt = 0; attempt < 3 && muted >= open * 1e-3; ++attempt) muted = Hear();
  EXPECT_LT(muted, open * 1e-3);
  image.Block(0, BlockType::Output, 0)[out::kSwitch] = 1;
  send();

  // The microphone moved as a person moves it.
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  socket.connect({asio::ip::make_address_v4("127.0.0.1"), controlPort});
  asio::write(socket, asio::buffer(std::string("position 2\n")));
  asio::streambuf answer;
  asio::read_until(socket, answer, '\n');
  std::istream in(&answer);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "position 2 far");
  EXPECT_NEAR(20 * std::log10(Hear() / open), -6.02, 0.3);
  ASSERT_TRUE(sim.WaitForLines(6, std::chrono::seconds(2)));
  EXPECT_EQ(sim.Lines()[5], "position 2 far");  // printed by zelto-sim as well
  EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
}  // namespace zelto::twin
