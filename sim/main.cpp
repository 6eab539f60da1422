// zelto-sim: the simulated processor served over the report stream on loopback, for demos,
// tests and training without hardware. Connect a tool with --device tcp:127.0.0.1:PORT.

#include <CLI/CLI.hpp>
#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <limits>
#include <iostream>
#include <string>
#include <thread>

#include "core/platform.h"
#include "sim/sim_processor.h"
#include "sim/sim_server.h"
#if ZELTO_HAVE_TWIN
#include "sim/twin/twin_runner.h"
#endif
#include "zelto_version.h"

namespace {

using std::chrono::milliseconds;
using zelto::sim::Fault;

constexpr int kMaxCount = std::numeric_limits<int>::max();
constexpr int kMaxMs = 3600000;  // an hour: longer than anything a test or demo waits
constexpr int kMaxPort = std::numeric_limits<std::uint16_t>::max();

struct Options {
  int port = 0;
  bool dropReply = false;
  bool corruptCheck = false;
  bool resend = false;
  bool emptyData = false;
  int faultAfter = 0;
  int faultCount = zelto::sim::kEveryFrame;
  int faultEvery = 1;
  int slowReplyMs = 0;
  std::string identity{zelto::kModelIdentity};
  int usbVersion = zelto::kVersionNumber;
  int replyDelayMs = 0;
  int disconnectAfter = 0;
  int replugMs = -1;
  int restartMs = static_cast<int>(zelto::sim::kLoaderRestartTime.count());
  int vanishDuringUpdate = 0;
  bool trace = false;
  bool oneClient = false;
  // The car (a digital twin with sound).
  std::string car;
  std::string audioIn;
  std::string audioOut;
  int controlPort = -1;
  int audioBlock = 256;
};

void Configure(zelto::sim::SimProcessor& p, const Options& o) {
  p.SetIdentity(o.identity);
  p.SetUsbAttributes({zelto::kVendorId, zelto::kProductId, static_cast<std::uint16_t>(o.usbVersion)});
  const zelto::sim::FaultWindow window{o.faultAfter, o.faultCount, o.faultEvery};
  if (o.dropReply) p.InjectFault(Fault::DropReply, window);
  if (o.corruptCheck) p.InjectFault(Fault::CorruptCheck, window);
  if (o.resend) p.InjectFault(Fault::Resend, window);
  if (o.emptyData) p.InjectFault(Fault::EmptyData, window);
  if (o.slowReplyMs > 0) {
    p.SetSlowReplyDelay(milliseconds(o.slowReplyMs));
    p.InjectFault(Fault::SlowReply, window);
  }
  p.SetReplyDelay(milliseconds(o.replyDelayMs));
  if (o.disconnectAfter > 0)
    p.DisconnectAfter(o.disconnectAfter, o.replugMs < 0 ? zelto::sim::kForever : milliseconds(o.replugMs));
  p.SetRestartTime(o.restartMs < 0 ? zelto::sim::kForever : milliseconds(o.restartMs));
  p.VanishDuringUpdate(o.vanishDuringUpdate);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const CLI::Range count(0, kMaxCount);
  const CLI::Range duration(0, kMaxMs);
  CLI::App app{"zelto-sim: the simulated car-audio processor, served over the report stream on loopback"};
  app.allow_windows_style_options(false);  // "-" options only, as on every other system
  app.add_option("--port", o.port, "TCP port on 127.0.0.1 (0 picks a free one, printed on stdout)")
      ->check(CLI::Range(0, kMaxPort));
  app.add_flag("--drop-reply", o.dropReply, "handle frames but never answer");
  app.add_flag("--corrupt-check", o.corruptCheck, "answer with a wrong check byte");
  app.add_flag("--resend", o.resend, "answer RSP_RESEND instead of handling frames");
  app.add_flag("--empty-data", o.emptyData, "answer reads with an empty RSP_DATA");
  app.add_option("--fault-after", o.faultAfter, "the faults above spare this many frames first")->check(count);
  app.add_option("--fault-count", o.faultCount, "the faults above hit this many frames (default: all)")
      ->check(CLI::Range(1, kMaxCount));
  app.add_option("--fault-every", o.faultEvery, "of those frames the faults hit only every Nth (default: each)")
      ->check(CLI::Range(1, kMaxCount));
  app.add_option("--slow-reply-ms", o.slowReplyMs, "delay the replies the fault frames get by this many milliseconds")
      ->check(duration);
  app.add_option("--identity", o.identity, "identity text returned for SYS_DEVICE_INFO");
  app.add_option("--usb-version", o.usbVersion, "USB version number in the hello (e.g. 0x0100)")
      ->check(CLI::Range(0, kMaxPort));
  app.add_option("--reply-delay-ms", o.replyDelayMs, "delay every reply by this many milliseconds")->check(duration);
  app.add_option("--disconnect-after", o.disconnectAfter, "go away after answering this many frames")->check(count);
  app.add_option("--replug-ms", o.replugMs, "after --disconnect-after, come back after this long (default: never)")
      ->check(duration);
  app.add_option("--restart-ms", o.restartMs, "time away while restarting after a DSP update start (-1: never back)")
      ->check(CLI::Range(-1, kMaxMs));
  app.add_option("--vanish-during-update", o.vanishDuringUpdate,
                 "go away for good when this firmware-update frame arrives (1 = the first)")
      ->check(count);
  app.set_version_flag("--version", std::string("zelto-sim ") + zelto::kZeltoVersion);
  app.add_flag("--trace", o.trace, "print one line per received frame");
  app.add_flag("--one-client", o.oneClient,
               "serve one connection at a time, as a bridge to one USB device does (the next is accepted "
               "only after the current one closes)");
  app.add_option("--car", o.car,
                 "play the processor's sound into a car: a car file (JSON with impulse responses) or \"demo\"");
  app.add_option("--audio-in", o.audioIn, "with --car: the audio device whose input feeds the analogue inputs")
      ->needs("--car");
  app.add_option("--audio-out", o.audioOut, "with --car: the audio device that plays the microphone")->needs("--car");
  app.add_option("--control-port", o.controlPort,
                 "with --car: TCP port on 127.0.0.1 taking \"position N\" lines that move the microphone "
                 "(0 picks a free one, printed on stdout)")
      ->check(CLI::Range(0, kMaxPort))
      ->needs("--car");
  app.add_option("--audio-block", o.audioBlock, "with --car: frames per audio block (default 256)")
      ->check(CLI::Range(16, 8192))
      ->needs("--car");
  CLI11_PARSE(app, argc, argv);

  // Ctrl-C and SIGTERM end serving. Asio takes them on a thread of its own, so nothing touches
  // the server from signal context, and its handler replaces an "ignore" a shell may have set
  // when it started us in the background. Taken from here on: one arriving before the server
  // runs waits for it.
  asio::io_context signals;
  asio::signal_set stopSignals(signals, SIGINT, SIGTERM);
  zelto::IgnoreBrokenPipes();

  zelto::sim::SimProcessor processor;
  Configure(processor, o);
  // Nothing reads the log of a serving process; kept, it would grow with every frame for hours.
  processor.SetFrameLogKept(false);
  const auto print = [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
#if ZELTO_HAVE_TWIN
  // The car starts before the port opens: a car that cannot play is refused before any tool
  // connects to a processor that would be silent.
  zelto::twin::TwinRunner twin(print);
  if (!o.car.empty()) {
    std::string error;
    if (!twin.Start({o.car, o.audioIn, o.audioOut, o.controlPort, o.audioBlock}, processor, &error)) {
      std::fprintf(stderr, "zelto-sim: %s\n", error.c_str());
      return 1;
    }
  }
#else
  if (!o.car.empty()) {
    std::fprintf(stderr, "zelto-sim: this build has no car (it was built without FFTW3 or libsndfile)\n");
    return 1;
  }
#endif
  if (o.trace || !o.car.empty()) {
    processor.SetFrameObserver([&](const zelto::sim::SimFrameRecord& r) {
      if (o.trace) print(zelto::sim::DescribeFrame(r));
#if ZELTO_HAVE_TWIN
      twin.OnFrame(r, processor);
#endif
    });
  }

  zelto::sim::SimServer server(processor);
  server.SetOneClient(o.oneClient);
  std::string error;
  if (!server.Listen(static_cast<std::uint16_t>(o.port), &error)) {
    std::fprintf(stderr, "zelto-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("listening on %s:%u\n", zelto::sim::kLoopbackHost, static_cast<unsigned>(server.Port()));
  std::fflush(stdout);
#if ZELTO_HAVE_TWIN
  twin.Announce();
#endif

  stopSignals.async_wait([&](const std::error_code& ec, int) {
    if (!ec) server.Stop();
  });
  std::thread signalWaiter([&] { signals.run(); });
  server.Run();
#if ZELTO_HAVE_TWIN
  twin.Stop();
#endif
  signals.stop();
  signalWaiter.join();
  return 0;
}
