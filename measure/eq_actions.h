#pragma once
// The measurement use cases, once for both front ends: import a REW filter file into a channel,
// propose EQ for a channel from its measurement, apply a proposal. The window and zeltoctl only
// gather what these take and show what they return; the bands are set through the Editor, as one
// step of the history for the channel and its link group.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "edit/editor.h"
#include "measure/auto_eq.h"
#include "measure/band_fit.h"
#include "measure/rew_filters.h"

namespace zelto {
class CKTV_Data;
}

namespace zelto::measure {

struct RewImport {
  enum class Status { Imported, FileRefused, GraphicMode, NoSuchChannel };
  Status status = Status::Imported;
  RewFilterError error;  // Status::FileRefused
  std::size_t filterCount = 0;
  std::optional<double> preampDb;
  ImportResult result;
  /// Everything the user is told besides the figures: the file's lines left out and what the
  /// bands cannot reproduce, in the order of the file, then the preamp.
  std::vector<RewNote> notes;
  int bandsUsed = 0;
  /// The channels whose bands were set (the channel and its link group).
  std::vector<int> channels;
};
/// Reads `path` and sets `channel`'s bands to reproduce it. A file that cannot be read changes
/// nothing; neither does a channel in graphic EQ mode.
RewImport ImportRewFile(Editor& editor, int channel, const std::string& path, const RewReadOptions& options = {});

/// The automatic EQ for `channel` of `data` now, from its measurement.
AutoEqResult ProposeEq(CKTV_Data& data, int channel, const ChannelMeasurement& measured, const AutoEqOptions& options);

/// Sets proposed (or imported) bands on `channel` and its link group as one step.
Editor::BandSetResult ApplyBands(Editor& editor, int channel, std::span<const BandSetting> bands);

/// The channel's response now, kept with a measurement taken with these settings.
std::array<double, kGridPoints> ResponseForMeasurement(CKTV_Data& data, int channel);

}  // namespace zelto::measure
