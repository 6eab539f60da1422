#include "model/out_data.h"

#include <algorithm>
#include <cassert>

#include "core/bytes.h"
#include "core/change_tracking.h"
#include "core/encodings.h"

namespace zelto {
namespace {

constexpr int kBandCountMinusOne = out::kBands - 1;

// Per channel 0..7: the crossovers' drag range rule, the default name and the curve colour.
constexpr std::array<int, kOutputChannels> kFilterTags = {9, 8, 7, 9, 8, 7, 7, 7};
constexpr std::array<std::string_view, kOutputChannels> kDefaultNames = {"FL",     "FR",  "SL",  "SR",
                                                                         "Center", "ULF", "CH7", "CH8"};
constexpr std::array<std::uint32_t, kOutputChannels> kChannelColours = {0xFF4040, 0x40A0FF, 0xFFC020, 0x40E060,
                                                                        0xE060FF, 0xFF8040, 0x40E0E0, 0xC0C0C0};

std::uint8_t U8(int v) { return static_cast<std::uint8_t>(v); }

}  // namespace

CKTV_OutData::CKTV_OutData(DeviceImage& image, const ChangeTracking& tracking, int channelIndex, int filterTag)
    : image_(image), tracking_(tracking), eq_(tracking), channelIndex_(U8(channelIndex)) {
  assert(channelIndex >= 0 && channelIndex < kOutputChannels);
  eq_.Create31(kBandCountMinusOne, out::kItemCrossover, filterTag, kHighPassHz, kLowPassHz);
  // Until a read-back or a file fills them, the sound switch and the mix hold what a fresh image
  // holds (sound on, source 0 at full share), so a file saved or a preset sent before then does
  // not carry a muted channel with no source.
  const auto defaults = OutputDefaults();
  outputSwitch_ = defaults[out::kSwitch];
  std::copy_n(defaults.begin() + out::kMix, kMixShares, inputMix_.begin());
}

std::span<std::uint8_t> CKTV_OutData::Block() { return image_.Block(0, BlockType::Output, channelIndex_); }

bool CKTV_OutData::Tracking() const { return tracking_.IsOn(); }

template <class F>
void CKTV_OutData::ForEachLinked(F&& f) {
  if (route_ == nullptr) return;
  for (int ch = 0; ch < KTV_OutRoute::Count(); ++ch)
    if (ch != channelIndex_ && image_.SameLinkGroup(channelIndex_, ch)) f((*route_)[ch]);
}

// --- Setters ---------------------------------------------------------------------------------

bool CKTV_OutData::SetDefaultName(std::string_view name) {
  if (name.size() >= kNameFieldSize) return false;
  name_ = name;
  return true;
}

bool CKTV_OutData::SetName(std::string_view name) {
  if (!SetDefaultName(name)) return false;
  dirty_.name = Tracking();
  return true;
}

void CKTV_OutData::SetGain(int code) {
  code = std::clamp(code, 0, kMaxGainCode);
  gainCode_ = static_cast<std::int16_t>(code);
  gainOff_ = code == 0;
  dirty_.item31 = Tracking();
  ForEachLinked([this](CKTV_OutData& o) { CopyItem31GroupTo(o); });
}

void CKTV_OutData::SetGainOff(bool off) {
  gainOff_ = off;
  dirty_.item31 = Tracking();
}

void CKTV_OutData::SetDelay(int code) {
  code = std::clamp(code, 0, kMaxDelayCode);
  delayCode_ = static_cast<std::int16_t>(code);
  dirty_.item31 = Tracking();
}

void CKTV_OutData::SetOutputSwitch(bool soundOn) {
  outputSwitch_ = soundOn ? 1 : 0;
  dirty_.item31 = Tracking();
}

void CKTV_OutData::SetPhase(int phase) {
  phase_ = U8(std::clamp(phase, 0, kMaxPhase));
  dirty_.item31 = Tracking();
  ForEachLinked([this](CKTV_OutData& o) { CopyItem31GroupTo(o); });
}

void CKTV_OutData::SetEqMode(int mode) {
  ApplyEqMode(std::clamp(mode, 0, kMaxEqMode));
  dirty_.item31 = Tracking();
  ForEachLinked([this](CKTV_OutData& o) { CopyItem31GroupTo(o); });
}

void CKTV_OutData::SetLevel(int value) {
  level_ = U8(std::clamp(value, 0, kMaxLevel));
  dirty_.item31 = Tracking();
}

void CKTV_OutData::SetLimiterThreshold(int code) {
  limiterThreshold_ = static_cast<std::int16_t>(std::clamp(code, 0, kMaxLimiterThreshold));
  dirty_.limiter = Tracking();
  ForEachLinked([this](CKTV_OutData& o) { CopyLimiterTo(o); });
}

void CKTV_OutData::SetLimiterAttack(int code) {
  limiterAttack_ = U8(std::clamp(code, 0, kMaxLimiterAttack));
  dirty_.limiter = Tracking();
  ForEachLinked([this](CKTV_OutData& o) { CopyLimiterTo(o); });
}

void CKTV_OutData::SetLimiterRelease(int code) {
  limiterRelease_ = U8(std::clamp(code, 0, kMaxLimiterRelease));
  dirty_.limiter = Tracking();
  ForEachLinked([this](CKTV_OutData& o) { CopyLimiterTo(o); });
}

void CKTV_OutData::SetInputMix(std::span<const std::uint8_t, kMixSetterShares> shares) {
  std::ranges::transform(shares, inputMix_.begin(),
                         [](std::uint8_t v) { return std::min<std::uint8_t>(v, kMaxShare); });
  dirty_.mixA = Tracking();
}

void CKTV_OutData::SetInputMix2(std::span<const std::uint8_t, kMixSetterShares> shares) {
  std::ranges::transform(shares, inputMix_.begin(),
                         [](std::uint8_t v) { return std::min<std::uint8_t>(v, kMaxShare); });
  // These six shares travel in item 33; marking item 34 alone would never send them.
  dirty_.mixA = Tracking();
  dirty_.mixB = Tracking();
}

void CKTV_OutData::SetInputShare(int source, int percent) {
  if (source < 0 || source >= kMixShares) return;
  inputMix_[static_cast<std::size_t>(source)] = U8(std::clamp(percent, 0, kMaxShare));
  const std::size_t byte = out::kMix + static_cast<std::size_t>(source);
  const bool inItemA = byte / frame::kItemSize == static_cast<std::size_t>(out::kItemMixA);
  (inItemA ? dirty_.mixA : dirty_.mixB) = Tracking();
}

void CKTV_OutData::ApplyEqMode(int mode) {
  eqMode_ = U8(mode);
  eq_.SetGraphicEq(mode != 0);
}

void CKTV_OutData::CopyItem31GroupTo(CKTV_OutData& other) const {
  // Written field by field, not through the other channel's setters, so nothing cascades. Switch,
  // phase and delay stay the other channel's own.
  other.gainCode_ = gainCode_;
  other.gainOff_ = gainCode_ == 0;
  if (other.eqMode_ != eqMode_) other.ApplyEqMode(eqMode_);
  other.level_ = level_;
  other.dirty_.item31 = Tracking();
}

void CKTV_OutData::CopyLimiterTo(CKTV_OutData& other) const {
  other.limiterThreshold_ = limiterThreshold_;
  other.limiterAttack_ = limiterAttack_;
  other.limiterRelease_ = limiterRelease_;
  other.dirty_.limiter = Tracking();
}

// --- Packing ---------------------------------------------------------------------------------

SendDataPtr CKTV_OutData::Send(FrameBuilder& send, int item) {
  return send.BuildItemWrite(BlockType::Output, channelIndex_, item);
}

bool CKTV_OutData::PackName() { return StoreName8(Block().subspan(out::kName, kNameFieldSize), name_); }

void CKTV_OutData::PackItem31() {
  auto b = Block();
  b[out::kSwitch] = outputSwitch_;
  b[out::kPhase] = phase_;
  PutS16(b, out::kGain, gainOff_ ? std::int16_t{0} : gainCode_);
  PutS16(b, out::kDelay, delayCode_);
  b[out::kEqMode] = eqMode_;
  b[out::kLevel] = level_;
}

void CKTV_OutData::PackCrossover() { eq_.WriteCrossoverRecord(Block().subspan(out::kCrossover, xover::kSize)); }

void CKTV_OutData::PackMixA() { std::copy(inputMix_.begin(), inputMix_.end(), Block().begin() + out::kMix); }

void CKTV_OutData::PackMixB() { PackMixA(); }

void CKTV_OutData::PackLimiter() {
  auto b = Block();
  PutS16(b, out::kLimThreshold, limiterThreshold_);
  b[out::kLimAttack] = limiterAttack_;
  b[out::kLimRelease] = limiterRelease_;
}

void CKTV_OutData::PackBand(int k) { eq_.BandRecord(k).Write(BandSlot(Block(), k)); }

SendDataPtr CKTV_OutData::PackName(FrameBuilder& send) {
  if (!PackName()) return nullptr;
  return Send(send, out::kItemName);
}

SendDataPtr CKTV_OutData::PackItem31(FrameBuilder& send) {
  PackItem31();
  return Send(send, item31Index_);
}

SendDataPtr CKTV_OutData::PackCrossover(FrameBuilder& send) {
  PackCrossover();
  return Send(send, eq_.HighPass().deviceIndex());
}

SendDataPtr CKTV_OutData::PackMixA(FrameBuilder& send) {
  PackMixA();
  return Send(send, mixItemIndices_[0]);
}

SendDataPtr CKTV_OutData::PackMixB(FrameBuilder& send) {
  PackMixB();
  return Send(send, mixItemIndices_[1]);
}

SendDataPtr CKTV_OutData::PackLimiter(FrameBuilder& send) {
  PackLimiter();
  return Send(send, limiterItemIndex_);
}

SendDataPtr CKTV_OutData::PackBand(int k, int item, FrameBuilder& send) {
  PackBand(k);
  return Send(send, item);
}

void CKTV_OutData::PackAll() {
  PackItem31();
  PackCrossover();
  PackMixA();
  PackMixB();
  PackLimiter();
  for (int k = 0; k < eq_.BandCount(); ++k) PackBand(k);
  PackName();
}

SendDataPtr CKTV_OutData::PackAllAndSend(FrameBuilder& builder, int slot) {
  PackAll();
  // The block carries every filter at its target, so no octave step is left to send.
  eq_.SettleAll();
  return builder.BuildBlockWrite(slot, BlockType::Output, channelIndex_, true, true);
}

SendDataPtr CKTV_OutData::SettleAndPackCrossover(FrameBuilder& send) {
  auto x = Block().subspan(out::kCrossover, xover::kSize);
  CFilter& hp = eq_.HighPass();
  CFilter& lp = eq_.LowPass();
  const int hpHz = hp.pending() ? SettleFilter(hp) : hp.frequency();
  const int lpHz = lp.pending() ? SettleFilter(lp) : lp.frequency();
  eq_.WriteCrossoverRecord(x, hpHz, lpHz);
  return Send(send, hp.deviceIndex());
}

SendDataPtr CKTV_OutData::SettleAndPackBand(int k, FrameBuilder& send) {
  auto slot = BandSlot(Block(), k);
  CFilter& f = eq_.Filter(k);
  const int hz = SettleFilter(f);
  EqBandRecord r = eq_.BandRecord(k);
  r.frequency = static_cast<std::uint16_t>(hz);
  r.Write(slot);
  return Send(send, f.deviceIndex());
}

// --- Unpacking -------------------------------------------------------------------------------

void CKTV_OutData::Unpack(std::span<const std::uint8_t> block) {
  assert(block.size() >= out::kSize);
  if (block.size() < out::kSize) return;
  for (int k = 0; k < eq_.BandCount(); ++k) eq_.SetBand(EqBandRecord::Read(BandSlot(block, k)), k);
  name_ = ReadField(block.subspan(out::kName, kNameFieldSize));

  eq_.ReadCrossoverRecord(block.subspan(out::kCrossover, xover::kSize));

  outputSwitch_ = block[out::kSwitch];
  phase_ = block[out::kPhase];
  delayCode_ = GetS16(block, out::kDelay);
  gainCode_ = GetS16(block, out::kGain);
  gainOff_ = gainCode_ == 0;
  ApplyEqMode(block[out::kEqMode]);
  level_ = block[out::kLevel];
  limiterThreshold_ = GetS16(block, out::kLimThreshold);
  limiterAttack_ = block[out::kLimAttack];
  limiterRelease_ = block[out::kLimRelease];
  std::copy_n(block.begin() + out::kMix, kMixShares, inputMix_.begin());
}

void CKTV_OutData::CopyFrom(const CKTV_OutData& other) {
  eq_.CopyFrom(other.eq_);
  gainCode_ = other.gainCode_;
  gainOff_ = other.gainOff_;
  ApplyEqMode(other.eqMode_);
}

// --- Route -----------------------------------------------------------------------------------

KTV_OutRoute::KTV_OutRoute(DeviceImage& image, const ChangeTracking& tracking) : image_(image) {
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const auto i = static_cast<std::size_t>(ch);
    channels_[i] = std::make_unique<CKTV_OutData>(image, tracking, ch, kFilterTags[i]);
    channels_[i]->SetDefaultName(kDefaultNames[i]);
    channels_[i]->SetColour(kChannelColours[i]);
    channels_[i]->SetRoute(this);
  }
}

}  // namespace zelto
