#pragma once
// The effect section: eleven effect parameters, a 3-band EQ with crossover, and a name. The editor
// does not change it; it is carried along with every preset image so files and slots stay whole.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/device_image.h"
#include "model/eq.h"

namespace zelto {

class ChangeTracking;

// EffectRecord bytes of the effect parameters.
namespace fx_param {
inline constexpr std::size_t kBalance = 128;
inline constexpr std::size_t kDelayTime = 129;
inline constexpr std::size_t kParamB = 130;
inline constexpr std::size_t kParamC = 131;
inline constexpr std::size_t kParamD = 134;
inline constexpr std::size_t kReverbTime = 136;
inline constexpr std::size_t kParamF = 137;
inline constexpr std::size_t kParamG = 138;
inline constexpr std::size_t kParamH = 139;
inline constexpr std::size_t kParamI = 140;
inline constexpr std::size_t kPreDelay = 143;
}  // namespace fx_param

class CEffect_Data {
 public:
  static constexpr int kBandCountMinusOne = fx::kBands - 1;
  static constexpr int kCrossoverItem = 8;
  static constexpr int kLowPassHz = kFilterMaxHz;
  static constexpr std::size_t kNameChars = 7;  // the name is read from its first 7 bytes

  CEffect_Data(DeviceImage& image, const ChangeTracking& tracking);
  CEffect_Data(const CEffect_Data&) = delete;
  CEffect_Data& operator=(const CEffect_Data&) = delete;

  /// Reads the 152-byte effect record.
  void Unpack(std::span<const std::uint8_t> record);
  /// Writes name, parameters, crossover and the three bands into the live effect record.
  void PackAll();

  CKTVEQ& Eq() { return eq_; }
  const CKTVEQ& Eq() const { return eq_; }
  const std::string& Name() const { return name_; }
  /// Refuses (returns false, nothing changed) a name of 8 or more bytes.
  bool SetName(std::string_view name);

  // The parameters as stored (the processor decides what they do).
  std::int32_t balance = 20;
  std::int32_t delayTime = 84;
  std::int32_t paramC = 68;
  std::int32_t paramD = 0;
  std::int32_t paramB = 50;
  std::int32_t paramI = 50;
  std::int32_t reverbTime = 18;
  std::int32_t paramF = 50;
  std::int32_t paramG = 0;
  std::int32_t paramH = 40;
  std::int32_t preDelay = 0;

  std::uint32_t Colour() const { return colour_; }
  void SetColour(std::uint32_t rgb) { colour_ = rgb; }
  // Stored with the object; nothing sends the effect item by item.
  int NameItemIndex() const { return nameItemIndex_; }
  int ItemIndexB() const { return itemIndexB_; }
  int ItemIndexH() const { return itemIndexH_; }
  int ChannelIndex() const { return channelIndex_; }
  int Flag() const { return flag_; }

 private:
  DeviceImage& image_;
  std::string name_ = "Effect";
  std::uint8_t nameItemIndex_ = 11;
  std::uint8_t itemIndexB_ = 9;
  std::uint8_t itemIndexH_ = 10;
  CKTVEQ eq_;
  std::uint8_t channelIndex_ = 0;
  std::uint32_t colour_ = 0;
  std::uint8_t flag_ = 0xFF;
};

}  // namespace zelto
