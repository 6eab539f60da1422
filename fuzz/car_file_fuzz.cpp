// The car-file reader: the JSON of a car file and the impulse responses it names. The first byte
// chooses which part the rest is fed to. Traps on a car accepted against its own rules (a count of
// responses unlike the count of positions, an output outside 1..8 or twice, an unplayable rate, a
// noise floor out of range) and on an impulse response that is empty, too long or not finite.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <set>
#include <string>
#include <string_view>

#include "core/device_image.h"
#include "sim/twin/car_file.h"
#include "sim/twin/processor_model.h"

namespace {

void CheckDescription(std::string_view text) {
  std::string error;
  const auto car = zelto::twin::ParseCarDescription(text, "cars", &error);
  if (!car) {
    if (error.empty()) __builtin_trap();
    return;
  }
  if (!zelto::twin::ProcessorModel::RateSupported(car->sampleRate)) __builtin_trap();
  if (car->positions.empty() || car->positions.size() > zelto::twin::kMaxCarPositions) __builtin_trap();
  if (car->noiseDbfs && !(*car->noiseDbfs <= 0.0 && *car->noiseDbfs >= -200.0)) __builtin_trap();
  std::set<int> outputs;
  for (const auto& s : car->speakers) {
    if (s.output < 1 || s.output > zelto::kOutputChannels || !outputs.insert(s.output).second) __builtin_trap();
    if (s.ir.size() != car->positions.size()) __builtin_trap();
  }
}

void CheckImpulse(std::string_view bytes) {
  std::string error;
  const auto ir = zelto::twin::DecodeImpulseResponse(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "ir.wav", 48000, &error);
  if (!ir) {
    if (error.empty()) __builtin_trap();
    return;
  }
  if (ir->empty() || static_cast<double>(ir->size()) > zelto::twin::kMaxImpulseSeconds * 48000) __builtin_trap();
  for (float v : *ir)
    if (!std::isfinite(v)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] % 2 == 0) {
    CheckDescription(rest);
  } else {
    CheckImpulse(rest);
  }
  return 0;
}
