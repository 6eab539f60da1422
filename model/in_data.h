#pragma once
// The processor's two input blocks, a microphone input and a music input, each with a 9-band EQ
// and a crossover. Only the music input takes part in the change scan (items 9 and 11); the
// microphone object is packed only with the whole preset image.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/device_image.h"
#include "core/frame.h"
#include "model/eq.h"

namespace zelto {

class ChangeTracking;

/// What both input objects share: EQ, name, item-9 group, level, item-12 group and packing.
class CInputData {
 public:
  static constexpr int kBandCountMinusOne = in::kBands - 1;
  static constexpr int kCrossoverItem = 10;
  static constexpr int kLowPassHz = kFilterMaxHz;
  static constexpr std::int32_t kDefaultLevel = 40;  // -80 dBu
  static constexpr std::int32_t kDefaultSettingA = 500;

  CInputData(const CInputData&) = delete;
  CInputData& operator=(const CInputData&) = delete;
  virtual ~CInputData() = default;

  // Packing into the live input block. The overloads with a builder also build the item write.
  void PackItem9();
  /// The crossover record at the frequencies the user set (item 10).
  void PackCrossover();
  void PackLevel();
  void PackItem12();
  /// Refused (old bytes kept, false) when the name has 8 or more bytes.
  bool PackName();
  void PackBand(int k);
  SendDataPtr PackItem9(FrameBuilder& send);
  SendDataPtr PackCrossover(FrameBuilder& send);
  SendDataPtr PackLevel(FrameBuilder& send);
  SendDataPtr PackItem12(FrameBuilder& send);
  /// Null when the name is refused.
  SendDataPtr PackName(FrameBuilder& send);
  SendDataPtr PackBand(int k, int item, FrameBuilder& send);
  /// Bands and every group at the values set, without sending.
  void PackAll();
  /// PackAll, then the whole block as one message; every filter counts as sent afterwards.
  SendDataPtr PackAllAndSend(FrameBuilder& builder, int slot);
  /// Reads a whole 112-byte input block (a shorter span is ignored). Sets no dirty flag.
  void Unpack(std::span<const std::uint8_t> block);

  BlockType Type() const { return type_; }
  int ChannelIndex() const { return channelIndex_; }
  CKTVEQ& Eq() { return eq_; }
  const CKTVEQ& Eq() const { return eq_; }
  const std::string& Name() const { return name_; }
  /// Refuses (returns false, nothing changed) a name of 8 or more bytes.
  bool SetName(std::string_view name);
  int InputSwitch() const { return inputSwitch_; }
  int Phase() const { return phase_; }
  int Gain() const { return gain_; }
  bool GainOff() const { return gainOff_ != 0; }
  int Delay() const { return delayCode_; }
  int Level() const { return level_; }
  int SettingA() const { return settingA_; }
  int SettingB() const { return settingB_; }
  int SettingC() const { return settingC_; }
  void SetSettingA(int v) { settingA_ = v; }
  void SetSettingB(int v) { settingB_ = v; }
  void SetSettingC(int v) { settingC_ = v; }
  std::uint32_t Colour() const { return colour_; }
  void SetColour(std::uint32_t rgb) { colour_ = rgb; }

 protected:
  CInputData(DeviceImage& image, const ChangeTracking& tracking, BlockType type, int channelIndex,
             std::string_view name, std::int32_t gain, std::int32_t inputSwitch);
  std::span<std::uint8_t> Block();
  bool Tracking() const;
  /// The bytes of item 9 only this kind of input carries (microphone: level steps and switch B).
  virtual void PackItem9Extra(std::span<std::uint8_t>) {}
  virtual void UnpackItem9Extra(std::span<const std::uint8_t>) {}

  DeviceImage& image_;
  const ChangeTracking& tracking_;
  BlockType type_;
  CKTVEQ eq_;
  std::string name_;
  std::uint8_t nameItemIndex_ = 13;
  std::int32_t inputSwitch_;
  std::int32_t phase_ = 0;
  std::int32_t delayCode_ = 0;
  std::int32_t gain_;
  std::int32_t gainOff_ = 0;
  std::uint8_t item9Index_ = 9;
  std::int32_t level_ = kDefaultLevel;
  std::uint8_t item11Index_ = 11;
  std::int32_t settingA_ = kDefaultSettingA;
  std::int32_t settingB_ = 0;
  std::int32_t settingC_ = 0;
  std::uint8_t item12Index_ = 12;
  std::uint8_t channelIndex_;
  std::uint32_t colour_ = 0;

 private:
  SendDataPtr Send(FrameBuilder& send, int item);
};

class CMIC_InData : public CInputData {
 public:
  static constexpr std::int32_t kDefaultGain = 40;  // -40 dB
  static constexpr int kChannel = 0;

  CMIC_InData(DeviceImage& image, const ChangeTracking& tracking);

  // The microphone is not scanned: its setters only store.
  void SetInputSwitch(int on) { inputSwitch_ = on; }
  void SetPhase(int phase) { phase_ = phase; }
  void SetGain(int value) {
    gain_ = value;
    gainOff_ = value == 0;
  }
  void SetGainOff(bool off) { gainOff_ = off; }
  void SetDelay(int code) { delayCode_ = code; }
  void SetLevel(int value) { level_ = value; }
  void SetLevelSteps(int steps) { levelSteps_ = steps; }
  void SetSwitchB(int v) { switchB_ = v; }
  int LevelSteps() const { return levelSteps_; }
  int SwitchB() const { return switchB_; }

 private:
  void PackItem9Extra(std::span<std::uint8_t> block) override;
  void UnpackItem9Extra(std::span<const std::uint8_t> block) override;

  std::int32_t levelSteps_ = 0;
  std::int32_t switchB_ = 1;
};

class CMusic_InData : public CInputData {
 public:
  static constexpr std::int32_t kDefaultGain = 60;  // -20 dB
  static constexpr int kChannel = kMusicChannelBase;

  CMusic_InData(DeviceImage& image, const ChangeTracking& tracking);

  // Item 9 group.
  void SetInputSwitch(int on);
  void SetPhase(int phase);
  /// Also switches the gain off at 0.
  void SetGain(int value);
  void SetGainOff(bool off);
  void SetDelay(int code);
  // Item 11.
  void SetLevel(int value);

  struct Dirty {
    bool item9 = false;
    bool item11 = false;
  };
  Dirty& DirtyFlags() { return dirty_; }
  const Dirty& DirtyFlags() const { return dirty_; }

 private:
  Dirty dirty_;
};

/// Owns the one microphone input.
class KTV_MicRoute {
 public:
  KTV_MicRoute(DeviceImage& image, const ChangeTracking& tracking);
  CMIC_InData& operator[](int i) { return *elements_.at(static_cast<std::size_t>(i)); }
  const CMIC_InData& operator[](int i) const { return *elements_.at(static_cast<std::size_t>(i)); }
  static constexpr int Count() { return 1; }

 private:
  std::array<std::unique_ptr<CMIC_InData>, 1> elements_;
};

/// Owns the one music input.
class KTV_MusicRoute {
 public:
  KTV_MusicRoute(DeviceImage& image, const ChangeTracking& tracking);
  CMusic_InData& operator[](int i) { return *elements_.at(static_cast<std::size_t>(i)); }
  const CMusic_InData& operator[](int i) const { return *elements_.at(static_cast<std::size_t>(i)); }
  static constexpr int Count() { return 1; }

 private:
  std::array<std::unique_ptr<CMusic_InData>, 1> elements_;
};

}  // namespace zelto
