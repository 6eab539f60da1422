#include "ctl/values.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>

#include "core/text.h"
#include "core/encodings.h"

namespace zelto::ctl::values {

std::string_view Trim(std::string_view s) { return text::Trim(s); }

std::string Lower(std::string_view value) { return text::Lower(Trim(value)); }

std::optional<Quantity> ReadQuantity(std::string_view text) {
  const auto s = Trim(text);
  std::size_t used = 0;
  const auto value = ReadDecimalPrefix(s, &used);
  if (!value) return std::nullopt;
  Quantity q;
  q.value = *value;
  q.unit = Lower(s.substr(used));
  return q;
}

int NearestBandwidthIndexForQ(double q) {
  int best = kFirstOwnBandwidthIndex;
  double bestDistance = INFINITY;
  for (int i = kFirstOwnBandwidthIndex; i < kQTableSize; ++i) {
    const double distance = std::fabs(QFromIndex(i) - q);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

double WidestQ() { return QFromIndex(kQTableSize - 1); }
double NarrowestQ() { return QFromIndex(kFirstOwnBandwidthIndex); }

std::optional<bool> ReadSwitch(std::string_view text) {
  const std::string s = Lower(text);
  if (s == "on" || s == "yes" || s == "true" || s == "1") return true;
  if (s == "off" || s == "no" || s == "false" || s == "0") return false;
  return std::nullopt;
}

}  // namespace zelto::ctl::values
