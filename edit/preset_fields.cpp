#include "edit/preset_fields.h"

#include <array>

#include "core/bytes.h"

namespace zelto {

namespace {

constexpr Field U16At(std::size_t at) { return {static_cast<std::uint16_t>(at), 2, FieldKind::U16}; }
constexpr Field S16At(std::size_t at) { return {static_cast<std::uint16_t>(at), 2, FieldKind::S16}; }
constexpr Field TextAt(std::size_t at, std::size_t size) {
  return {static_cast<std::uint16_t>(at), static_cast<std::uint8_t>(size), FieldKind::Text};
}
constexpr Field ByteAt(std::size_t at) { return {static_cast<std::uint16_t>(at), 1, FieldKind::U8}; }

// The 8-byte band record shared by every block: frequency, gain code, bandwidth, slope, type.
constexpr Field BandField(std::size_t record, std::size_t at) {
  switch (at) {
    case band::kFrequency:
    case band::kFrequency + 1: return U16At(record + band::kFrequency);
    case band::kGainCode:
    case band::kGainCode + 1: return U16At(record + band::kGainCode);
    case band::kBandwidth:
    case band::kBandwidth + 1: return S16At(record + band::kBandwidth);
    default: return ByteAt(record + at);
  }
}

// The crossover record: two 16-bit frequencies, each with its family and slope byte.
constexpr Field CrossoverField(std::size_t record, std::size_t at) {
  if (at < xover::kHpFrequency + 2) return U16At(record + xover::kHpFrequency);
  if (at >= xover::kLpFrequency && at < xover::kLpFrequency + 2) return U16At(record + xover::kLpFrequency);
  return ByteAt(record + at);
}

constexpr Field OutputField(std::size_t at) {
  if (at < out::kBands * band::kSize) return BandField(at - at % band::kSize, at % band::kSize);
  if (at >= out::kGain && at < out::kGain + 2) return S16At(out::kGain);
  if (at >= out::kDelay && at < out::kDelay + 2) return S16At(out::kDelay);
  if (at >= out::kCrossover && at < out::kCrossover + xover::kSize)
    return CrossoverField(out::kCrossover, at - out::kCrossover);
  if (at >= out::kLimThreshold && at < out::kLimThreshold + 2) return S16At(out::kLimThreshold);
  if (at >= out::kName) return TextAt(out::kName, out::kSize - out::kName);
  return ByteAt(at);
}

constexpr std::size_t kInputSetting = in::kSetting96;

constexpr Field InputField(std::size_t at) {
  if (at < in::kBands * band::kSize) return BandField(at - at % band::kSize, at % band::kSize);
  if (at >= in::kDelay && at < in::kDelay + 2) return S16At(in::kDelay);
  if (at >= in::kGain && at < in::kGain + 2) return S16At(in::kGain);
  if (at >= in::kCrossover && at < in::kCrossover + xover::kSize)
    return CrossoverField(in::kCrossover, at - in::kCrossover);
  if (at >= kInputSetting && at < kInputSetting + 2) return S16At(kInputSetting);
  if (at >= in::kName) return TextAt(in::kName, in::kSize - in::kName);
  return ByteAt(at);
}

constexpr Field EffectField(std::size_t at) {
  // Band records fill the record up to the crossover; those past the effect's own bands are
  // unused and stay whole records all the same.
  if (at < fx::kCrossover) return BandField(at - at % band::kSize, at % band::kSize);
  if (at < fx::kCrossover + xover::kSize) return CrossoverField(fx::kCrossover, at - fx::kCrossover);
  if (at >= fx::kName) return TextAt(fx::kName, fx::kSize - fx::kName);
  return ByteAt(at);
}

constexpr Field Shifted(Field f, std::size_t by) {
  f.offset = static_cast<std::uint16_t>(f.offset + by);
  return f;
}

constexpr Field PresetField(std::size_t at) {
  if (at < preset::kText) return TextAt(preset::kName, preset::kNameSize);
  if (at < preset::kEffect) return TextAt(preset::kText, preset::kEffect - preset::kText);
  if (at < preset::kMicIn) return Shifted(EffectField(at - preset::kEffect), preset::kEffect);
  if (at < preset::kMusicIn) return Shifted(InputField(at - preset::kMicIn), preset::kMicIn);
  if (at < preset::kOutput) return Shifted(InputField(at - preset::kMusicIn), preset::kMusicIn);
  const std::size_t inOutputs = at - preset::kOutput;
  return Shifted(OutputField(inOutputs % out::kSize), preset::kOutput + inOutputs - inOutputs % out::kSize);
}

constexpr auto kPresetFields = [] {
  std::array<Field, preset::kSize> table{};
  for (std::size_t i = 0; i < preset::kSize; ++i) table[i] = PresetField(i);
  return table;
}();

// Every field lies inside its block and covers the byte that names it.
constexpr bool TableIsWhole() {
  for (std::size_t i = 0; i < preset::kSize; ++i) {
    const Field f = kPresetFields[i];
    if (i < f.offset || i >= std::size_t{f.offset} + f.size || f.size > kMaxFieldSize) return false;
  }
  return true;
}
static_assert(TableIsWhole());

}  // namespace

Field PresetFieldAt(std::size_t offset) { return offset < preset::kSize ? kPresetFields[offset] : ByteAt(offset); }

Field OutputFieldAt(std::size_t offset) { return OutputField(offset); }

std::int32_t ReadNumber(std::span<const std::uint8_t> image, const Field& field) {
  if (std::size_t{field.offset} + field.size > image.size()) return 0;
  switch (field.kind) {
    case FieldKind::U8: return image[field.offset];
    case FieldKind::U16: return GetU16(image, field.offset);
    case FieldKind::S16: return GetS16(image, field.offset);
    case FieldKind::Text: break;
  }
  return 0;
}

void WriteNumber(std::span<std::uint8_t> image, const Field& field, std::int32_t value) {
  if (std::size_t{field.offset} + field.size > image.size()) return;
  switch (field.kind) {
    case FieldKind::U8: image[field.offset] = static_cast<std::uint8_t>(value); break;
    case FieldKind::U16: PutU16(image, field.offset, static_cast<std::uint16_t>(value)); break;
    case FieldKind::S16: PutS16(image, field.offset, static_cast<std::int16_t>(value)); break;
    case FieldKind::Text: break;
  }
}

}  // namespace zelto
