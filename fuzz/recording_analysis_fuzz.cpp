// Treats arbitrary bytes as a recording, as `zeltoctl measure analyse` does with a file it is
// given: decodes them (any format libsndfile knows), then analyses what decoded against a short
// sweep, plainly and with the second channel as a loopback. Traps when decoded sound breaks its
// promises (rate and channels in range, whole frames, finite samples), when a refusal has no
// reason, or when an accepted analysis gives a non-finite arrival or response.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#ifdef ZELTO_HAVE_ACOUSTICS
#include "acoustics/analysis.h"
#include "acoustics/wav_file.h"

namespace {

using namespace zelto;
using namespace zelto::acoustics;

// Long recordings cost time, not coverage: the analysis of a long one is the same code.
constexpr std::size_t kMaxFramesAnalysed = std::size_t{1} << 18;

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckResult(const AnalysisOrRejection& r) {
  if (const auto* rej = std::get_if<Rejection>(&r)) {
    Check(!rej->Text(Language::English).empty() && !rej->Text(Language::Chinese).empty());
    return;
  }
  const Analysis& a = std::get<Analysis>(r);
  Check(std::isfinite(a.arrival.samples) && std::isfinite(a.arrivalMs) && std::isfinite(a.DistanceCm()));
  Check(a.arrival.polarity == 1 || a.arrival.polarity == -1);
  Check(a.response.hz.size() == a.response.db.size());
  for (std::size_t i = 0; i < a.response.hz.size(); ++i) {
    Check(std::isfinite(a.response.hz[i]) && !std::isnan(a.response.db[i]));
    if (i > 0) Check(a.response.hz[i] > a.response.hz[i - 1]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const AudioOrError decoded = DecodeSound(std::span(data, size), "fuzz.wav");
  if (const auto* why = std::get_if<std::string>(&decoded)) {
    Check(!why->empty());
    return 0;
  }
  const Audio& audio = std::get<Audio>(decoded);
  Check(audio.channels >= 1 && audio.channels <= kMaxChannels);
  Check(audio.sampleRate >= kMinSampleRate && audio.sampleRate <= kMaxSampleRate);
  Check(!audio.samples.empty() && audio.samples.size() % static_cast<std::size_t>(audio.channels) == 0);
  for (float v : audio.samples) Check(std::isfinite(v));
  if (audio.Frames() > kMaxFramesAnalysed) return 0;

  SweepParams p;
  p.sampleRate = audio.sampleRate;
  p.startHz = 100;
  p.endHz = std::min(20000.0, 0.4 * audio.sampleRate);
  p.seconds = 0.05;
  const std::vector<float> sweep = ExponentialSweep(p);
  Check(!sweep.empty());
  const std::vector<float> mic = ChannelOf(audio, 0);
  CheckResult(Analyse(mic, sweep, audio.sampleRate, OptionsFor(p)));
  if (audio.channels >= 2)
    CheckResult(AnalyseWithLoopback(mic, ChannelOf(audio, 1), sweep, audio.sampleRate, OptionsFor(p)));
  return 0;
}

#else
// Built without acoustic measurement: nothing to fuzz.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }
#endif
