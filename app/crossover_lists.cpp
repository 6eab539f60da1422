#include "app/crossover_lists.h"

#include <string_view>

#include "core/encodings.h"
#include "curves/filter.h"

namespace zelto {

namespace {
QString U8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
}  // namespace

QList<BiText> CrossoverFamilyItems() {
  QList<BiText> items;
  for (int family : {crossover_family::kLinkwitzRiley, crossover_family::kBessel, crossover_family::kButterworth})
    items.append({U8(CrossoverFamilyName(family, Language::Chinese)), U8(CrossoverFamilyName(family, Language::English))});
  return items;
}

QList<BiText> CrossoverSlopeItems() {
  QList<BiText> items;
  for (int code = 0;; ++code) {
    const std::string_view name = SlopeName(code, false);
    if (name.empty()) break;
    items.append(code == slope_code::kOff ? BiText{QStringLiteral("关闭"), U8(name)} : Same(U8(name)));
  }
  return items;
}

}  // namespace zelto
