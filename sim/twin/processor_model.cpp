#include "sim/twin/processor_model.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace zelto::twin {

namespace {

constexpr int kMaxGainCode = CKTV_OutData::kMaxGainCode;  // 0 dB
constexpr int kMaxMasterVolume = 60;                      // 0 dB; 0 is off
constexpr double kPercent = 100.0;

double DbToLinear(double db) { return std::pow(10.0, db / 20.0); }

// A gain or volume code counts dB below its top, and code 0 is off rather than -60 dB.
double CodeToLinear(int code, int top) {
  if (code <= 0) return 0.0;
  return DbToLinear(std::min(code, top) - top);
}

double Share(std::uint8_t percent) { return std::min<double>(percent, kPercent) / kPercent; }

// The analogue inputs play only while an analogue source is selected.
bool AnalogueSource(std::uint8_t source) { return source == 0 || source == 1; }

}  // namespace

SettingsReader::SettingsReader() : route_(scratch_, tracking_) {}

ProcessorSettings SettingsReader::Read(const DeviceImage& memory) {
  ProcessorSettings s;
  const auto system = memory.SystemSettings();
  const bool masterOn = system[sys::kMasterSwitch] != 0 && AnalogueSource(system[sys::kSource]);
  const double master = masterOn ? CodeToLinear(memory.MasterVolume(), kMaxMasterVolume) : 0.0;
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    CKTV_OutData& o = route_[ch];
    o.Unpack(memory.Block(0, BlockType::Output, ch));
    ChannelSettings& c = s.channel[static_cast<std::size_t>(ch)];
    const CKTVEQ& eq = o.Eq();
    for (int band = 0; band < std::min(eq.BandCount(), kBandSlots); ++band) {
      const FilterSections fs = eq.Filter(band).Sections();
      if (fs.count == 0) continue;
      c.slot[static_cast<std::size_t>(band)] = fs.section[0];
      c.active[static_cast<std::size_t>(band)] = true;
    }
    const std::array<const CFilter*, 2> crossovers = {&eq.HighPass(), &eq.LowPass()};
    for (std::size_t x = 0; x < crossovers.size(); ++x) {
      const FilterSections fs = crossovers[x]->Sections();
      for (int k = 0; k < fs.count; ++k) {
        const std::size_t at = kBandSlots + x * kSectionsPerCrossover + static_cast<std::size_t>(k);
        c.slot[at] = fs.section[static_cast<std::size_t>(k)];
        c.active[at] = true;
      }
    }
    const bool sounding = o.OutputSwitch() && !o.GainOff();
    const double sign = o.Phase() != 0 ? -1.0 : 1.0;
    c.gain = sounding ? sign * CodeToLinear(o.GainCode(), kMaxGainCode) * master : 0.0;
    c.delayCode = std::clamp(o.Delay(), 0, CKTV_OutData::kMaxDelayCode);
    c.mixLeft = Share(o.InputMix()[kMixSourceLeft]);
    c.mixRight = Share(o.InputMix()[kMixSourceRight]);
  }
  return s;
}

ProcessorModel::ProcessorModel(int rate, std::size_t maxFrames)
    : rate_(rate), factor_(kProcessorRate / rate), maxFrames_(maxFrames) {
  assert(RateSupported(rate));
  const std::size_t frames96 = maxFrames * static_cast<std::size_t>(factor_);
  for (auto& v : in96_) v.assign(frames96, 0.0);
  for (auto& v : out96_) v.assign(frames96, 0.0);
  for (auto& v : delayLine_) v.assign(kDelayLine, 0.0);
  if (factor_ == 2) latency_ = (up_[0].Latency() + down_[0].Latency()) / 2;
  SetSettings(ProcessorSettings{});
}

void ProcessorModel::SetSettings(const ProcessorSettings& settings) {
  activeCount_ = 0;
  for (int k = 0; k < kSlots; ++k) {
    const auto kk = static_cast<std::size_t>(k);
    bool any = false;
    for (int c = 0; c < kOutputChannels; ++c) {
      const ChannelSettings& ch = settings.channel[static_cast<std::size_t>(c)];
      if (ch.active[kk]) {
        const BiquadSection& q = ch.slot[kk];
        b0_[kk].v[c] = q.b0;
        b1_[kk].v[c] = q.b1;
        b2_[kk].v[c] = q.b2;
        a1_[kk].v[c] = q.a1;
        a2_[kk].v[c] = q.a2;
        any = true;
      } else {
        // A slot that falls silent forgets what it held, so it starts clean when used again.
        b0_[kk].v[c] = 1.0;
        b1_[kk].v[c] = b2_[kk].v[c] = a1_[kk].v[c] = a2_[kk].v[c] = 0.0;
        s1_[kk].v[c] = s2_[kk].v[c] = 0.0;
      }
    }
    if (any) activeSlots_[static_cast<std::size_t>(activeCount_++)] = k;
  }
  for (int c = 0; c < kOutputChannels; ++c) {
    const ChannelSettings& ch = settings.channel[static_cast<std::size_t>(c)];
    gain_.v[c] = ch.gain;
    mixLeft_.v[c] = ch.mixLeft;
    mixRight_.v[c] = ch.mixRight;
    delay96_[static_cast<std::size_t>(c)] = ch.delayCode * (kProcessorRate / kDelayCodeRate);
  }
}

void ProcessorModel::RunFilters(std::size_t frames96) {
  const double* left = in96_[0].data();
  const double* right = in96_[1].data();
  for (std::size_t n = 0; n < frames96; ++n) {
    double v[kOutputChannels];
    for (int c = 0; c < kOutputChannels; ++c) v[c] = mixLeft_.v[c] * left[n] + mixRight_.v[c] * right[n];
    // Transposed direct form II: two states per section, good in double precision even for
    // low corners at 96 kHz.
    for (int i = 0; i < activeCount_; ++i) {
      const auto k = static_cast<std::size_t>(activeSlots_[static_cast<std::size_t>(i)]);
      double* s1 = s1_[k].v;
      double* s2 = s2_[k].v;
      const double* b0 = b0_[k].v;
      const double* b1 = b1_[k].v;
      const double* b2 = b2_[k].v;
      const double* a1 = a1_[k].v;
      const double* a2 = a2_[k].v;
      for (int c = 0; c < kOutputChannels; ++c) {
        const double y = b0[c] * v[c] + s1[c];
        s1[c] = b1[c] * v[c] - a1[c] * y + s2[c];
        s2[c] = b2[c] * v[c] - a2[c] * y;
        v[c] = y;
      }
    }
    const std::size_t w = (delayWrite_ + n) & (kDelayLine - 1);
    for (int c = 0; c < kOutputChannels; ++c) {
      const auto cc = static_cast<std::size_t>(c);
      delayLine_[cc][w] = v[c] * gain_.v[c];
      out96_[cc][n] = delayLine_[cc][(w - static_cast<std::size_t>(delay96_[cc])) & (kDelayLine - 1)];
    }
  }
  delayWrite_ = (delayWrite_ + frames96) & (kDelayLine - 1);
}

void ProcessorModel::Process(std::span<const double> left, std::span<const double> right,
                             const std::array<std::span<double>, kOutputChannels>& out) {
  const std::size_t frames = left.size();
  assert(right.size() == frames && frames <= maxFrames_);
  const std::size_t frames96 = frames * static_cast<std::size_t>(factor_);
  if (factor_ == 2) {
    up_[0].Process(left, std::span(in96_[0]).first(frames96));
    up_[1].Process(right, std::span(in96_[1]).first(frames96));
  } else {
    std::copy(left.begin(), left.end(), in96_[0].begin());
    std::copy(right.begin(), right.end(), in96_[1].begin());
  }
  RunFilters(frames96);
  for (int c = 0; c < kOutputChannels; ++c) {
    const auto cc = static_cast<std::size_t>(c);
    if (factor_ == 2) {
      down_[cc].Process(std::span(out96_[cc]).first(frames96), out[cc].first(frames));
    } else {
      std::copy_n(out96_[cc].begin(), frames, out[cc].begin());
    }
  }
}

}  // namespace zelto::twin
