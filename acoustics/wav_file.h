#pragma once
// Sound files (WAV, and whatever else libsndfile reads: FLAC, AIFF, … from a handheld recorder)
// as interleaved float samples. Files are read whole and bounded, decoded from memory, and written
// to a temporary file that replaces the target only when complete.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "core/encodings.h"

namespace zelto::acoustics {

/// Sampled sound: `samples` holds `channels` interleaved values per frame, full scale ±1.
struct Audio {
  int sampleRate = 0;
  int channels = 0;
  std::vector<float> samples;
  std::size_t Frames() const { return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0; }
};

/// The decoded sound or the reason it could not be read, worded for the user.
using AudioOrError = std::variant<Audio, std::string>;

// A file larger than this is no measurement (about 45 minutes of 48 kHz stereo float).
inline constexpr std::size_t kMaxSoundFileBytes = std::size_t{1} << 30;
inline constexpr int kMaxChannels = 64;
inline constexpr int kMinSampleRate = 8000;
inline constexpr int kMaxSampleRate = 768000;

/// Reads a sound file. Refused with the reason: a missing or unreadable file, one libsndfile does
/// not recognise, one without sound, an implausible rate or channel count, samples that are not
/// finite numbers (a broken float file would poison every later sum).
AudioOrError ReadSoundFile(const std::string& path, Language lang = Language::English);
/// The same for the bytes of a file; `name` is used in messages.
AudioOrError DecodeSound(std::span<const std::uint8_t> bytes, const std::string& name,
                         Language lang = Language::English);

enum class SampleFormat { Float32, Pcm24, Pcm16 };

/// Writes `audio` as a WAV file (RF64 when it would exceed 4 GB). Nothing on success, else the
/// reason; then the file that was there is untouched. Integer formats clip at full scale instead
/// of wrapping around.
std::optional<std::string> WriteWav(const std::string& path, const Audio& audio,
                                    SampleFormat format = SampleFormat::Float32, Language lang = Language::English);

/// One channel (0-based) of interleaved audio.
std::vector<float> ChannelOf(const Audio& audio, int channel);
/// Mono audio from one channel's samples.
Audio MonoAudio(int sampleRate, std::vector<float> samples);

}  // namespace zelto::acoustics
