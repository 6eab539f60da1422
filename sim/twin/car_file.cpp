#include "sim/twin/car_file.h"

#include <cmath>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <variant>
#include <sstream>

#include "acoustics/wav_file.h"
#include "core/device_image.h"
#include "core/file_io.h"
#include "sim/twin/processor_model.h"

namespace zelto::twin {

namespace {

using nlohmann::json;

// A quieter floor is as good as none; a louder one than full scale is no floor at all.
constexpr double kMinNoiseDbfs = -200.0;
constexpr double kMaxNoiseDbfs = 0.0;

bool Fail(std::string* error, const std::string& message) {
  if (error) *error = message;
  return false;
}

std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

std::nullopt_t Refuse(std::string* error, const std::string& message) {
  Fail(error, message);
  return std::nullopt;
}

std::string SpeakerLabel(std::size_t index, const json& speaker) {
  std::string label = "speaker " + std::to_string(index + 1);
  const auto name = speaker.find("name");
  if (name != speaker.end() && name->is_string()) label += " (" + name->get<std::string>() + ")";
  return label;
}

bool ParseSpeaker(std::size_t index, const json& s, std::size_t positions, const std::filesystem::path& folder,
                  std::set<int>& outputsSeen, CarDescription::Speaker& out, std::string* error) {
  const std::string label = SpeakerLabel(index, s);
  if (!s.is_object()) return Fail(error, label + ": not an object");
  const auto output = s.find("output");
  if (output == s.end() || !output->is_number_integer())
    return Fail(error, label + ": \"output\" must be an output channel number 1.." + std::to_string(kOutputChannels));
  const auto channel = output->get<long long>();
  if (channel < 1 || channel > kOutputChannels)
    return Fail(error, label + ": output " + std::to_string(channel) + " is not an output channel 1.." +
                           std::to_string(kOutputChannels));
  out.output = static_cast<int>(channel);
  if (!outputsSeen.insert(out.output).second)
    return Fail(error, label + ": output " + std::to_string(out.output) + " already has a speaker");
  const auto name = s.find("name");
  if (name != s.end() && !name->is_string()) return Fail(error, label + ": \"name\" must be text");
  out.name = name != s.end() ? name->get<std::string>() : "output " + std::to_string(out.output);
  const auto ir = s.find("ir");
  if (ir == s.end() || !ir->is_array()) return Fail(error, label + ": \"ir\" must be a list of WAV files");
  if (ir->size() != positions)
    return Fail(error, label + ": " + std::to_string(ir->size()) + " impulse responses for " +
                           std::to_string(positions) + " microphone positions");
  for (const json& path : *ir) {
    if (!path.is_string() || path.get<std::string>().empty())
      return Fail(error, label + ": every entry of \"ir\" must be a file name");
    const std::filesystem::path p = PathFromUtf8(path.get<std::string>());
    out.ir.push_back(p.is_absolute() ? p : folder / p);
  }
  return true;
}

}  // namespace

std::optional<CarDescription> ParseCarDescription(std::string_view text, const std::filesystem::path& folder,
                                                  std::string* error) {
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::exception& e) {
    return Refuse(error, std::string("not valid JSON: ") + e.what());
  }
  if (!doc.is_object()) return Refuse(error, "the car must be a JSON object");
  CarDescription car;

  const auto rate = doc.find("sample_rate");
  if (rate == doc.end() || !rate->is_number_integer())
    return Refuse(error, "\"sample_rate\" must be a whole number of hertz");
  const auto hz = rate->get<long long>();
  if (hz != kProcessorRate && hz != kProcessorRate / 2)
    return Refuse(error, "sample rate " + std::to_string(hz) + " Hz is not supported (48000 or 96000)");
  car.sampleRate = static_cast<int>(hz);

  const auto noise = doc.find("noise_dbfs");
  if (noise != doc.end()) {
    if (!noise->is_number()) return Refuse(error, "\"noise_dbfs\" must be a number");
    const double db = noise->get<double>();
    if (!(db >= kMinNoiseDbfs && db <= kMaxNoiseDbfs))
      return Refuse(error, "\"noise_dbfs\" must lie between -200 and 0");
    car.noiseDbfs = db;
  }

  const auto positions = doc.find("positions");
  if (positions == doc.end() || !positions->is_array() || positions->empty())
    return Refuse(error, "\"positions\" must list the microphone positions");
  if (positions->size() > static_cast<std::size_t>(kMaxCarPositions))
    return Refuse(error, "more than " + std::to_string(kMaxCarPositions) + " microphone positions");
  for (const json& p : *positions) {
    if (!p.is_string()) return Refuse(error, "every microphone position must be a name");
    car.positions.push_back(p.get<std::string>());
  }

  const auto speakers = doc.find("speakers");
  if (speakers == doc.end() || !speakers->is_array() || speakers->empty())
    return Refuse(error, "\"speakers\" must list at least one speaker");
  std::set<int> outputsSeen;
  for (std::size_t i = 0; i < speakers->size(); ++i) {
    CarDescription::Speaker s;
    if (!ParseSpeaker(i, (*speakers)[i], car.positions.size(), folder, outputsSeen, s, error)) return std::nullopt;
    car.speakers.push_back(std::move(s));
  }
  return car;
}

std::optional<std::vector<float>> DecodeImpulseResponse(std::span<const std::uint8_t> bytes, const std::string& name,
                                                        int sampleRate, std::string* error) {
  auto decoded = acoustics::DecodeSound(bytes, name);
  if (const auto* why = std::get_if<std::string>(&decoded)) return Refuse(error, *why);
  acoustics::Audio& audio = std::get<acoustics::Audio>(decoded);
  if (audio.channels != 1)
    return Refuse(error, name + ": " + std::to_string(audio.channels) + " channels; an impulse response is mono");
  if (audio.sampleRate != sampleRate)
    return Refuse(error, name + ": recorded at " + std::to_string(audio.sampleRate) + " Hz, the car is at " +
                             std::to_string(sampleRate) + " Hz");
  if (static_cast<double>(audio.Frames()) > kMaxImpulseSeconds * sampleRate)
    return Refuse(error, name + ": longer than " + std::to_string(static_cast<int>(kMaxImpulseSeconds)) + " s");
  return std::move(audio.samples);
}

std::optional<std::vector<float>> ReadImpulseResponse(const std::filesystem::path& wav, int sampleRate,
                                                      std::string* error) {
  const std::string name = Utf8(wav.filename());
  std::error_code ec;
  if (!std::filesystem::is_regular_file(wav, ec)) return Refuse(error, name + ": file not found");
  const FileBytes file = ReadWholeFile(Utf8(wav), acoustics::kMaxSoundFileBytes);
  if (file.status == FileBytes::Status::TooLarge) return Refuse(error, name + ": the file is too large");
  if (!file.ok()) return Refuse(error, name + ": cannot read the file");
  return DecodeImpulseResponse(file.bytes, name, sampleRate, error);
}

bool WriteImpulseResponse(const std::filesystem::path& wav, int sampleRate, const std::vector<float>& samples,
                          std::string* error) {
  const auto why = acoustics::WriteWav(Utf8(wav), acoustics::MonoAudio(sampleRate, samples));
  return why ? Fail(error, *why) : true;
}

std::optional<Car> LoadCarFile(const std::filesystem::path& file, std::string* error) {
  const std::string label = Utf8(file.filename());
  std::ifstream in(file, std::ios::binary);
  if (!in) return Refuse(error, label + ": cannot be opened");
  std::ostringstream text;
  text << in.rdbuf();
  std::string why;
  const auto description = ParseCarDescription(text.str(), file.parent_path(), &why);
  if (!description) return Refuse(error, label + ": " + why);
  Car car;
  car.sampleRate = description->sampleRate;
  car.noiseDbfs = description->noiseDbfs;
  car.positions = description->positions;
  for (std::size_t i = 0; i < description->speakers.size(); ++i) {
    const auto& s = description->speakers[i];
    CarSpeaker speaker{s.output, s.name, {}};
    for (const auto& wav : s.ir) {
      auto ir = ReadImpulseResponse(wav, car.sampleRate, &why);
      if (!ir) return Refuse(error, label + ": speaker " + std::to_string(i + 1) + " (" + s.name + "): " + why);
      speaker.ir.push_back(std::move(*ir));
    }
    car.speakers.push_back(std::move(speaker));
  }
  return car;
}

}  // namespace zelto::twin
