// Feeds arbitrary text to the microphone calibration reader and traps when an accepted file breaks
// what the reader promises (at least two points, positive rising frequencies, corrections within
// ±60 dB, a finite correction everywhere) or a refusal comes without a message.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#ifdef ZELTO_HAVE_ACOUSTICS
#include "acoustics/calibration.h"
#include "acoustics/response.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelto;
  using namespace zelto::acoustics;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto result = ParseCalibration(text);
  if (const auto* e = std::get_if<CalibrationError>(&result)) {
    Check(!CalibrationErrorText(*e, "cal.txt", Language::English).empty());
    Check(!CalibrationErrorText(*e, "cal.txt", Language::Chinese).empty());
    return 0;
  }
  const MicCalibration& cal = std::get<MicCalibration>(result);
  Check(cal.hz.size() >= 2 && cal.hz.size() == cal.db.size());
  for (std::size_t i = 0; i < cal.hz.size(); ++i) {
    Check(cal.hz[i] > 0 && std::isfinite(cal.hz[i]) && std::abs(cal.db[i]) <= kMaxCalibrationDb);
    if (i > 0) Check(cal.hz[i] > cal.hz[i - 1]);
  }
  if (cal.sensFactorDb) Check(std::abs(*cal.sensFactorDb) <= kMaxCalibrationDb);
  Response r{{1e-3, 1, 20, 1000, 1e5, 1e300}, std::vector<double>(6, 0.0), {}};
  ApplyCalibration(r, cal);
  for (double v : r.db) Check(std::isfinite(v) && std::abs(v) <= 2 * kMaxCalibrationDb);
  return 0;
}

#else
// Built without acoustic measurement: nothing to fuzz.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }
#endif
