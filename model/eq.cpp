#include "model/eq.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "core/bytes.h"
#include "core/encodings.h"

namespace zelto {
namespace {

// Drag range rule of the effect block's crossovers (high-pass at most 1 kHz, low-pass at least
// 5 kHz); the inputs' crossovers use the default rule.
constexpr int kEffectCrossoverRange = 6;
constexpr int kInputCrossoverRange = 0;
constexpr int kHighPassHz = kFilterMinHz;

std::uint16_t ToU16(int v) {
  return static_cast<std::uint16_t>(std::clamp(v, 0, static_cast<int>(std::numeric_limits<std::uint16_t>::max())));
}

}  // namespace

CKTVEQ::CKTVEQ(const ChangeTracking& tracking) : tracking_(tracking) {}

CFilter& CKTVEQ::Add() {
  filters_.push_back(std::make_unique<CFilter>(tracking_));
  return *filters_.back();
}

void CKTVEQ::CreateBands(int n, std::span<const int> centres) {
  assert(filters_.empty() && n >= 0 && static_cast<std::size_t>(n) < centres.size());
  const int count = std::min(n + 1, static_cast<int>(centres.size()));
  for (int k = 0; k < count; ++k) {
    CFilter& f = Add();
    f.SetIsEqBand(true);
    f.SetDeviceIndex(k);
    f.SetFrequency(centres[static_cast<std::size_t>(k)], false);
  }
}

void CKTVEQ::CreateCrossovers(int crossoverItem, int range, int highPassHz, int lowPassHz) {
  CFilter& hp = Add();
  hp.SetIsEqBand(false);
  hp.SetType(filter_type::kHighPass);
  hp.SetFrequency(highPassHz, false);
  hp.SetDeviceIndex(crossoverItem);
  hp.SetCrossoverRange(range);
  CFilter& lp = Add();
  lp.SetIsEqBand(false);
  lp.SetType(filter_type::kLowPass);
  lp.SetFrequency(lowPassHz, false);
  lp.SetDeviceIndex(crossoverItem);
  lp.SetCrossoverRange(range);
  // Building the list is not an edit: nothing is waiting to be sent.
  for (auto& f : filters_) f->SetPending(false);
}

void CKTVEQ::Create31(int n, int crossoverItem, int filterTag, int highPassHz, int lowPassHz) {
  CreateBands(n, OutputBandCentres());
  CreateCrossovers(crossoverItem, filterTag, highPassHz, lowPassHz);
}

void CKTVEQ::Create9A(int n, int crossoverItem, int lowPassHz) {
  CreateBands(n, InputBandCentres());
  CFilter& first = *filters_.front();
  first.SetType(filter_type::kLowShelf);
  first.SetSlope(slope_code::kShelf6, false);
  CFilter& last = *filters_.back();
  last.SetType(filter_type::kHighShelf);
  last.SetSlope(slope_code::kShelf6, false);
  CreateCrossovers(crossoverItem, kInputCrossoverRange, kHighPassHz, lowPassHz);
  for (CFilter* f : {&HighPass(), &LowPass()}) {
    f->SetSlope(slope_code::k12, false);
    f->SetCrossoverType(crossover_family::kButterworth, false);
  }
}

void CKTVEQ::Create9B(int n, int crossoverItem, int lowPassHz) { Create9A(n, crossoverItem, lowPassHz); }

void CKTVEQ::Create3(int n, int crossoverItem, int lowPassHz) {
  CreateBands(n, EffectBandCentres());
  CreateCrossovers(crossoverItem, kEffectCrossoverRange, kHighPassHz, lowPassHz);
  HighPass().SetCrossoverType(crossover_family::kButterworth, false);
  LowPass().SetCrossoverType(crossover_family::kButterworth, false);
}

EqBandRecord CKTVEQ::BandRecord(int index) {
  const CFilter& f = Filter(index);
  EqBandRecord r;
  r.frequency = ToU16(f.frequency());
  // gainCode() already gives 0 dB for a band that is off or flat, so it travels as 600.
  r.gainCode = static_cast<std::uint16_t>(kRecordGainOffset + f.gainCode());
  r.bandwidthIndex = static_cast<std::int16_t>(f.bandwidthIndex());
  r.slope = static_cast<std::uint8_t>(f.slope());
  r.type = static_cast<std::uint8_t>(f.type());
  bandScratch_ = r;
  return r;
}

void CKTVEQ::SetBand(const EqBandRecord& record, int index) {
  CFilter& f = Filter(index);
  f.SetGainCode(static_cast<int>(record.gainCode) - kRecordGainOffset);
  f.SetBandwidthIndex(record.bandwidthIndex);
  f.SetSlope(record.slope, false);
  if (record.type <= filter_type::kHighShelf && record.type != f.type()) f.SetType(record.type);
  f.SetFrequency(record.frequency, false);
  // The values came from the processor or a file: nothing of this band is waiting to be sent.
  f.StepSentFrequency(false);
}

CFilter& CKTVEQ::HighPass() {
  assert(FilterCount() >= kCrossoverFilters && Filter(FilterCount() - 2).type() == filter_type::kHighPass);
  return Filter(FilterCount() - 2);
}

CFilter& CKTVEQ::LowPass() {
  assert(FilterCount() >= kCrossoverFilters && Filter(FilterCount() - 1).type() == filter_type::kLowPass);
  return Filter(FilterCount() - 1);
}

const CFilter& CKTVEQ::HighPass() const { return const_cast<CKTVEQ*>(this)->HighPass(); }
const CFilter& CKTVEQ::LowPass() const { return const_cast<CKTVEQ*>(this)->LowPass(); }

void CKTVEQ::FitToGraph(const GraphRect& plot) {
  curve_.Layout(plot.Width(), plot.Height());
  for (auto& f : filters_) f->SetGraphSize(plot);
}

void CKTVEQ::SumCurve() { curve_.Sum(filters_); }

void CKTVEQ::FilterCurve(int index) { curve_.FromFilter(Filter(index)); }

void CKTVEQ::CopyFrom(const CKTVEQ& other) {
  assert(other.FilterCount() == FilterCount());
  const int n = std::min(FilterCount(), other.FilterCount());
  for (int i = 0; i < n; ++i) Filter(i).CopyValues(other.Filter(i));
}

void CKTVEQ::SetGraphicEq(bool on) {
  for (int k = 0; k < BandCount(); ++k) Filter(k).SetGraphicEq(on);
}

void CKTVEQ::WriteCrossoverRecord(std::span<std::uint8_t> x, int highPassHz, int lowPassHz) const {
  const CFilter& hp = HighPass();
  const CFilter& lp = LowPass();
  PutU16(x, xover::kHpFrequency, ToU16(highPassHz));
  x[xover::kHpFamily] = static_cast<std::uint8_t>(hp.crossoverType());
  x[xover::kHpSlope] = static_cast<std::uint8_t>(hp.slope());
  PutU16(x, xover::kLpFrequency, ToU16(lowPassHz));
  x[xover::kLpFamily] = static_cast<std::uint8_t>(lp.crossoverType());
  x[xover::kLpSlope] = static_cast<std::uint8_t>(lp.slope());
}

void CKTVEQ::WriteCrossoverRecord(std::span<std::uint8_t> x) const {
  WriteCrossoverRecord(x, HighPass().frequency(), LowPass().frequency());
}

void CKTVEQ::ReadCrossoverRecord(std::span<const std::uint8_t> x) {
  CFilter& hp = HighPass();
  hp.SetFrequency(GetU16(x, xover::kHpFrequency), false);
  hp.SetCrossoverType(x[xover::kHpFamily], false);
  hp.SetSlope(x[xover::kHpSlope], false);
  CFilter& lp = LowPass();
  lp.SetFrequency(GetU16(x, xover::kLpFrequency), false);
  lp.SetCrossoverType(x[xover::kLpFamily], false);
  lp.SetSlope(x[xover::kLpSlope], false);
  // Read from the processor or a file: nothing is waiting to be sent.
  hp.StepSentFrequency(false);
  lp.StepSentFrequency(false);
}

void CKTVEQ::SettleAll() {
  for (auto& f : filters_) {
    if (f->sentFrequency() != f->frequency()) f->SetFrequency(f->frequency(), false);
    f->SetWireFrequency(f->frequency());
    f->SetPending(false);
  }
}

int OctaveStep(int currentHz, int targetHz) {
  // Nothing to step from (a record that never held a frequency): go straight to the target.
  if (currentHz == targetHz || currentHz <= 0) return targetHz;
  constexpr int kOctave = 2;
  constexpr double kHalfOctave = 0.5;
  if (targetHz / currentHz >= kOctave) return currentHz * kOctave;
  if (static_cast<double>(targetHz) / currentHz <= kHalfOctave) return currentHz / kOctave;
  return targetHz;
}

int SettleFilter(CFilter& filter) {
  const int target = filter.frequency();
  const int next = OctaveStep(filter.wireFrequency(), target);
  filter.SetWireFrequency(next);
  // The filter keeps its own record of the sent frequency; it follows the same steps upward, and
  // once the target goes out it must agree with it.
  filter.StepSentFrequency(false);
  if (next == target && filter.sentFrequency() != target) filter.SetFrequency(target, false);
  filter.SetPending(next != target);
  return next;
}

}  // namespace zelto
