#include "acoustics/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zelto::acoustics {

namespace {

constexpr double kActiveThreshold = 1e-3;    // of the excitation's peak: where it starts and ends
constexpr double kNoiseGuardSeconds = 0.02;  // kept clear of the sound before it arrives
constexpr double kDecaySeconds = 0.5;        // after the sweep ends, before the silence is noise again
constexpr double kMinNoiseSeconds = 0.05;    // less silence than this cannot tell the noise floor
constexpr double kIrBeforeSeconds = 0.05;    // kept of the impulse response before the arrival
constexpr double kIrAfterSeconds = 1.0;      // and after it
constexpr double kFloorDb = -300.0;
// The closing reference is looked for this far either side of where a steady chain puts it, and
// may be off by this much (interpolation, not a change of latency).
constexpr double kClosingSearchSeconds = 0.1;
constexpr double kMaxTimingDriftSamples = 2.0;
constexpr double kClosingMarginSeconds = 0.005;  // before it: the measurement sweep's last decay
// How much earlier and later than the reference speaker a measured speaker can be heard: the
// length of a vehicle's cabin in sound, and that with the processor's longest delay on top.
constexpr double kMostEarlierSeconds = 0.05;
constexpr double kMostLaterSeconds = 0.15;

double Dbfs(double rms) { return rms > 0 ? 20.0 * std::log10(rms) : kFloorDb; }

std::string Num(const char* format, double v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

struct Active {
  std::size_t start = 0, end = 0;
};

Active ActiveSpan(std::span<const float> x) {
  float peak = 0;
  for (float v : x) peak = std::max(peak, std::abs(v));
  Active a;
  if (peak <= 0) return a;
  const float t = static_cast<float>(kActiveThreshold) * peak;
  std::size_t i = 0;
  while (i < x.size() && std::abs(x[i]) < t) ++i;
  std::size_t j = x.size();
  while (j > i && std::abs(x[j - 1]) < t) --j;
  return {i, j};
}

Levels PeakLevels(std::span<const float> recording) {
  Levels l;
  float peak = 0;
  for (float v : recording) {
    peak = std::max(peak, std::abs(v));
    if (std::abs(v) >= static_cast<float>(kClipLevel)) ++l.clippedSamples;
  }
  l.peakDbfs = Dbfs(peak);
  return l;
}

Rejection Reject(Rejection::Reason reason, const Levels& levels) {
  Rejection r;
  r.reason = reason;
  r.peakDbfs = levels.peakDbfs;
  r.snrDb = levels.snrDb.value_or(0);
  r.clippedSamples = levels.clippedSamples;
  return r;
}

// What every analysis does once it has the impulse response and the arrival in the recording.
Analysis Finish(const ImpulseResponse& ir, const Arrival& arrival, double timeZero, const Levels& levels,
                const AnalysisOptions& options) {
  Analysis a;
  a.levels = levels;
  a.arrival = arrival;
  a.arrival.samples = arrival.samples - timeZero;
  const double rate = ir.sampleRate;
  a.arrivalMs = a.arrival.samples * 1000.0 / rate;
  a.irPeakDb = arrival.peak > 0 ? 20 * std::log10(arrival.peak) : kFloorDb;
  IrWindow window = options.window;
  if (options.harmonicLeadSeconds) window.leftMs = std::min(window.leftMs, *options.harmonicLeadSeconds * 500.0);
  a.response = FrequencyResponse(ir, arrival, window);
  // Outside the excitation's band the deconvolution holds nothing but regularisation: leave it out.
  Response inBand;
  for (std::size_t i = 0; i < a.response.hz.size(); ++i) {
    if (a.response.hz[i] < options.lowHz || a.response.hz[i] > options.highHz) continue;
    inBand.hz.push_back(a.response.hz[i]);
    inBand.db.push_back(a.response.db[i]);
    inBand.phaseDeg.push_back(a.response.phaseDeg[i]);
  }
  a.response = std::move(inBand);
  if (options.calibration) ApplyCalibration(a.response, *options.calibration);
  // The impulse response kept: not back into the harmonic products, not round the buffer.
  double before = kIrBeforeSeconds;
  if (options.harmonicLeadSeconds) before = std::min(before, *options.harmonicLeadSeconds / 2);
  const auto pre = static_cast<long long>(std::llround(before * rate));
  const auto n = static_cast<long long>(ir.samples.size());
  const long long post = std::min(static_cast<long long>(std::llround(kIrAfterSeconds * rate)),
                                  n - static_cast<long long>(ir.excitationFrames) - 1);
  const auto peakTime = static_cast<long long>(std::llround(ir.TimeOf(arrival.index)));
  a.ir.reserve(static_cast<std::size_t>(std::max(0LL, pre + post)));
  for (long long t = peakTime - pre; t < peakTime + post; ++t) a.ir.push_back(static_cast<float>(ir.At(t)));
  a.irStartSamples = static_cast<double>(peakTime - pre) - timeZero;
  return a;
}

struct Found {
  const ImpulseResponse* ir = nullptr;  // in the workspace, until its next deconvolution
  Arrival arrival;
  double bandDelaySpread = 0;
};

// The band delays are not asked of the reference sweep: the measurement sweep later in the same
// recording smears them, and its search is confined to the time before that sweep anyway.
bool Heard(const Found& f, bool checkBands = true) {
  return f.arrival.peakToNoiseDb >= kMinPeakToNoiseDb &&
         (!checkBands || f.bandDelaySpread <= kMaxBandDelaySpreadSeconds * static_cast<double>(f.ir->sampleRate));
}

Found DeconvolveAndFind(AnalysisWorkspace& workspace, std::span<const float> recording,
                        std::span<const float> excitation, int rate, double lowHz, double highHz, long long from = 0,
                        long long to = 0) {
  const InverseFilter& inverse = workspace.Inverse(excitation, rate, lowHz, highHz, recording.size());
  Found f;
  f.ir = &workspace.Deconvolve(recording, inverse);
  f.arrival = FindArrival(*f.ir, from, to);
  f.bandDelaySpread = f.ir->bandDelaySpread;
  return f;
}

bool Usable(std::span<const float> recording, std::span<const float> excitation, int rate, const AnalysisOptions& o) {
  return !recording.empty() && !excitation.empty() && rate > 0 && o.lowHz > 0 && o.highHz > o.lowHz;
}

}  // namespace

AnalysisOptions OptionsFor(const SweepParams& p) {
  AnalysisOptions o;
  o.lowHz = p.startHz;
  o.highHz = p.endHz;
  o.harmonicLeadSeconds = HarmonicLeadSeconds(p, 2);
  return o;
}

std::string Rejection::Text(Language lang) const {
  const bool zh = lang == Language::Chinese;
  switch (reason) {
    case Reason::Empty: return zh ? "录音为空" : "the recording is empty";
    case Reason::RateMismatch:
      return zh ? "录音的采样率 " + std::to_string(rate) + " Hz 与扫频的 " + std::to_string(expectedRate) +
                      " Hz 不同（请先转换采样率）"
                : "the recording's sample rate " + std::to_string(rate) + " Hz differs from the sweep's " +
                      std::to_string(expectedRate) + " Hz (resample it first)";
    case Reason::TooShort:
      return zh ? "录音比扫频短：扫频没有录完整" : "the recording is shorter than the sweep: it cannot hold all of it";
    case Reason::TooLong:
      return zh ? "录音太长（最多约 " + std::to_string(kMaxAnalysedFrames / 48000 / 60) +
                      " 分钟 @ 48 kHz，含扫频）：请只保留扫频及其后的衰减"
                : "the recording is too long (at most about " + std::to_string(kMaxAnalysedFrames / 48000 / 60) +
                      " minutes at 48 kHz with the sweep): cut it to the sweep and its decay";
    case Reason::Clipped:
      return zh ? "录音削波（" + std::to_string(clippedSamples) + " 个采样达到满量程）：请降低电平后重测"
                : "the recording clipped (" + std::to_string(clippedSamples) +
                      " samples at full scale): lower the level and measure again";
    case Reason::NotFound:
      return zh ? "录音中找不到扫频（麦克风没有听到，或是另一个扫频的录音：请检查扫频的长度和频率范围）"
                : "the sweep was not found in the recording (the microphone did not hear it, or it is a "
                  "recording of another sweep: check the sweep's length and range)";
    case Reason::LoopbackNotFound:
      return zh ? "回环声道上找不到扫频：请检查回环接线和声道"
                : "the sweep was not found on the loopback channel: check its wiring and channel";
    case Reason::TimingChanged:
      return zh ? "扫频期间声音的时间发生了变化（声卡或音频服务丢失或插入了声音）：请重新测量"
                : "the sound's timing changed during the sweep (the sound card or audio server dropped or inserted "
                  "sound): measure again";
    case Reason::TooQuiet:
      return zh ? "信号只比噪声高 " + Num("%.1f", snrDb) + " dB（至少需要 20 dB）：请提高电平或降低噪声"
                : "the signal is only " + Num("%.1f", snrDb) +
                      " dB above the noise floor (20 dB needed): raise the level or lower the noise";
  }
  return {};
}

double Analysis::DistanceCm() const {
  // The delay page's own conversion, so a measured distance and a typed one agree.
  return arrivalMs / DelayMsFromCode(1) * DelayCmFromCode(1);
}

Levels MeasureLevels(std::span<const float> recording, long long arrivalSample, std::size_t activeStart,
                     std::size_t activeEnd, int sampleRate, long long quietBefore, long long loudFrom,
                     long long loudTo) {
  Levels l = PeakLevels(recording);
  const auto n = static_cast<long long>(recording.size());
  const double rate = sampleRate;
  const long long guard = std::llround(kNoiseGuardSeconds * rate);
  const long long sigStart = std::clamp(arrivalSample + static_cast<long long>(activeStart), 0LL, n);
  const long long sigEnd = std::clamp(arrivalSample + static_cast<long long>(activeEnd), sigStart, n);
  const long long preEnd = std::clamp(std::min(quietBefore, sigStart) - guard, 0LL, n);
  const long long postStart = std::clamp(sigEnd + std::llround(kDecaySeconds * rate), 0LL, n);
  auto sumSquares = [&](long long a, long long b) {
    double s = 0;
    for (long long i = a; i < b; ++i)
      s += static_cast<double>(recording[static_cast<std::size_t>(i)]) * recording[static_cast<std::size_t>(i)];
    return s;
  };
  // The noise after the decay, less the other sound.
  const long long loudA = std::clamp(loudFrom, postStart, n);
  const long long loudB = std::clamp(loudTo, loudA, n);
  const long long noiseCount = preEnd + (n - postStart) - (loudB - loudA);
  if (sigEnd > sigStart)
    l.signalDbfs = Dbfs(std::sqrt(sumSquares(sigStart, sigEnd) / static_cast<double>(sigEnd - sigStart)));
  if (noiseCount >= std::llround(kMinNoiseSeconds * rate) && l.signalDbfs) {
    const double noise =
        (sumSquares(0, preEnd) + sumSquares(postStart, loudA) + sumSquares(loudB, n)) / static_cast<double>(noiseCount);
    const double signal = std::pow(10.0, *l.signalDbfs / 10.0);
    l.noiseDbfs = Dbfs(std::sqrt(noise));
    const double clean = std::max(signal - noise, 0.0);  // the signal's RMS holds the noise too
    l.snrDb = noise > 0 ? (clean > 0 ? 10.0 * std::log10(clean / noise) : kFloorDb) : -kFloorDb;
  }
  return l;
}

AnalysisOrRejection Analyse(std::span<const float> recording, std::span<const float> excitation, int sampleRate,
                            const AnalysisOptions& options) {
  AnalysisWorkspace workspace;
  return Analyse(recording, excitation, sampleRate, options, workspace);
}

AnalysisOrRejection Analyse(std::span<const float> recording, std::span<const float> excitation, int sampleRate,
                            const AnalysisOptions& options, AnalysisWorkspace& workspace) {
  Levels levels = PeakLevels(recording);
  if (!Usable(recording, excitation, sampleRate, options)) return Reject(Rejection::Reason::Empty, levels);
  if (recording.size() + excitation.size() > kMaxAnalysedFrames) return Reject(Rejection::Reason::TooLong, levels);
  const Active active = ActiveSpan(excitation);
  if (recording.size() < active.end - active.start) return Reject(Rejection::Reason::TooShort, levels);
  if (levels.clippedSamples > 0) return Reject(Rejection::Reason::Clipped, levels);
  const Found f = DeconvolveAndFind(workspace, recording, excitation, sampleRate, options.lowHz, options.highHz);
  if (!Heard(f)) return Reject(Rejection::Reason::NotFound, levels);
  levels = MeasureLevels(recording, std::llround(f.arrival.samples), active.start, active.end, sampleRate, 0);
  if (levels.snrDb && *levels.snrDb < options.minSnrDb) return Reject(Rejection::Reason::TooQuiet, levels);
  // The peak of a speaker's response lies after the sound starts; anything up to the sweep's start
  // in the recording before it is quiet.
  return Finish(*f.ir, f.arrival, 0.0, levels, options);
}

AnalysisOrRejection AnalyseWithLoopback(std::span<const float> recording, std::span<const float> loopback,
                                        std::span<const float> excitation, int sampleRate,
                                        const AnalysisOptions& options) {
  AnalysisWorkspace workspace;
  return AnalyseWithLoopback(recording, loopback, excitation, sampleRate, options, workspace);
}

AnalysisOrRejection AnalyseWithLoopback(std::span<const float> recording, std::span<const float> loopback,
                                        std::span<const float> excitation, int sampleRate,
                                        const AnalysisOptions& options, AnalysisWorkspace& workspace) {
  AnalysisOrRejection result = Analyse(recording, excitation, sampleRate, options, workspace);
  if (!std::holds_alternative<Analysis>(result)) return result;
  const Found loop = DeconvolveAndFind(workspace, loopback, excitation, sampleRate, options.lowHz, options.highHz);
  if (!Heard(loop)) {
    return Reject(Rejection::Reason::LoopbackNotFound, PeakLevels(loopback));
  }
  Analysis& a = std::get<Analysis>(result);
  a.referenceArrivalSamples = loop.arrival.samples;
  a.arrival.samples -= loop.arrival.samples;
  a.arrivalMs = a.arrival.samples * 1000.0 / sampleRate;
  a.irStartSamples -= loop.arrival.samples;
  return result;
}

AnalysisOrRejection AnalyseWithAcousticReference(std::span<const float> recording, const ReferencedStream& stream,
                                                 const SweepParams& sweep, const AnalysisOptions& options) {
  AnalysisWorkspace workspace;
  return AnalyseWithAcousticReference(recording, stream, sweep, options, workspace);
}

AnalysisOrRejection AnalyseWithAcousticReference(std::span<const float> recording, const ReferencedStream& stream,
                                                 const SweepParams& sweep, const AnalysisOptions& options,
                                                 AnalysisWorkspace& workspace) {
  const int rate = sweep.sampleRate;
  Levels levels = PeakLevels(recording);
  const auto offset = static_cast<long long>(stream.measurementOffset);
  if (!Usable(recording, stream.measurement, rate, options) || stream.reference.empty() || offset <= 0 ||
      stream.measurement.size() <= stream.measurementOffset)
    return Reject(Rejection::Reason::Empty, levels);
  if (recording.size() + stream.measurement.size() > kMaxAnalysedFrames)
    return Reject(Rejection::Reason::TooLong, levels);
  if (levels.clippedSamples > 0) return Reject(Rejection::Reason::Clipped, levels);
  // The reference: its short sweep alone, wherever the chain's latency put it — anywhere that
  // leaves the measurement sweep, `offset` after it, inside the recording. Sound cards and audio
  // servers can hold a second or more, far longer than the gap before the measurement sweep.
  const SweepParams refParams = TimingReferenceSweep(rate);
  const Active refActive = ActiveSpan(std::span<const float>(stream.reference).first(stream.measurementOffset));
  if (refActive.end == 0) return Reject(Rejection::Reason::Empty, levels);
  const std::span<const float> refSweep(stream.reference.data(), refActive.end);
  const auto n = static_cast<long long>(recording.size());
  const auto mainLength = static_cast<long long>(stream.measurement.size()) - offset;
  const Found ref = DeconvolveAndFind(workspace, recording, refSweep, rate, refParams.startHz, refParams.endHz, 0,
                                      std::max(offset, n - mainLength - offset + 1));
  if (!Heard(ref, false)) return Reject(Rejection::Reason::NotFound, levels);
  const double refArrival = ref.arrival.samples;  // the workspace's next deconvolution replaces `ref`
  long long closingCut = n;
  long long closingEnd = n;
  if (stream.closingOffset > 0 && stream.closingOffset < stream.reference.size()) {
    const auto closingAt = static_cast<long long>(stream.closingOffset);
    const std::span<const float> closingSweep(stream.reference.data() + closingAt,
                                              stream.reference.size() - stream.closingOffset);
    const auto expected = std::llround(refArrival) + closingAt;
    // Looked for in a short excerpt around where a steady chain puts it: the measurement sweep's
    // high end, deconvolved as if it were this sweep, smears into sound stronger than a peak.
    const auto window = std::llround(kClosingSearchSeconds * rate);
    const long long from = std::clamp<long long>(expected - window, 0, n);
    const long long to =
        std::clamp<long long>(expected + static_cast<long long>(closingSweep.size()) + window, from, n);
    const std::span<const float> excerpt =
        recording.subspan(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    const Found closing =
        DeconvolveAndFind(workspace, excerpt, closingSweep, rate, refParams.startHz, refParams.endHz, 0, to - from);
    if (excerpt.size() < closingSweep.size() || !Heard(closing, false) ||
        std::abs(static_cast<double>(from) + closing.arrival.samples - refArrival - static_cast<double>(closingAt)) >
            kMaxTimingDriftSamples)
      return Reject(Rejection::Reason::TimingChanged, levels);
    closingCut = std::clamp<long long>(expected - std::llround(kClosingMarginSeconds * rate), 0, n);
    closingEnd = expected + static_cast<long long>(closingSweep.size()) + std::llround(kDecaySeconds * rate);
  }
  // The measurement sweep, with the references' sound taken out of the recording first.
  const long long cut = std::clamp<long long>(offset + std::llround(refArrival - kReferenceGapSeconds / 2 * rate), 0,
                                              static_cast<long long>(recording.size()));
  std::vector<float> rest(recording.begin(), recording.end());
  std::fill(rest.begin(), rest.begin() + cut, 0.0f);
  std::fill(rest.begin() + std::max(cut, closingCut), rest.end(), 0.0f);
  const std::span<const float> mainSweep(stream.measurement.data() + offset, stream.measurement.size() - offset);
  // Only where a speaker of the same car can be heard next to the reference: anything else the
  // deconvolution shows (the edges of the silenced parts, harmonics) is not this speaker.
  const auto mainAt = offset + std::llround(refArrival);
  const Found main = DeconvolveAndFind(workspace, rest, mainSweep, rate, options.lowHz, options.highHz,
                                       mainAt - std::llround(kMostEarlierSeconds * rate),
                                       mainAt + std::llround(kMostLaterSeconds * rate));
  if (!Heard(main)) return Reject(Rejection::Reason::NotFound, levels);
  const Active active = ActiveSpan(mainSweep);
  levels = MeasureLevels(recording, std::llround(main.arrival.samples), active.start, active.end, rate,
                         std::llround(refArrival) + static_cast<long long>(refActive.start), closingCut, closingEnd);
  if (levels.snrDb && *levels.snrDb < options.minSnrDb) return Reject(Rejection::Reason::TooQuiet, levels);
  // Time 0 is the reference's arrival shifted to where the measurement sweep starts.
  Analysis a = Finish(*main.ir, main.arrival, static_cast<double>(offset) + refArrival, levels, options);
  a.referenceArrivalSamples = refArrival;
  return a;
}

}  // namespace zelto::acoustics
