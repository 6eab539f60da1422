#include "sim/twin/demo_car.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

#include "core/device_image.h"
#include "curves/filter_design.h"
#include "edit/positions.h"
#include "sim/twin/halfband.h"

namespace zelto::twin {

namespace {

constexpr int kCarRate = 48000;
constexpr int kBuildRate = 96000;               // built at the doubled rate, then halved like the processor's output
constexpr std::size_t kResponseFrames = 16384;  // 341 ms: the cabin's tail is 70 dB down long before
constexpr double kNoiseDbfs = -72.0;

// The car picture (seen from above, front at the top) in its own pixels: the centre of each
// position button, and the inside of the body. One pixel is 15.5 mm, which makes the picture's
// body 4.5 m long and 1.8 m wide.
struct PicturePoint {
  int code;
  double x, y;
};
constexpr std::array<PicturePoint, 16> kPictureButtons = {{
    {1, 100, 92},
    {2, 100, 126},
    {3, 100, 160},
    {7, 204, 92},
    {8, 204, 126},
    {9, 204, 160},
    {13, 100, 222},
    {14, 100, 256},
    {16, 204, 222},
    {17, 204, 256},
    {19, 130, 62},
    {20, 152, 62},
    {21, 174, 62},
    {22, 130, 292},
    {23, 174, 292},
    {24, 152, 292},
}};
constexpr double kMetresPerPixel = 4.5 / 290.0;
constexpr double kLeftWallPx = 94.0;
constexpr double kRightWallPx = 210.0;
constexpr double kWindscreenPx = 55.0;  // where the glass meets the dashboard, seen from above
constexpr double kRoof = 1.2;           // metres above the cabin floor

// Heights above the cabin floor by position code: tweeters high in the doors or on the dash, mids
// below them, woofers low in the doors, subwoofers on the boot floor.
double HeightOf(int code) {
  switch (code) {
    case 1:
    case 7:
    case 13:
    case 16: return 0.85;
    case 2:
    case 8: return 0.6;
    case 19:
    case 20:
    case 21: return 0.9;
    default: return 0.32;
  }
}

// The driver's head: the driver's seat (left-hand drive) between the front and rear doors.
constexpr double kHeadXPx = 126.0;
constexpr double kHeadYPx = 190.0;
constexpr double kEarHeight = 0.98;
constexpr double kMicStep = 0.1;  // the microphone moves 10 cm around the head

Point3 FromPicture(double xPx, double yPx, double z) { return {xPx * kMetresPerPixel, yPx * kMetresPerPixel, z}; }

double Distance(const Point3& a, const Point3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

DriverKind KindOfType(int type) {
  switch (type) {
    case 1:
    case 7:
    case 13:
    case 16:
    case 19: return DriverKind::Tweeter;
    case 2:
    case 4:
    case 8:
    case 10: return DriverKind::Mid;
    case 6:
    case 12:
    case 15:
    case 18:
    case 21: return DriverKind::FullRange;
    case 22:
    case 23:
    case 24: return DriverKind::Subwoofer;
    default: return DriverKind::Woofer;
  }
}

// A driver's own response: its natural roll-offs (second-order, as a driver in a door, a sealed
// box or behind a dome is), a break-up or presence peak, and its sensitivity.
struct Driver {
  double highPassHz, lowPassHz;
  double peakHz, peakDb, peakOct;
  double levelDb;
};

Driver DriverOf(DriverKind kind) {
  switch (kind) {
    case DriverKind::Tweeter: return {1600, 30000, 8000, 2.5, 1.0, 0.0};
    case DriverKind::Mid: return {90, 7000, 3000, 3.0, 0.8, -1.0};
    case DriverKind::Woofer: return {55, 3200, 1900, 4.0, 0.6, -1.0};
    case DriverKind::FullRange: return {70, 11000, 2500, 2.0, 1.0, -3.0};
    case DriverKind::Subwoofer: return {30, 350, 60, 0.0, 1.0, 4.0};
  }
  return {};
}

// Surfaces that reflect: a mirror plane, how much comes back and how dull it is.
struct Surface {
  enum Axis { X, Y, Z } axis;
  double at;
  double coefficient;
  double dullHz;  // 0: the reflection keeps its highs (glass)
};

// The first standing waves of the cabin: along, across and floor to roof.
struct Mode {
  Surface::Axis axis;
  double from, length;  // metres
  double gainDb, widthOct;
};
constexpr double kCabinFront = kWindscreenPx * kMetresPerPixel;
constexpr std::array<Mode, 3> kModes = {{
    {Surface::Y, kCabinFront, 2.6, 7.0, 0.2},
    {Surface::X, kLeftWallPx* kMetresPerPixel, (kRightWallPx - kLeftWallPx) * kMetresPerPixel, 6.0, 0.2},
    {Surface::Z, 0.0, kRoof, 4.0, 0.25},
}};
// The cabin holds pressure below its first modes: the low end rises toward 20 Hz.
constexpr double kCabinGainHz = 55.0;
constexpr double kCabinGainDb = 9.0;
// The diffuse tail after the first reflections.
constexpr double kTailStartSeconds = 0.004;
constexpr double kTailSeconds = 0.07;  // RT60
constexpr double kTailLevel = 0.06;    // relative to the direct sound

double Coordinate(const Point3& p, Surface::Axis a) { return a == Surface::X ? p.x : a == Surface::Y ? p.y : p.z; }

Point3 Mirror(Point3 p, const Surface& s) {
  const double m = 2 * s.at - Coordinate(p, s.axis);
  (s.axis == Surface::X ? p.x : s.axis == Surface::Y ? p.y : p.z) = m;
  return p;
}

// Modified Bessel function of order 0 (for the Kaiser window of the fractional delay).
double BesselI0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 64 && term > sum * 1e-17; ++k) {
    term *= (x * x / 4.0) / (static_cast<double>(k) * k);
    sum += term;
  }
  return sum;
}

// Adds `amplitude` at the fractional sample `at`: a Kaiser-windowed sinc, so arrivals fall between
// samples as they do in a real car.
void AddImpulse(std::vector<double>& x, double at, double amplitude) {
  constexpr int kHalf = 32;
  constexpr double kBeta = 9.0;
  const auto centre = static_cast<long>(std::floor(at));
  for (long n = centre - kHalf + 1; n <= centre + kHalf; ++n) {
    if (n < 0 || n >= static_cast<long>(x.size())) continue;
    const double t = static_cast<double>(n) - at;
    const double sinc = t == 0.0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
    const double r = t / kHalf;
    const double window = std::abs(r) >= 1.0 ? 0.0 : BesselI0(kBeta * std::sqrt(1 - r * r)) / BesselI0(kBeta);
    x[static_cast<std::size_t>(n)] += amplitude * sinc * window;
  }
}

void Run(const FilterSections& fs, std::vector<double>& x) {
  for (int k = 0; k < fs.count; ++k) {
    const BiquadSection& q = fs.section[static_cast<std::size_t>(k)];
    double s1 = 0, s2 = 0;
    for (double& v : x) {
      const double y = q.b0 * v + s1;
      s1 = q.b1 * v - q.a1 * y + s2;
      s2 = q.b2 * v - q.a2 * y;
      v = y;
    }
  }
}

constexpr int kButterworth12 = slope_code::k12;

// A small generator whose sequence the standard fixes, so the tail is the same everywhere.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed) {}
  double Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<double>(state_) / 2147483648.0 - 1.0;
  }

 private:
  std::uint32_t state_;
};

std::vector<float> BuildResponse(const ModelSpeaker& speakerModel, const Point3& head,
                                 const std::vector<const ModelNull*>& nulls, std::uint32_t seed) {
  const Point3& speaker = speakerModel.place;
  const std::size_t frames96 = 2 * kResponseFrames;
  Decimator2 halve;
  // The halving delays by its own latency; arrivals are placed that much earlier so that the
  // finished response has them where the distance puts them.
  const double early = static_cast<double>(halve.Latency());
  const double perMetre = kBuildRate / kSpeedOfSound;
  const double direct = Distance(speaker, head);

  // An amplifier's own delay moves every arrival of its speaker.
  const double late = speakerModel.lateMs / 1000.0 * kBuildRate;
  std::vector<double> x(frames96, 0.0);
  AddImpulse(x, direct * perMetre - early + late, 1.0 / direct);
  const std::array<Surface, 5> surfaces = {{
      {Surface::Z, 0.0, 0.35, 2000},
      {Surface::Z, kRoof, 0.5, 5000},
      {Surface::Y, kCabinFront, 0.75, 0},
      {Surface::X, kLeftWallPx * kMetresPerPixel, 0.6, 8000},
      {Surface::X, kRightWallPx * kMetresPerPixel, 0.6, 8000},
  }};
  for (const Surface& s : surfaces) {
    // A speaker set into a surface has no image in it worth the name.
    if (std::abs(Coordinate(speaker, s.axis) - s.at) < 0.2) continue;
    const double d = Distance(Mirror(speaker, s), head);
    std::vector<double> r(frames96, 0.0);
    AddImpulse(r, d * perMetre - early + late, s.coefficient / d);
    if (s.dullHz > 0) Run(CrossoverDesign(false, s.dullHz, crossover_family::kButterworth, kButterworth12), r);
    for (std::size_t i = 0; i < frames96; ++i) x[i] += r[i];
  }
  Noise noise(seed);
  const double tailStart = (direct / kSpeedOfSound + kTailStartSeconds) * kBuildRate - early + late;
  const double decayPerSample = std::log(1000.0) / (kTailSeconds * kBuildRate);  // 60 dB over RT60
  for (std::size_t i = static_cast<std::size_t>(std::max(0.0, tailStart)); i < frames96; ++i) {
    const double age = static_cast<double>(i) - tailStart;
    x[i] += kTailLevel / direct * std::exp(-decayPerSample * age) * noise.Next();
  }

  const Driver d = DriverOf(speakerModel.kind);
  Run(CrossoverDesign(true, d.highPassHz, crossover_family::kButterworth, kButterworth12), x);
  Run(CrossoverDesign(false, d.lowPassHz, crossover_family::kButterworth, kButterworth12), x);
  if (d.peakDb != 0.0) Run(PeakingDesign(d.peakHz, d.peakDb, d.peakOct), x);
  Run(ShelfDesign(false, kCabinGainHz, slope_code::kShelf12, kCabinGainDb), x);
  for (const Mode& m : kModes) {
    const double hz = kSpeedOfSound / (2 * m.length);
    // A first mode's pressure is largest at the ends and nil in the middle; the speaker excites it
    // and the head hears it by their places along its axis.
    const double at = [&](const Point3& p) {
      return std::cos(std::numbers::pi * (Coordinate(p, m.axis) - m.from) / m.length);
    }(speaker);
    const double heard = std::cos(std::numbers::pi * (Coordinate(head, m.axis) - m.from) / m.length);
    Run(PeakingDesign(hz, m.gainDb * at * heard, m.widthOct), x);
  }
  for (const ModelNull* n : nulls) Run(PeakingDesign(n->hz, -n->depthDb, n->widthOct), x);
  const double level = std::pow(10.0, d.levelDb / 20.0) * (speakerModel.reversed ? -1.0 : 1.0);
  for (double& v : x) v *= level;

  std::vector<double> y(kResponseFrames);
  halve.Process(x, y);
  return std::vector<float>(y.begin(), y.end());
}

}  // namespace

Car BuildCar(const CarModel& model) {
  Car car;
  car.sampleRate = kCarRate;
  car.noiseDbfs = model.noiseDbfs;
  for (const ModelMicrophone& m : model.microphones) car.positions.push_back(m.name);
  for (const ModelSpeaker& s : model.speakers) {
    CarSpeaker speaker{s.output, s.name, {}};
    for (std::size_t p = 0; p < model.microphones.size(); ++p) {
      std::vector<const ModelNull*> nulls;
      for (const ModelNull& n : model.nulls)
        if (n.position == p) nulls.push_back(&n);
      // Each response has a tail of its own, from a seed its speaker and position fix.
      const auto seed = static_cast<std::uint32_t>(s.output * 1009 + static_cast<int>(p) * 7919 + 1);
      speaker.ir.push_back(BuildResponse(s, model.microphones[p].place, nulls, seed));
    }
    car.speakers.push_back(std::move(speaker));
  }
  return car;
}

CarModel DemoCarModel() {
  CarModel model;
  model.noiseDbfs = kNoiseDbfs;
  const Point3 c = FromPicture(kHeadXPx, kHeadYPx, kEarHeight);
  model.microphones = {
      {"centre", c},
      {"left", {c.x - kMicStep, c.y, c.z}},
      {"right", {c.x + kMicStep, c.y, c.z}},
      {"front", {c.x, c.y - kMicStep, c.z}},
      {"back", {c.x, c.y + kMicStep, c.z}},
      {"up", {c.x, c.y, c.z + kMicStep}},
  };
  DeviceImage image{};
  InitDeviceImage(image);
  for (int output = 1; output <= kOutputChannels; ++output) {
    const int type = image.ChannelTypes()[static_cast<std::size_t>(output - 1)];
    const rules::PositionSpot* spot = rules::SpotOfType(type);
    if (!spot) continue;  // a channel without a type has no speaker
    for (const PicturePoint& p : kPictureButtons) {
      if (p.code != spot->code) continue;
      ModelSpeaker s;
      s.output = output;
      s.name = std::string(rules::PositionName(type, Language::English));
      if (!s.name.empty()) s.name[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(s.name[0])));
      s.kind = KindOfType(type);
      s.place = FromPicture(p.x, p.y, HeightOf(p.code));
      s.reversed = output == kDemoReversedOutput;
      model.speakers.push_back(std::move(s));
    }
  }
  return model;
}

Car BuildDemoCar() { return BuildCar(DemoCarModel()); }

}  // namespace zelto::twin
