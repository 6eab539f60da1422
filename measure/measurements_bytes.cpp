#include "measure/measurements_bytes.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

namespace zelto::measure {

namespace {

// version u8, smoothing u8, shown curves u8 (one bit each), then per output channel: flags u8
// (range set, measurement held), target kind u8, target file name, the target's curve (files
// only), low and high Hz and maximum boost; with a measurement: its file name, point count u32,
// the frequencies, the levels and the kept response. A name is a u32 length and its bytes; a
// number is an IEEE double. Little-endian throughout.
constexpr std::uint8_t kFormat = 1;
constexpr std::uint8_t kRangeSet = 1;
constexpr std::uint8_t kHasMeasurement = 2;
constexpr std::size_t kMaxNameBytes = 64u << 10;
constexpr double kMaxBoostLimitDb = kBandMaxDb - kBandMinDb;

class Writer {
 public:
  std::vector<std::uint8_t> out;
  void U8(std::uint8_t v) { out.push_back(v); }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) U8(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void F64(double v) {
    const auto u = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) U8(static_cast<std::uint8_t>(u >> (8 * i)));
  }
  void Name(const std::string& s) {
    U32(static_cast<std::uint32_t>(s.size()));
    out.insert(out.end(), s.begin(), s.end());
  }
  template <class Doubles>
  void All(const Doubles& values) {
    for (double v : values) F64(v);
  }
};

// Every read checks what is left and fails the whole reader from then on, so a short or foreign
// blob ends as "not read" without reading past its end or allocating more than it holds.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}
  bool ok() const { return ok_; }
  bool AtEnd() const { return ok_ && at_ == in_.size(); }
  bool Has(std::size_t n) {
    if (ok_ && in_.size() - at_ < n) ok_ = false;
    return ok_;
  }
  void Fail() { ok_ = false; }
  std::uint8_t U8() { return Has(1) ? in_[at_++] : 0; }
  std::uint32_t U32() {
    if (!Has(4)) return 0;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= std::uint32_t{in_[at_++]} << (8 * i);
    return v;
  }
  /// A finite number; anything else fails the reader.
  double F64() {
    if (!Has(8)) return 0;
    std::uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= std::uint64_t{in_[at_++]} << (8 * i);
    const double v = std::bit_cast<double>(u);
    if (!std::isfinite(v)) Fail();
    return ok_ ? v : 0;
  }
  std::string Name() {
    const std::uint32_t size = U32();
    if (size > kMaxNameBytes) Fail();
    if (!Has(size)) return {};
    std::string s(in_.begin() + static_cast<std::ptrdiff_t>(at_),
                  in_.begin() + static_cast<std::ptrdiff_t>(at_ + size));
    at_ += size;
    return s;
  }
  std::vector<double> Doubles(std::size_t n) {
    if (!Has(n * 8)) return {};
    std::vector<double> v(n);
    for (double& d : v) d = F64();
    return v;
  }
  void Grid(std::array<double, kGridPoints>& into) {
    for (double& d : into) d = F64();
  }

 private:
  std::span<const std::uint8_t> in_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

bool ValidSettings(const AutoEqSettings& s) {
  return s.loHz >= kFilterMinHz && s.loHz <= s.hiHz && s.hiHz <= kFilterMaxHz && s.maxBoostDb >= 0 &&
         s.maxBoostDb <= kMaxBoostLimitDb;
}

// As the readers accept a measurement: enough points, frequencies positive and rising.
bool ValidMeasurement(const Measurement& m) {
  if (m.hz.size() < kMinPoints || m.hz.size() != m.db.size() || m.hz.front() <= 0) return false;
  return std::adjacent_find(m.hz.begin(), m.hz.end(), [](double a, double b) { return b <= a; }) == m.hz.end();
}

}  // namespace

std::vector<std::uint8_t> MeasurementsBytes(const ChannelMeasurements& held) {
  Writer w;
  w.U8(kFormat);
  w.U8(static_cast<std::uint8_t>(held.smoothing_));
  std::uint8_t shown = 0;
  for (int c = 0; c < kShownCurveCount; ++c)
    if (held.shown_[static_cast<std::size_t>(c)]) shown |= static_cast<std::uint8_t>(1u << c);
  w.U8(shown);
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const AutoEqSettings& s = held.settings_[ch];
    const auto& h = held.held_[ch];
    w.U8(static_cast<std::uint8_t>((held.rangeSet_[ch] ? kRangeSet : 0) | (h ? kHasMeasurement : 0)));
    w.U8(static_cast<std::uint8_t>(s.target.kind));
    w.Name(s.target.path);
    if (s.target.kind == TargetChoice::Kind::File) w.All(s.target.curve);
    w.F64(s.loHz);
    w.F64(s.hiHz);
    w.F64(s.maxBoostDb);
    if (!h) continue;
    const Measurement& m = h->m.measurement;
    w.Name(h->path);
    w.U32(static_cast<std::uint32_t>(m.size()));
    w.All(m.hz);
    w.All(m.db);
    w.All(h->m.keptResponse);
  }
  return std::move(w.out);
}

std::optional<ChannelMeasurements> MeasurementsFromBytes(std::span<const std::uint8_t> bytes) {
  Reader r(bytes);
  if (r.U8() != kFormat) return std::nullopt;
  ChannelMeasurements held;
  const int smoothing = r.U8();
  const std::uint8_t shown = r.U8();
  if (std::ranges::find(kDisplaySmoothings, smoothing) == kDisplaySmoothings.end() || shown >> kShownCurveCount)
    return std::nullopt;
  held.smoothing_ = smoothing;
  for (int c = 0; c < kShownCurveCount; ++c) held.shown_[static_cast<std::size_t>(c)] = (shown >> c) & 1u;

  for (int ch = 0; ch < kOutputChannels && r.ok(); ++ch) {
    const std::uint8_t flags = r.U8();
    const std::uint8_t kind = r.U8();
    if (flags > (kRangeSet | kHasMeasurement) || kind > static_cast<std::uint8_t>(TargetChoice::Kind::File))
      return std::nullopt;
    AutoEqSettings s;
    s.target.kind = static_cast<TargetChoice::Kind>(kind);
    s.target.path = r.Name();
    switch (s.target.kind) {
      case TargetChoice::Kind::Flat: s.target.curve = FlatTarget(); break;
      case TargetChoice::Kind::Car: s.target.curve = CarTarget(); break;
      case TargetChoice::Kind::File: r.Grid(s.target.curve); break;
    }
    s.loHz = r.F64();
    s.hiHz = r.F64();
    s.maxBoostDb = r.F64();
    if (!r.ok() || !ValidSettings(s)) return std::nullopt;
    held.settings_[ch] = std::move(s);
    held.rangeSet_[ch] = (flags & kRangeSet) != 0;
    if (!(flags & kHasMeasurement)) continue;

    ChannelMeasurements::Held h;
    h.path = r.Name();
    const std::uint32_t points = r.U32();
    h.m.measurement.hz = r.Doubles(points);
    h.m.measurement.db = r.Doubles(points);
    r.Grid(h.m.keptResponse);
    if (!r.ok() || !ValidMeasurement(h.m.measurement)) return std::nullopt;
    held.held_[ch] = std::move(h);
    held.Recompute(ch);
  }
  if (!r.AtEnd()) return std::nullopt;
  return held;
}

}  // namespace zelto::measure
