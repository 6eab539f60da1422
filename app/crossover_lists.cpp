#include "app/crossover_lists.h"

#include <string_view>

#include "core/encodings.h"
#include "curves/filter.h"

namespace zelto {

QList<BiText> CrossoverFamilyItems() {
  QList<BiText> items;
  for (int family : {crossover_family::kLinkwitzRiley, crossover_family::kBessel, crossover_family::kButterworth})
    items.append(
        {Utf8(CrossoverFamilyName(family, Language::Chinese)), Utf8(CrossoverFamilyName(family, Language::English))});
  return items;
}

QList<BiText> CrossoverSlopeItems() {
  QList<BiText> items;
  for (int code = 0;; ++code) {
    const std::string_view name = SlopeName(code, false);
    if (name.empty()) break;
    items.append(code == slope_code::kOff ? BiText{QStringLiteral("关闭"), Utf8(name)} : Same(Utf8(name)));
  }
  return items;
}

}  // namespace zelto
