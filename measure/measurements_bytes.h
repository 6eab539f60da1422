#pragma once
// The measurements an editor holds, as bytes for the recovery file: per channel the measurement
// as read (points and file name) with the channel's response kept with it, the target and the
// automatic EQ's settings; the drawn smoothing and which curves are shown. A proposal being
// previewed is not kept: it belongs to a dialog that is gone after a restart.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "measure/channel_measurements.h"

namespace zelto::measure {

std::vector<std::uint8_t> MeasurementsBytes(const ChannelMeasurements& held);
/// Reads what MeasurementsBytes wrote. Nothing when the bytes are not that: a wrong version, a
/// value that is not finite or out of its range, a measurement that does not rise, a count
/// beyond what is there, a byte missing or left over.
std::optional<ChannelMeasurements> MeasurementsFromBytes(std::span<const std::uint8_t> bytes);

}  // namespace zelto::measure
