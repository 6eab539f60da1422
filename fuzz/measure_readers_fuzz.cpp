// Feeds arbitrary text to the measurement reader and the REW filter reader and traps when an
// accepted measurement breaks what the reader promises (at least 3 points, positive and rising
// frequencies, finite levels), when a refusal names no reason, or when smoothing, the grid or a
// filter response of what was accepted gives anything but finite numbers.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "measure/band_fit.h"
#include "measure/measurement.h"
#include "measure/rew_filters.h"

namespace {

using namespace zelto;
using namespace zelto::measure;

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  ReadError readError;
  if (const auto m = ParseMeasurement(text, &readError)) {
    Check(m->size() >= kMinPoints && m->hz.size() == m->db.size());
    for (std::size_t k = 0; k < m->size(); ++k) {
      Check(m->hz[k] > 0 && std::isfinite(m->hz[k]) && std::isfinite(m->db[k]));
      if (k > 0) Check(m->hz[k] > m->hz[k - 1]);
    }
    for (double v : Smooth(*m, 6).db) Check(std::isfinite(v));
    const GridCurve c = OnGrid(*m);
    for (int i = 0; i < kGridPoints; ++i) Check(!c.has[i] || std::isfinite(c.db[i]));
  } else {
    Check(!ReadErrorText(readError, "f", Language::English).empty());
  }

  RewFilterError filterError;
  if (const auto f = ParseRewFilters(text, &filterError)) {
    // Fitting is too slow for every input; the response of what was read must stay finite.
    for (const auto& filter : f->filters) {
      Check(filter.hz > 0 && filter.q > 0);
      for (double v : CookbookResponse(filter)) Check(!std::isnan(v));
    }
  } else {
    Check(!RewFilterErrorText(filterError, "f", Language::English).empty());
  }
  return 0;
}
