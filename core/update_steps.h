#pragma once
// Firmware-update step codes: header byte 8 of every update frame, and the `updateStep` of its
// queued message.

#include <cstdint>

namespace zelto {

enum class UpdateStep : std::uint8_t {
  DspStart = 0xB0,
  DspHeader = 0xB1,
  DspBlock = 0xB2,
  DspEnd = 0xB3,
  CtrlBegin1 = 0xE0,
  CtrlBegin2 = 0xE1,
  CtrlBlock = 0xE2,
  CtrlEnd = 0xE3,
};

}  // namespace zelto
