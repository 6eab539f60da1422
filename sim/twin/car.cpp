#include "sim/twin/car.h"

namespace zelto::twin {

const CarSpeaker* Car::SpeakerOn(int output) const {
  for (const CarSpeaker& s : speakers)
    if (s.output == output) return &s;
  return nullptr;
}

}  // namespace zelto::twin
