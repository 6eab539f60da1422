// zeltoctl's `set` arguments: arbitrary KEY=VALUE text read into edits and applied through the
// edit layer as the command does (before any read-back, tracking on). Traps when an accepted edit
// leaves a value in the image that its bytes cannot mean (a wrapped gain, delay or limiter code,
// a share over 100 %, a frequency off the grid) or a refusal comes without a reason.
//
// Input: arguments separated by newlines; the first byte's low bit chooses the language.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/bytes.h"
#include "core/settings.h"
#include "ctl/edits.h"
#include "edit/runtime.h"
#include "sim/sim_transport.h"

namespace {

using namespace zelto;

class NullSink final : public NoticeSink {
 public:
  void Post(Notice, std::intptr_t, std::intptr_t) noexcept override {}
};

struct World {
  MemorySettings settings;
  NullSink sink;
  LinkView view;
  Language language = Language::English;
  Runtime runtime{std::make_unique<sim::SimTransport>(), settings, sink, view, language};
  Engine& engine = runtime.engine();
  Editor& editor = runtime.editor();
  World() { engine.Tracking().Set(true); }
};

bool InRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

void CheckImage(DeviceImage& image) {
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto b = image.Block(0, BlockType::Output, ch);
    if (!InRange(GetS16(b, out::kGain), 0, CKTV_OutData::kMaxGainCode)) __builtin_trap();
    if (!InRange(GetS16(b, out::kDelay), 0, CKTV_OutData::kMaxDelayCode)) __builtin_trap();
    if (b[out::kPhase] > CKTV_OutData::kMaxPhase) __builtin_trap();
    if (!InRange(GetS16(b, out::kLimThreshold), 0, CKTV_OutData::kMaxLimiterThreshold)) __builtin_trap();
    if (b[out::kLimRelease] > CKTV_OutData::kMaxLimiterRelease) __builtin_trap();
    for (int k = 0; k < CKTV_OutData::kMixShares; ++k)
      if (b[out::kMix + static_cast<std::size_t>(k)] > CKTV_OutData::kMaxShare) __builtin_trap();
    for (int band = 0; band < out::kBands; ++band) {
      const int hz = EqBandRecord::Read(BandSlot(b, band)).frequency;
      if (!InRange(hz, kFilterMinHz, kFilterMaxHz)) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  if (size == 0) return 0;
  const Language lang = (data[0] & 1) ? Language::Chinese : Language::English;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string_view argument = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    std::string error;
    auto edit = ctl::ParseSetting(argument, lang, &error);
    if (!edit) {
      if (error.empty()) __builtin_trap();
      continue;
    }
    if (edit->check && edit->check(world.engine.Data(), lang)) continue;
    if (edit->apply) edit->apply(world.editor, lang, [](const std::string&) {});
  }
  {
    auto lock = world.engine.Data().Lock();
    world.engine.Data().PackAll();
  }
  CheckImage(world.engine.Image());
  return 0;
}
