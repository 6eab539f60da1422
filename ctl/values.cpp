#include "ctl/values.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>

#include "core/encodings.h"

namespace zelto::ctl::values {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view text) {
  std::string s(Trim(text));
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

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
