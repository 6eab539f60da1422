#pragma once
// The crossover family and slope lists, shared by the main form and the output page so that both
// read the same for the same code.

#include <QList>

#include "controls/skin.h"

namespace zelto {

/// "宁克" / "Link_Ril", "贝塞尔" / "Bessel", "巴特沃斯" / "Butter_W": list position = family code.
QList<BiText> CrossoverFamilyItems();

/// One entry per slope code, named by the slope the code means ("12dB/Oct" .. "42dB/Oct", off,
/// "48dB/Oct"): the list position is the code stored and sent, so label, curve and processor agree.
QList<BiText> CrossoverSlopeItems();

}  // namespace zelto
