// Feeds arbitrary bytes to the recovery file's readers and traps when an accepted input does not
// give the same bytes back when written again, or when applying an accepted history reaches past
// the preset.
//
// Input: one control byte, then the data.
//   control % 3 == 0: the data is a recovery file; the parts of an accepted one go on to their
//                     readers
//   control % 3 == 1: the data is a history's bytes
//   control % 3 == 2: the data is the measurements' bytes

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "edit/history.h"
#include "edit/recovery_file.h"
#include "measure/measurements_bytes.h"

namespace {

using namespace zelto;
using Bytes = std::vector<std::uint8_t>;

void Trap(bool ok) {
  if (!ok) std::abort();
}

void CheckHistory(std::span<const std::uint8_t> bytes) {
  const auto history = History::FromBytes(bytes);
  if (!history) return;
  const Bytes written = history->Bytes();
  // A history of the form written today comes back byte for byte; one of an earlier form is
  // written in today's, which then reads back as it was written.
  if (bytes[0] == written[0]) Trap(written == Bytes(bytes.begin(), bytes.end()));
  const auto again = History::FromBytes(written);
  Trap(again && again->Bytes() == written);
  // Walk it back and forth over an image, as undo and redo do.
  History h = *history;
  PresetImage image{};
  while (const History::Step* step = h.UndoStep()) {
    step->Apply(image, true);
    h.MarkUndone();
  }
  while (const History::Step* step = h.RedoStep()) {
    step->Apply(image, false);
    h.MarkRedone();
  }
}

void CheckMeasurements(std::span<const std::uint8_t> bytes) {
  const auto held = measure::MeasurementsFromBytes(bytes);
  if (!held) return;
  Trap(measure::MeasurementsBytes(*held) == Bytes(bytes.begin(), bytes.end()));
  const std::array<double, kGridPoints> now{};
  for (int ch = 0; ch < kOutputChannels; ++ch) (void)held->CurvesOf(ch, now);
}

void CheckFile(std::span<const std::uint8_t> bytes) {
  const RecoveryRead read = ParseRecoveryFile(bytes);
  Trap(read.data.has_value() == (read.error == RecoveryReadError::None));
  if (!read.data) return;
  // A file of the current version is written back as it was read.
  if (bytes[recovery::kMagicSize] == recovery::kVersion)
    Trap(RecoveryFileBytes(*read.data) == Bytes(bytes.begin(), bytes.end()));
  CheckHistory(read.data->history);
  CheckMeasurements(read.data->measurements);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  switch (data[0] % 3) {
    case 0: CheckFile(rest); break;
    case 1: CheckHistory(rest); break;
    case 2: CheckMeasurements(rest); break;
  }
  return 0;
}
