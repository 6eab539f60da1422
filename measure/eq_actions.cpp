#include "measure/eq_actions.h"

#include <algorithm>

#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto::measure {

namespace {

bool ValidChannel(int channel) { return channel >= 0 && channel < kOutputChannels; }

int CountSet(std::span<const BandSetting> bands) {
  return static_cast<int>(std::count_if(bands.begin(), bands.end(), [](const BandSetting& b) { return !b.IsFlat(); }));
}

}  // namespace

Editor::BandSetResult ApplyBands(Editor& editor, int channel, std::span<const BandSetting> bands) {
  std::vector<Editor::BandValues> values;
  values.reserve(bands.size());
  for (const BandSetting& b : bands) values.push_back({b.hz, b.bandwidthIndex, b.gainCode});
  return editor.SetBands(channel, values, StepLabel{StepLabel::What::Edits, channel});
}

RewImport ImportRewFile(Editor& editor, int channel, const std::string& path, const RewReadOptions& options) {
  RewImport r;
  if (!ValidChannel(channel)) {
    r.status = RewImport::Status::NoSuchChannel;
    return r;
  }
  // A file that cannot be imported is refused before anything changes.
  const auto file = ReadRewFilterFile(path, &r.error, options);
  if (!file) {
    r.status = RewImport::Status::FileRefused;
    return r;
  }
  std::vector<BandSetting> current;
  editor.engine().Data().Edit([&](CKTV_Data& d) { current = BandsOf(d.Output(channel).Eq()); });
  r.filterCount = file->filters.size();
  r.preampDb = file->preampDb;
  r.result = ImportRewFilters(file->filters, OutputBandCentres(), current);
  r.notes = file->notes;
  r.notes.insert(r.notes.end(), r.result.notes.begin(), r.result.notes.end());
  std::stable_sort(r.notes.begin(), r.notes.end(), [](const RewNote& a, const RewNote& b) {
    return (a.line == 0 ? 1 << 30 : a.line) < (b.line == 0 ? 1 << 30 : b.line);
  });
  if (file->preampDb && *file->preampDb != 0) r.notes.push_back({RewNote::Kind::Preamp, 0, *file->preampDb, {}});
  const Editor::BandSetResult set = ApplyBands(editor, channel, r.result.bands);
  if (set.status == Editor::BandSetResult::Status::GraphicMode) {
    r.status = RewImport::Status::GraphicMode;
    return r;
  }
  r.channels = set.channels;
  r.bandsUsed = CountSet(r.result.bands);
  return r;
}

AutoEqResult ProposeEq(CKTV_Data& data, int channel, const ChannelMeasurement& measured, const AutoEqOptions& options) {
  AutoEqRequest request;
  data.Edit([&](CKTV_Data& d) { request = RequestForChannel(d.Output(channel).Eq(), measured, options); });
  return AutoEq(request);
}

std::array<double, kGridPoints> ResponseForMeasurement(CKTV_Data& data, int channel) {
  std::array<double, kGridPoints> kept{};
  data.Edit([&](CKTV_Data& d) { kept = ChannelResponseOf(d.Output(channel).Eq()); });
  return kept;
}

}  // namespace zelto::measure
