// Soak run: random edits through the engine against a zelto-sim served over the report stream,
// with faults on during the run (resends, replies close to the reply deadline), then a fresh
// connection reads the processor back and compares it with the editor's image. Prints the edits,
// the wall time and the resident-memory growth; exits 1 when anything was lost.
//
//   zelto_soak [EDITS] [--pace-ms N]     (default 10000 edits, 2 ms apart)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "transports/device_url.h"
#include "sim/sim_process.h"
#include "support/engine_harness.h"

namespace zelto {
namespace {

using namespace std::chrono_literals;
using testing::EngineHarness;

// Every 40th frame is asked for again, every 40th (the same ones, answered late) waits 2.6 s of
// the 3.0 s deadline.
const std::vector<std::string> kFaults = {"--resend", "--slow-reply-ms", "2600", "--fault-after",
                                          "30",       "--fault-every",   "40"};

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class RandomEdits {
 public:
  explicit RandomEdits(unsigned seed) : rng_(seed) {}

  void Apply(CKTV_Data& d) {
    CKTV_OutData& o = d.Output(Pick(0, kOutputChannels - 1));
    switch (Pick(0, 9)) {
      case 0: o.SetGain(Pick(0, CKTV_OutData::kMaxGainCode)); break;
      case 1: o.SetOutputSwitch(Pick(0, 1) == 1); break;
      case 2: o.SetPhase(Pick(0, 1)); break;
      case 3: o.Eq().Filter(Pick(0, 30)).SetFrequency(Pick(kFilterMinHz, kFilterMaxHz), true); break;
      case 4: o.Eq().Filter(Pick(0, 30)).SetGainCode(Pick(0, 400)); break;
      case 5: o.Eq().Filter(Pick(0, 30)).SetBandwidthIndex(Pick(0, 100)); break;
      case 6: {
        // Crossovers stay apart, as the editor keeps them.
        const int hp = Pick(20, 2000);
        o.Eq().HighPass().SetFrequency(hp, true);
        o.Eq().LowPass().SetFrequency(Pick(hp * 2, 20000), true);
        break;
      }
      case 7: o.SetDelay(Pick(0, CKTV_OutData::kMaxDelayCode)); break;
      case 8:
        o.SetLimiterThreshold(Pick(0, CKTV_OutData::kMaxLimiterThreshold));
        o.SetLimiterAttack(Pick(0, CKTV_OutData::kMaxLimiterAttack));
        break;
      default: o.SetLimiterRelease(Pick(0, CKTV_OutData::kMaxLimiterRelease)); break;
    }
  }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  std::mt19937 rng_;
};

std::unique_ptr<EngineHarness> Connect(const std::string& url) {
  std::string error;
  auto transport = MakeTransport(url, &error);
  if (!transport) {
    std::fprintf(stderr, "zelto_soak: %s\n", error.c_str());
    return nullptr;
  }
  auto h = std::make_unique<EngineHarness>(std::move(transport));
  h->engine.OnConnectButton();
  if (!h->engine.Connected() ||
      !h->PumpUntil([&] { return h->Saw(Notice::LiveReadDone) && !h->view.transferShown; }, 30s)) {
    std::fprintf(stderr, "zelto_soak: no read-back\n");
    return nullptr;
  }
  return h;
}

int Run(int edits, std::chrono::milliseconds pace) {
  sim::SimProcess process;
  std::string error;
  if (!process.Start(sim::SimProcess::DefaultExecutable(), kFaults, &error)) {
    std::fprintf(stderr, "zelto_soak: %s\n", error.c_str());
    return 1;
  }
  auto editor = Connect(process.Url());
  if (!editor) return 1;
  Engine& engine = editor->engine;
  // Two linked pairs: their gains, phases and limiters follow each other.
  {
    auto lock = engine.Data().Lock();
    auto& groups = engine.Image().linkGroups;
    for (int ch = 0; ch < kOutputChannels; ++ch) groups[static_cast<std::size_t>(ch)] = ch;
    groups[1] = 0;
    groups[3] = 2;
  }

  RandomEdits random(20261210);
  const long rssBefore = ResidentKiB();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < edits; ++i) {
    engine.Data().Edit([&](CKTV_Data& d) { random.Apply(d); });
    editor->PumpUntil([] { return false; }, pace);
    editor->seen.clear();
    if (!engine.Connected()) {
      std::fprintf(stderr, "zelto_soak: the link dropped after %d edits\n", i + 1);
      return 1;
    }
  }
  const long rssAfterEdits = ResidentKiB();
  const double editSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!editor->PumpUntil([&] { return engine.EverythingSent(); }, 600s)) {
    std::fprintf(stderr, "zelto_soak: the edits never all went out\n");
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long rssAfterSending = ResidentKiB();
  DeviceImage expected = engine.Image();
  engine.Disconnect();
  editor->PumpUntil([] { return false; }, 50ms);

  // A new connection reads back what the processor holds.
  auto reader = Connect(process.Url());
  if (!reader) return 1;
  int differing = 0;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto want = expected.Block(0, BlockType::Output, ch).first(out::kSendSize);
    const auto got = reader->engine.Image().Block(0, BlockType::Output, ch).first(out::kSendSize);
    for (std::size_t b = 0; b < want.size(); ++b) {
      if (want[b] == got[b]) continue;
      if (++differing <= 10)
        std::fprintf(stderr, "output %d byte %zu: editor %u, processor %u\n", ch, b, want[b], got[b]);
    }
  }
  reader->engine.Disconnect();
  process.Stop();

  std::printf(
      "edits %d\nwall time %.1f s (edits made in %.1f s, the rest until all had gone out)\nresident memory %ld KiB "
      "before, %ld KiB after the edits, %ld KiB once all had gone out: "
      "growth %ld KiB\n",
      edits, seconds, editSeconds, rssBefore, rssAfterEdits, rssAfterSending,
      std::max(rssAfterEdits, rssAfterSending) - rssBefore);
  std::printf("read-back %s\n", differing == 0 ? "equal to the editor's image" : "DIFFERS");
  return differing == 0 ? 0 : 1;
}

}  // namespace
}  // namespace zelto

int main(int argc, char** argv) {
  int edits = 10000;
  int paceMs = 2;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--pace-ms" && i + 1 < argc) {
      paceMs = std::atoi(argv[++i]);
    } else if (!arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos) {
      edits = std::atoi(arg.c_str());
    } else {
      std::fprintf(stderr, "usage: zelto_soak [EDITS] [--pace-ms N]\n");
      return 2;
    }
  }
  if (edits <= 0 || paceMs < 0) return 2;
  return zelto::Run(edits, std::chrono::milliseconds(paceMs));
}
