#include "model/in_data.h"

#include <algorithm>
#include <cassert>

#include "core/bytes.h"
#include "core/change_tracking.h"
#include "core/encodings.h"

namespace zelto {
namespace {

constexpr std::string_view kMicName = "Mic 1";
constexpr std::string_view kMusicName = "Music 1";
constexpr std::uint32_t kMicColour = 0xFFFF80;
constexpr std::uint32_t kMusicColour = 0x80FF80;

// Item 12 of the input block: an s16 setting and two byte settings the processor keeps.
constexpr std::size_t kSettingA = in::kSetting96;
constexpr std::size_t kSettingB = in::kSetting96 + 2;
constexpr std::size_t kSettingC = in::kSetting96 + 3;

std::uint8_t U8(std::int32_t v) { return static_cast<std::uint8_t>(v); }

}  // namespace

CInputData::CInputData(DeviceImage& image, const ChangeTracking& tracking, BlockType type, int channelIndex,
                       std::string_view name, std::int32_t gain, std::int32_t inputSwitch)
    : image_(image),
      tracking_(tracking),
      type_(type),
      eq_(tracking),
      name_(name),
      inputSwitch_(inputSwitch),
      gain_(gain),
      channelIndex_(static_cast<std::uint8_t>(channelIndex)) {
  if (type == BlockType::MicIn)
    eq_.Create9A(kBandCountMinusOne, kCrossoverItem, kLowPassHz);
  else
    eq_.Create9B(kBandCountMinusOne, kCrossoverItem, kLowPassHz);
}

std::span<std::uint8_t> CInputData::Block() { return image_.Block(0, type_, channelIndex_); }

bool CInputData::Tracking() const { return tracking_.IsOn(); }

bool CInputData::SetName(std::string_view name) {
  if (name.size() >= kNameFieldSize) return false;
  name_ = name;
  return true;
}

SendDataPtr CInputData::Send(FrameBuilder& send, int item) { return send.BuildItemWrite(type_, channelIndex_, item); }

void CInputData::PackItem9() {
  auto b = Block();
  PackItem9Extra(b);
  b[in::kPhase] = U8(phase_);
  b[in::kSwitch] = U8(inputSwitch_);
  PutS16(b, in::kDelay, static_cast<std::int16_t>(delayCode_));
  PutS16(b, in::kGain, gainOff_ ? std::int16_t{0} : static_cast<std::int16_t>(gain_));
}

void CInputData::PackCrossover() { eq_.WriteCrossoverRecord(Block().subspan(in::kCrossover, xover::kSize)); }

void CInputData::PackLevel() { Block()[in::kLevel] = U8(level_); }

void CInputData::PackItem12() {
  auto b = Block();
  PutS16(b, kSettingA, static_cast<std::int16_t>(settingA_));
  b[kSettingB] = U8(settingB_);
  b[kSettingC] = U8(settingC_);
}

bool CInputData::PackName() { return StoreName8(Block().subspan(in::kName, kNameFieldSize), name_); }

void CInputData::PackBand(int k) { eq_.BandRecord(k).Write(BandSlot(Block(), k)); }

SendDataPtr CInputData::PackItem9(FrameBuilder& send) {
  PackItem9();
  return Send(send, item9Index_);
}

SendDataPtr CInputData::PackCrossover(FrameBuilder& send) {
  PackCrossover();
  return Send(send, eq_.HighPass().deviceIndex());
}

SendDataPtr CInputData::PackLevel(FrameBuilder& send) {
  PackLevel();
  return Send(send, item11Index_);
}

SendDataPtr CInputData::PackItem12(FrameBuilder& send) {
  PackItem12();
  return Send(send, item12Index_);
}

SendDataPtr CInputData::PackName(FrameBuilder& send) {
  if (!PackName()) return nullptr;
  return Send(send, nameItemIndex_);
}

SendDataPtr CInputData::PackBand(int k, int item, FrameBuilder& send) {
  PackBand(k);
  return Send(send, item);
}

void CInputData::PackAll() {
  for (int k = 0; k < eq_.BandCount(); ++k) PackBand(k);
  PackItem9();
  PackCrossover();
  PackLevel();
  PackItem12();
  PackName();
}

SendDataPtr CInputData::PackAllAndSend(FrameBuilder& builder, int slot) {
  PackAll();
  eq_.SettleAll();
  return builder.BuildBlockWrite(slot, type_, channelIndex_, true, true);
}

void CInputData::Unpack(std::span<const std::uint8_t> block) {
  assert(block.size() >= in::kSize);
  if (block.size() < in::kSize) return;
  for (int k = 0; k < eq_.BandCount(); ++k) eq_.SetBand(EqBandRecord::Read(BandSlot(block, k)), k);
  name_ = ReadField(block.subspan(in::kName, kNameFieldSize));

  UnpackItem9Extra(block);
  phase_ = block[in::kPhase];
  inputSwitch_ = block[in::kSwitch];
  delayCode_ = GetS16(block, in::kDelay);
  gain_ = GetS16(block, in::kGain);
  gainOff_ = gain_ == 0;

  eq_.ReadCrossoverRecord(block.subspan(in::kCrossover, xover::kSize));

  level_ = block[in::kLevel];
  settingA_ = GetS16(block, kSettingA);
  settingB_ = block[kSettingB];
  settingC_ = block[kSettingC];
}

// --- Microphone ------------------------------------------------------------------------------

CMIC_InData::CMIC_InData(DeviceImage& image, const ChangeTracking& tracking)
    : CInputData(image, tracking, BlockType::MicIn, kChannel, kMicName, kDefaultGain, 1) {}

void CMIC_InData::PackItem9Extra(std::span<std::uint8_t> block) {
  block[in::kLevelSteps] = U8(levelSteps_);
  block[in::kExtraSwitch] = U8(switchB_);
}

void CMIC_InData::UnpackItem9Extra(std::span<const std::uint8_t> block) {
  levelSteps_ = block[in::kLevelSteps];
  switchB_ = block[in::kExtraSwitch];
}

// --- Music -----------------------------------------------------------------------------------

CMusic_InData::CMusic_InData(DeviceImage& image, const ChangeTracking& tracking)
    : CInputData(image, tracking, BlockType::MusicIn, kChannel, kMusicName, kDefaultGain, 0) {}

void CMusic_InData::SetInputSwitch(int on) {
  inputSwitch_ = on;
  dirty_.item9 = Tracking();
}

void CMusic_InData::SetPhase(int phase) {
  phase_ = phase;
  dirty_.item9 = Tracking();
}

void CMusic_InData::SetGain(int value) {
  gain_ = value;
  gainOff_ = value == 0;
  dirty_.item9 = Tracking();
}

void CMusic_InData::SetGainOff(bool off) {
  gainOff_ = off;
  dirty_.item9 = Tracking();
}

void CMusic_InData::SetDelay(int code) {
  delayCode_ = code;
  dirty_.item9 = Tracking();
}

void CMusic_InData::SetLevel(int value) {
  level_ = value;
  dirty_.item11 = Tracking();
}

// --- Containers ------------------------------------------------------------------------------

KTV_MicRoute::KTV_MicRoute(DeviceImage& image, const ChangeTracking& tracking) {
  elements_[0] = std::make_unique<CMIC_InData>(image, tracking);
  elements_[0]->SetColour(kMicColour);
}

KTV_MusicRoute::KTV_MusicRoute(DeviceImage& image, const ChangeTracking& tracking) {
  elements_[0] = std::make_unique<CMusic_InData>(image, tracking);
  elements_[0]->SetColour(kMusicColour);
}

}  // namespace zelto
