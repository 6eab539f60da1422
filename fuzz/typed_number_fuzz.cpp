// The typed-number readers: the decimal prefix every entry box and zeltoctl read, and zeltoctl's
// number-with-unit on top of it. Traps on a reading that claims more text than there is, a
// non-finite value, a value without a digit, or a unit that is not the rest of the text.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/encodings.h"
#include "ctl/values.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t used = 0;
  const auto value = zelto::ReadDecimalPrefix(text, &used);
  if (value) {
    if (!std::isfinite(*value)) __builtin_trap();
    if (used == 0 || used > text.size()) __builtin_trap();
    bool digit = false;
    for (char c : text.substr(0, used)) digit = digit || (c >= '0' && c <= '9');
    if (!digit) __builtin_trap();
    // Reading the number alone gives the same value and takes all of it.
    std::size_t again = 0;
    const auto same = zelto::ReadDecimalPrefix(text.substr(0, used), &again);
    if (!same || *same != *value || again != used) __builtin_trap();
  }
  // zeltoctl reads the same number after trimming the text; the unit is what follows it.
  const auto quantity = zelto::ctl::values::ReadQuantity(text);
  const auto trimmed = zelto::ReadDecimalPrefix(zelto::ctl::values::Trim(text));
  if (quantity.has_value() && !trimmed.has_value()) __builtin_trap();
  if (quantity && (!std::isfinite(quantity->value) || quantity->value != *trimmed)) __builtin_trap();
  if (quantity && quantity->unit.size() > text.size()) __builtin_trap();
  return 0;
}
