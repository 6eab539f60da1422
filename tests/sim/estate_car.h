#pragma once
// The second car of the tests, beside the demo car: an estate with tweeters on the pillars, door
// midbass, a subwoofer in the boot whose amplifier is 2 ms late, the right tweeter wired the wrong
// way round, and a deep cancellation at 160 Hz where the driver's head is. Its car file is
// tests/data/twin/estate/car.json; the impulse responses it names are built here and written
// beside a copy of it, so the repository holds no large sound files.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "sim/twin/car_file.h"
#include "sim/twin/demo_car.h"

namespace zelto::twin::testing {

inline constexpr int kEstateReversedOutput = 2;
inline constexpr int kEstateLateOutput = 5;
inline constexpr double kEstateLateMs = 2.0;
inline constexpr double kEstateNullHz = 160.0;

inline CarModel EstateCarModel(double subLateMs = kEstateLateMs) {
  CarModel m;
  m.noiseDbfs = -65.0;
  const Point3 head{1.96, 2.95, 0.98};
  m.microphones = {
      {"centre", head},
      {"left", {head.x - 0.1, head.y, head.z}},
      {"right", {head.x + 0.1, head.y, head.z}},
      {"up", {head.x, head.y, head.z + 0.1}},
  };
  m.speakers = {
      {1, "left pillar tweeter", DriverKind::Tweeter, {1.55, 1.05, 0.95}},
      {2, "right pillar tweeter", DriverKind::Tweeter, {3.17, 1.05, 0.95}, true},
      {3, "left door midbass", DriverKind::Woofer, {1.50, 1.75, 0.30}},
      {4, "right door midbass", DriverKind::Woofer, {3.22, 1.75, 0.30}},
      {5, "boot subwoofer", DriverKind::Subwoofer, {2.36, 4.30, 0.35}, false, subLateMs},
  };
  m.nulls = {{0, kEstateNullHz, 24.0, 0.15}};
  return m;
}

/// Copies the estate's car file into `folder` and writes the responses it names there. Returns the
/// car file's path, or an empty path after a test failure.
inline std::filesystem::path WriteEstateCar(const std::filesystem::path& folder) {
  std::ifstream in(std::filesystem::path(ZELTO_TEST_DATA) / "twin" / "estate" / "car.json");
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  const auto description = ParseCarDescription(text.str(), folder, &error);
  EXPECT_TRUE(description) << error;
  if (!description) return {};
  const Car car = BuildCar(EstateCarModel());
  for (const auto& s : description->speakers) {
    const CarSpeaker* built = car.SpeakerOn(s.output);
    EXPECT_NE(built, nullptr) << "the estate has no speaker on output " << s.output;
    if (!built) return {};
    for (std::size_t p = 0; p < s.ir.size(); ++p) {
      EXPECT_TRUE(WriteImpulseResponse(s.ir[p], car.sampleRate, built->ir[p], &error)) << error;
    }
  }
  const auto path = folder / "car.json";
  std::ofstream(path) << text.str();
  return path;
}

}  // namespace zelto::twin::testing
