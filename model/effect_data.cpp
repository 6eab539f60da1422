#include "model/effect_data.h"

#include <cassert>

#include "core/bytes.h"
#include "core/encodings.h"

namespace zelto {
namespace {

constexpr std::uint32_t kEffectColour = 0xFF80FF;

}  // namespace

CEffect_Data::CEffect_Data(DeviceImage& image, const ChangeTracking& tracking) : image_(image), eq_(tracking) {
  eq_.Create3(kBandCountMinusOne, kCrossoverItem, kLowPassHz);
  colour_ = kEffectColour;
}

bool CEffect_Data::SetName(std::string_view name) {
  if (name.size() >= kNameFieldSize) return false;
  name_ = name;
  return true;
}

void CEffect_Data::Unpack(std::span<const std::uint8_t> record) {
  assert(record.size() >= fx::kSize);
  if (record.size() < fx::kSize) return;
  name_ = ReadField(record.subspan(fx::kName, kNameChars));
  balance = record[fx_param::kBalance];
  delayTime = record[fx_param::kDelayTime];
  paramB = record[fx_param::kParamB];
  paramC = record[fx_param::kParamC];
  paramD = record[fx_param::kParamD];
  reverbTime = record[fx_param::kReverbTime];
  paramF = record[fx_param::kParamF];
  paramG = record[fx_param::kParamG];
  paramH = record[fx_param::kParamH];
  paramI = record[fx_param::kParamI];
  preDelay = record[fx_param::kPreDelay];

  eq_.ReadCrossoverRecord(record.subspan(fx::kCrossover, xover::kSize));

  for (int k = 0; k < eq_.BandCount(); ++k) eq_.SetBand(EqBandRecord::Read(BandSlot(record, k)), k);
}

void CEffect_Data::PackAll() {
  auto r = image_.Block(0, BlockType::Effect, 0);
  StoreName8(r.subspan(fx::kName, kNameFieldSize), name_);
  auto u8 = [](std::int32_t v) { return static_cast<std::uint8_t>(v); };
  r[fx_param::kBalance] = u8(balance);
  r[fx_param::kDelayTime] = u8(delayTime);
  r[fx_param::kParamB] = u8(paramB);
  r[fx_param::kParamC] = u8(paramC);
  r[fx_param::kParamD] = u8(paramD);
  r[fx_param::kReverbTime] = u8(reverbTime);
  r[fx_param::kParamF] = u8(paramF);
  r[fx_param::kParamG] = u8(paramG);
  r[fx_param::kParamH] = u8(paramH);
  r[fx_param::kParamI] = u8(paramI);
  r[fx_param::kPreDelay] = u8(preDelay);

  eq_.WriteCrossoverRecord(r.subspan(fx::kCrossover, xover::kSize));

  for (int k = 0; k < eq_.BandCount(); ++k) eq_.BandRecord(k).Write(BandSlot(r, k));
}

}  // namespace zelto
