#pragma once
// The audio server the sound tests play through: scripts/pulse, started by CTest's fixture, writes
// what a test needs into a file that $ZELTO_AUDIO_ENV names. A test without one skips itself and
// says why.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "acoustics/audio/audio_device.h"

namespace zelto::test {

struct AudioServer {
  std::unique_ptr<audio::AudioSystem> system;
  std::vector<audio::DeviceInfo> devices;
  std::map<std::string, std::string> env;
  /// Empty when the server is there; why not otherwise.
  std::string skip;

  /// The device called `key` in the env file (ZELTO_LOOP_OUT, ...), its number in the list.
  int Device(const std::string& key, audio::Direction direction) const {
    const auto it = env.find(key);
    if (it == env.end()) return 0;
    const auto choice = audio::FindDevice(devices, it->second, direction);
    return choice.device ? choice.device->number : 0;
  }
};

inline AudioServer OpenAudioServer() {
  AudioServer s;
  if (!audio::AudioBuilt()) {
    s.skip = "built without an audio library";
    return s;
  }
  const char* path = std::getenv("ZELTO_AUDIO_ENV");
  if (!path) {
    s.skip = "no audio server: run through CTest, whose fixture starts one (scripts/pulse)";
    return s;
  }
  std::ifstream in(path);
  if (!in) {
    s.skip = std::string("no audio server: ") + path + " is missing (scripts/pulse start did not run)";
    return s;
  }
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) s.env[line.substr(0, eq)] = line.substr(eq + 1);
  }
  if (s.env.count("SKIP")) {
    s.skip = "no audio server: " + s.env["SKIP"];
    return s;
  }
  // Every stream of this process goes to the test's server, never to the desktop's speakers.
  ::setenv("PULSE_SERVER", s.env["PULSE_SERVER"].c_str(), 1);
  std::string error;
  s.system = audio::MakeAudioSystem(&error, "pulse");
  if (!s.system) {
    s.skip = "no audio server: " + error;
    return s;
  }
  s.devices = s.system->Devices();
  if (s.Device("ZELTO_LOOP_OUT", audio::Direction::Output) == 0 ||
      s.Device("ZELTO_LOOP_IN", audio::Direction::Input) == 0) {
    s.skip = "the audio server has no zelto-loop sink";
  }
  return s;
}

/// The sound tests' fixture: the audio server and its loopback, a null sink played into and its
/// monitor recorded from, so what comes back is exactly what was played.
class AudioLoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = OpenAudioServer();
    if (!server_.skip.empty()) GTEST_SKIP() << server_.skip;
    out_ = server_.Device("ZELTO_LOOP_OUT", audio::Direction::Output);
    in_ = server_.Device("ZELTO_LOOP_IN", audio::Direction::Input);
  }

  AudioServer server_;
  int out_ = 0;  // the null sink
  int in_ = 0;   // its monitor
};

}  // namespace zelto::test
