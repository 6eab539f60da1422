#pragma once
// One output channel in engineering values: EQ with crossovers, switch, phase, gain, delay, EQ mode,
// level, input mix, limiter and name. Setters remember which 8-byte item of the channel's output
// block has become stale; the change scan packs and sends it later. Everything here runs under the
// model lock of the aggregate (CKTV_Data::Edit or CKTV_Data::Lock), which the change scan also takes.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/device_image.h"
#include "core/frame.h"
#include "model/eq.h"

namespace zelto {

class ChangeTracking;
class KTV_OutRoute;

class CKTV_OutData {
 public:
  static constexpr int kMixShares = 12;
  static constexpr int kMixSetterShares = 6;
  static constexpr std::uint8_t kDefaultGraphMargin = 36;
  static constexpr std::int16_t kDefaultGainCode = 60;
  static constexpr std::int16_t kDefaultLimiterThreshold = 300;  // 0.0 dBu
  static constexpr std::uint8_t kDefaultLimiterAttack = 106;     // 100 ms
  static constexpr std::uint8_t kDefaultLimiterRelease = 5;      // attack x 32
  static constexpr int kHighPassHz = kFilterMinHz;
  static constexpr int kLowPassHz = kFilterMaxHz;
  // The codes the processor takes. Setters limit to these, so no caller can write a value that
  // wraps in its bytes (a delay of 40000 stored as -25536, an attack of 312 as 56).
  static constexpr int kMaxGainCode = 60;    // 0 dB
  static constexpr int kMaxDelayCode = 960;  // 20 ms at 48 kHz
  static constexpr int kMaxPhase = 1;        // inverted
  static constexpr int kMaxEqMode = 1;       // graphic EQ
  static constexpr int kMaxLevel = 255;
  static constexpr int kMaxLimiterThreshold = 500;  // +20 dBu
  static constexpr int kMaxLimiterAttack = 255;
  static constexpr int kMaxLimiterRelease = 5;  // attack x 32
  static constexpr int kMaxShare = 100;         // percent

  /// `filterTag` is the crossovers' drag range rule (9, 8, 7, 9, 8, 7, 7, 7 for channels 0..7).
  CKTV_OutData(DeviceImage& image, const ChangeTracking& tracking, int channelIndex, int filterTag);
  CKTV_OutData(const CKTV_OutData&) = delete;
  CKTV_OutData& operator=(const CKTV_OutData&) = delete;

  /// The channels a propagating setter copies into (those of the same link group). Without a route
  /// nothing propagates.
  void SetRoute(KTV_OutRoute* route) { route_ = route; }

  // Setters. Each stores the value and sets the named item's dirty flag to the change-tracking
  // switch, so edits made while no processor is connected are never queued.
  /// Refuses (returns false, nothing changed) a name of 8 or more bytes: the field holds 7.
  bool SetName(std::string_view name);
  /// Also switches the gain off at code 0; copies the item-31 group to linked channels.
  void SetGain(int code);
  void SetGainOff(bool off);
  void SetDelay(int code);
  void SetOutputSwitch(bool soundOn);
  /// Copies the item-31 group (not the phase itself) to linked channels.
  void SetPhase(int phase);
  /// Copies the mode into all band filters and the item-31 group to linked channels.
  void SetEqMode(int mode);
  void SetLevel(int value);
  /// The three limiter setters copy all three limiter values to linked channels.
  void SetLimiterThreshold(int code);
  void SetLimiterAttack(int code);
  void SetLimiterRelease(int code);
  /// Shares of input sources 0..5 (item 33).
  void SetInputMix(std::span<const std::uint8_t, kMixSetterShares> shares);
  /// Stores the same six shares as SetInputMix and marks item 34 as well as item 33, which
  /// carries those bytes.
  void SetInputMix2(std::span<const std::uint8_t, kMixSetterShares> shares);
  /// One share (source 0..11); marks the item that carries its byte.
  void SetInputShare(int source, int percent);

  // Packing into OutputBlock[channel] of the live image. The overloads with a builder also build
  // the item write and return it.
  /// Refused (old bytes kept, false) when the name has 8 or more bytes.
  bool PackName();
  void PackItem31();
  /// The crossover record at the frequencies the user set.
  void PackCrossover();
  void PackMixA();
  void PackMixB();
  void PackLimiter();
  /// Band k at the frequency the user set.
  void PackBand(int k);
  /// Null when the name is refused.
  SendDataPtr PackName(FrameBuilder& send);
  SendDataPtr PackItem31(FrameBuilder& send);
  SendDataPtr PackCrossover(FrameBuilder& send);
  SendDataPtr PackMixA(FrameBuilder& send);
  SendDataPtr PackMixB(FrameBuilder& send);
  SendDataPtr PackLimiter(FrameBuilder& send);
  SendDataPtr PackBand(int k, int item, FrameBuilder& send);
  /// Every item at the values the user set, without sending.
  void PackAll();
  /// PackAll, then the whole block as one message; every filter counts as sent afterwards.
  SendDataPtr PackAllAndSend(FrameBuilder& builder, int slot);

  // Change-scan steps for a filter that is still pending: the frequency goes out at most one octave
  // away from what the processor holds (the frequency in the live block).
  SendDataPtr SettleAndPackCrossover(FrameBuilder& send);
  SendDataPtr SettleAndPackBand(int k, FrameBuilder& send);

  /// Reads a whole 298-byte output block (a shorter span is ignored). Sets no dirty flag.
  void Unpack(std::span<const std::uint8_t> block);

  /// Channel copy: EQ bands and crossovers, gain with its gain-off flag and the EQ mode.
  void CopyFrom(const CKTV_OutData& other);

  // Values.
  int ChannelIndex() const { return channelIndex_; }
  const std::string& Name() const { return name_; }
  CKTVEQ& Eq() { return eq_; }
  const CKTVEQ& Eq() const { return eq_; }
  int Phase() const { return phase_; }
  bool OutputSwitch() const { return outputSwitch_ != 0; }
  int GainCode() const { return gainCode_; }
  bool GainOff() const { return gainOff_ != 0; }
  int Delay() const { return delayCode_; }
  int EqMode() const { return eqMode_; }
  int Level() const { return level_; }
  int LimiterThreshold() const { return limiterThreshold_; }
  int LimiterAttack() const { return limiterAttack_; }
  int LimiterRelease() const { return limiterRelease_; }
  const std::array<std::uint8_t, kMixShares>& InputMix() const { return inputMix_; }
  std::uint8_t GraphMargin() const { return graphMargin_; }
  std::uint32_t Colour() const { return colour_; }
  void SetColour(std::uint32_t rgb) { colour_ = rgb; }
  /// Sets the name without marking anything (the owner's default name).
  bool SetDefaultName(std::string_view name);

  // Dirty flags, read and cleared by the change scan.
  struct Dirty {
    bool name = false;
    bool mixA = false;
    bool item31 = false;
    bool limiter = false;
    bool mixB = false;
  };
  Dirty& DirtyFlags() { return dirty_; }
  const Dirty& DirtyFlags() const { return dirty_; }

 private:
  friend class KTV_OutRoute;
  std::span<std::uint8_t> Block();
  bool Tracking() const;
  template <class F>
  void ForEachLinked(F&& f);
  void CopyItem31GroupTo(CKTV_OutData& other) const;
  void CopyLimiterTo(CKTV_OutData& other) const;
  void ApplyEqMode(int mode);
  SendDataPtr Send(FrameBuilder& send, int item);

  DeviceImage& image_;
  const ChangeTracking& tracking_;
  KTV_OutRoute* route_ = nullptr;

  std::string name_;
  std::uint8_t graphMargin_ = kDefaultGraphMargin;
  CKTVEQ eq_;
  std::uint8_t phase_ = 0;
  std::uint8_t outputSwitch_ = 0;
  std::int16_t gainCode_ = kDefaultGainCode;
  std::int32_t gainOff_ = 0;
  std::int16_t delayCode_ = 0;
  std::uint8_t eqMode_ = 0;
  std::uint8_t level_ = 0;
  std::uint8_t item31Index_ = out::kItemSwitch;
  std::int16_t limiterThreshold_ = kDefaultLimiterThreshold;
  std::uint8_t limiterAttack_ = kDefaultLimiterAttack;
  std::uint8_t limiterRelease_ = kDefaultLimiterRelease;
  std::uint8_t limiterItemIndex_ = out::kItemLimiter;
  std::array<std::uint8_t, 2> mixItemIndices_ = {out::kItemMixA, out::kItemMixB};
  std::array<std::uint8_t, kMixShares> inputMix_{};
  Dirty dirty_;
  std::uint8_t channelIndex_;
  std::uint32_t colour_ = 0;
};

/// The eight output channels, created in channel order.
class KTV_OutRoute {
 public:
  KTV_OutRoute(DeviceImage& image, const ChangeTracking& tracking);
  KTV_OutRoute(const KTV_OutRoute&) = delete;
  KTV_OutRoute& operator=(const KTV_OutRoute&) = delete;

  CKTV_OutData& operator[](int channel) { return *channels_.at(static_cast<std::size_t>(channel)); }
  const CKTV_OutData& operator[](int channel) const { return *channels_.at(static_cast<std::size_t>(channel)); }
  static constexpr int Count() { return kOutputChannels; }
  DeviceImage& Image() { return image_; }

 private:
  DeviceImage& image_;
  std::array<std::unique_ptr<CKTV_OutData>, kOutputChannels> channels_;
};

}  // namespace zelto
