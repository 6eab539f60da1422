#pragma once
// `zeltoctl measure devices` and `zeltoctl measure --channel ... --audio-out DEV --audio-in DEV`:
// the sound devices, and measuring the processor's channels through them with the measurement
// procedure the editor uses. Both join the `measure` group (nothing without acoustic measurement
// in the build, where the group says why).

#include "ctl/measure_commands.h"

namespace zelto::ctl {

void AddMeasureRun(MeasureCommandGroup& group);

}  // namespace zelto::ctl
