#include "app/ui_state.h"

#include "controls/skin.h"

namespace zelto {

namespace {
QFont SharedFont(int pixels) {
  QFont f;
  f.setFamilies(skin::UiFamilies());
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(pixels);
  f.setWeight(QFont::Normal);
  return f;
}
}  // namespace

UiFonts UiFonts::Create() {
  return {SharedFont(kSmallPixels), SharedFont(kNormalPixels), SharedFont(kMediumPixels), SharedFont(kLargePixels)};
}

}  // namespace zelto
