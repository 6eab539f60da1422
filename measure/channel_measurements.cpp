#include "measure/channel_measurements.h"

#include <algorithm>
#include <utility>

#include "model/eq.h"

namespace zelto::measure {

namespace {

const std::string kNoPath;
const AutoEqSettings kNoSettings;

GridCurve Lowered(GridCurve c, double level) {
  for (int i = 0; i < kGridPoints; ++i)
    if (c.has[i]) c.db[i] -= level;
  return c;
}

}  // namespace

double LevelAbove(const GridCurve& measured, const Target& target, GridRange range) {
  std::vector<double> diffs;
  for (int i = range.first; i <= range.last; ++i)
    if (measured.has[i]) diffs.push_back(measured.db[i] - target[i]);
  if (diffs.empty()) return 0;
  const auto mid = diffs.begin() + static_cast<std::ptrdiff_t>(diffs.size() / 2);
  std::nth_element(diffs.begin(), mid, diffs.end());
  return *mid;
}

AutoEqOptions AutoEqSettings::Options() const {
  AutoEqOptions o;
  o.target = target.curve;
  o.range = HzRange{loHz, hiHz};
  o.maxBoostDb = maxBoostDb;
  o.cutLimitDb = cutLimitDb;
  o.flatnessDb = flatnessDb;
  return o;
}

ChannelMeasurements::ChannelMeasurements() = default;

void ChannelMeasurements::Set(int channel, Measurement m, const std::array<double, kGridPoints>& kept, std::string path,
                              double passLoHz, double passHiHz) {
  if (!Valid(channel)) return;
  ++revision_;
  held_[channel] = Held{ChannelMeasurement{std::move(m), kept}, std::move(path), {}, 0};
  if (!rangeSet_[channel]) {
    // A channel behind crossovers is equalised where it plays.
    settings_[channel].loHz = std::clamp<double>(passLoHz, kFilterMinHz, kFilterMaxHz);
    settings_[channel].hiHz = std::clamp<double>(passHiHz, settings_[channel].loHz, kFilterMaxHz);
    rangeSet_[channel] = true;
  }
  if (proposalChannel_ == channel) ClearProposal();
  Recompute(channel);
}

void ChannelMeasurements::Clear(int channel) {
  if (!Valid(channel)) return;
  ++revision_;
  held_[channel].reset();
  if (proposalChannel_ == channel) ClearProposal();
}

bool ChannelMeasurements::Has(int channel) const { return Valid(channel) && held_[channel].has_value(); }

const ChannelMeasurement* ChannelMeasurements::Of(int channel) const {
  return Has(channel) ? &held_[channel]->m : nullptr;
}

const std::string& ChannelMeasurements::PathOf(int channel) const {
  return Has(channel) ? held_[channel]->path : kNoPath;
}

const AutoEqSettings& ChannelMeasurements::SettingsOf(int channel) const {
  return Valid(channel) ? settings_[channel] : kNoSettings;
}

void ChannelMeasurements::SetSettings(int channel, const AutoEqSettings& settings) {
  if (!Valid(channel)) return;
  ++revision_;
  settings_[channel] = settings;
  rangeSet_[channel] = true;
  if (Has(channel)) Recompute(channel);
}

void ChannelMeasurements::SetSmoothing(int fraction) {
  if (std::find(kDisplaySmoothings.begin(), kDisplaySmoothings.end(), fraction) == kDisplaySmoothings.end()) return;
  if (fraction == smoothing_) return;
  smoothing_ = fraction;
  ++revision_;
  for (int ch = 0; ch < kOutputChannels; ++ch)
    if (Has(ch)) Recompute(ch);
}

void ChannelMeasurements::SetShown(ShownCurve curve, bool shown) {
  ++revision_;
  shown_[static_cast<std::size_t>(curve)] = shown;
}

void ChannelMeasurements::SetProposal(int channel, std::span<const BandSetting> bands,
                                      const std::array<double, kGridPoints>& crossovers) {
  if (!Has(channel)) return;
  proposal_ = BandsResponse(bands);
  for (int i = 0; i < kGridPoints; ++i) proposal_[i] += crossovers[i];
  proposalChannel_ = channel;
}

void ChannelMeasurements::ClearProposal() { proposalChannel_.reset(); }

std::optional<ChannelCurves> ChannelMeasurements::CurvesOf(int channel, const std::array<double, kGridPoints>& now,
                                                           const std::array<double, kGridPoints>& crossovers) const {
  if (!Has(channel)) return std::nullopt;
  const Held& h = *held_[channel];
  const AutoEqSettings& s = settings_[channel];
  Target reference = s.target.curve;
  for (int i = 0; i < kGridPoints; ++i) reference[i] += crossovers[i];
  const double level = LevelAbove(h.report, reference, RangeOf(s.loHz, s.hiHz));
  ChannelCurves c;
  c.measured = Lowered(h.shown, level);
  c.target = GridCurve::Full(reference);
  c.predicted = c.measured;
  for (int i = 0; i < kGridPoints; ++i) c.predicted.db[i] += now[i] - h.m.keptResponse[i];
  if (proposalChannel_ == channel) {
    c.proposed = c.measured;
    for (int i = 0; i < kGridPoints; ++i) c.proposed->db[i] += proposal_[i] - h.m.keptResponse[i];
  }
  return c;
}

double ChannelMeasurements::LevelOf(int channel) const { return Has(channel) ? held_[channel]->level : 0.0; }

void ChannelMeasurements::Recompute(int channel) {
  Held& h = *held_[channel];
  h.shown = h.m.Measured(smoothing_);
  // The level as the automatic EQ takes it, whatever the drawn smoothing.
  h.report = smoothing_ == kReportSmoothing ? h.shown : h.m.Measured(kReportSmoothing);
  const AutoEqSettings& s = settings_[channel];
  h.level = LevelAbove(h.report, s.target.curve, RangeOf(s.loHz, s.hiHz));
}

}  // namespace zelto::measure
