#include "acoustics/wav_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/file_io.h"

namespace zelto::acoustics {

namespace {

// libsndfile reads from and writes to memory through its virtual I/O, so a file is only ever
// touched by the bounded whole-file read and the replacing write.
struct MemoryFile {
  std::vector<std::uint8_t> bytes;
  sf_count_t position = 0;
  const std::uint8_t* readOnly = nullptr;  // set when decoding
  sf_count_t readOnlySize = 0;

  sf_count_t Size() const { return readOnly ? readOnlySize : static_cast<sf_count_t>(bytes.size()); }
  const std::uint8_t* Data() const { return readOnly ? readOnly : bytes.data(); }
};

sf_count_t MemLength(void* user) { return static_cast<MemoryFile*>(user)->Size(); }

sf_count_t MemSeek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  sf_count_t base = 0;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = f->position; break;
    case SEEK_END: base = f->Size(); break;
    default: return -1;
  }
  if (offset > std::numeric_limits<sf_count_t>::max() - base || base + offset < 0) return -1;
  f->position = base + offset;
  return f->position;
}

sf_count_t MemRead(void* ptr, sf_count_t count, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  if (count <= 0 || f->position >= f->Size()) return 0;
  const sf_count_t n = std::min(count, f->Size() - f->position);
  std::memcpy(ptr, f->Data() + f->position, static_cast<std::size_t>(n));
  f->position += n;
  return n;
}

sf_count_t MemWrite(const void* ptr, sf_count_t count, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  if (f->readOnly || count <= 0) return 0;
  const auto end = static_cast<std::size_t>(f->position + count);
  if (end > f->bytes.size()) f->bytes.resize(end);
  std::memcpy(f->bytes.data() + f->position, ptr, static_cast<std::size_t>(count));
  f->position += count;
  return count;
}

sf_count_t MemTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

SF_VIRTUAL_IO MemoryIo() { return SF_VIRTUAL_IO{MemLength, MemSeek, MemRead, MemWrite, MemTell}; }

struct SndFileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};

std::string Text(Language lang, const std::string& en, const std::string& zh) {
  return lang == Language::Chinese ? zh : en;
}

}  // namespace

AudioOrError DecodeSound(std::span<const std::uint8_t> bytes, const std::string& name, Language lang) {
  const std::string at = name + ": ";
  if (bytes.empty()) return at + Text(lang, "the file is empty", "文件为空");
  MemoryFile file;
  file.readOnly = bytes.data();
  file.readOnlySize = static_cast<sf_count_t>(bytes.size());
  SF_VIRTUAL_IO io = MemoryIo();
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndFileCloser> sf(sf_open_virtual(&io, SFM_READ, &info, &file));
  if (!sf) {
    return at + Text(lang, "not a sound file that can be read (", "不是可读取的声音文件（") + sf_strerror(nullptr) +
           Text(lang, ")", "）");
  }
  if (info.channels < 1 || info.channels > kMaxChannels) {
    return at + Text(lang, "unusable channel count ", "声道数不可用：") + std::to_string(info.channels);
  }
  if (info.samplerate < kMinSampleRate || info.samplerate > kMaxSampleRate) {
    return at + Text(lang, "unusable sample rate ", "采样率不可用：") + std::to_string(info.samplerate) + " Hz";
  }
  Audio audio;
  audio.sampleRate = info.samplerate;
  audio.channels = info.channels;
  // Read in pieces rather than trusting the frame count of the header, which a short or broken
  // file may overstate by any amount.
  constexpr sf_count_t kPieceFrames = 65536;
  const std::size_t maxSamples = kMaxSoundFileBytes / sizeof(float);
  std::vector<float> piece(static_cast<std::size_t>(kPieceFrames) * static_cast<std::size_t>(info.channels));
  for (;;) {
    const sf_count_t got = sf_readf_float(sf.get(), piece.data(), kPieceFrames);
    if (got <= 0) break;
    const auto n = static_cast<std::size_t>(got) * static_cast<std::size_t>(info.channels);
    if (audio.samples.size() + n > maxSamples) return at + Text(lang, "the sound is too long", "声音太长");
    audio.samples.insert(audio.samples.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n));
  }
  if (sf_error(sf.get()) != SF_ERR_NO_ERROR) {
    return at + Text(lang, "the sound data is damaged (", "声音数据已损坏（") + sf_strerror(sf.get()) +
           Text(lang, ")", "）");
  }
  if (audio.samples.empty()) return at + Text(lang, "the file holds no sound", "文件中没有声音");
  if (!std::all_of(audio.samples.begin(), audio.samples.end(), [](float v) { return std::isfinite(v); })) {
    return at + Text(lang, "the file holds samples that are not numbers", "文件中有无效的采样值");
  }
  return audio;
}

AudioOrError ReadSoundFile(const std::string& path, Language lang) {
  const FileBytes file = ReadWholeFile(path, kMaxSoundFileBytes);
  switch (file.status) {
    case FileBytes::Status::Ok: break;
    case FileBytes::Status::TooLarge: return path + ": " + Text(lang, "the file is too large", "文件太大");
    case FileBytes::Status::CannotOpen:
    case FileBytes::Status::ReadFailed: return path + ": " + Text(lang, "cannot read the file", "无法读取文件");
  }
  return DecodeSound(file.bytes, path, lang);
}

std::optional<std::string> WriteWav(const std::string& path, const Audio& audio, SampleFormat format, Language lang) {
  const std::string at = path + ": ";
  if (audio.channels < 1 || audio.channels > kMaxChannels || audio.sampleRate < kMinSampleRate ||
      audio.sampleRate > kMaxSampleRate || audio.samples.size() % static_cast<std::size_t>(audio.channels) != 0) {
    return at + Text(lang, "nothing valid to write (rate, channels or sample count)", "没有可写入的有效声音");
  }
  SF_INFO info{};
  info.samplerate = audio.sampleRate;
  info.channels = audio.channels;
  const int subtype = format == SampleFormat::Pcm16   ? SF_FORMAT_PCM_16
                      : format == SampleFormat::Pcm24 ? SF_FORMAT_PCM_24
                                                      : SF_FORMAT_FLOAT;
  const int bytesPerSample = format == SampleFormat::Pcm16 ? 2 : format == SampleFormat::Pcm24 ? 3 : 4;
  const bool large = audio.samples.size() * static_cast<std::size_t>(bytesPerSample) > 0xFFFF0000u;
  info.format = (large ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | subtype;
  MemoryFile file;
  SF_VIRTUAL_IO io = MemoryIo();
  {
    std::unique_ptr<SNDFILE, SndFileCloser> sf(sf_open_virtual(&io, SFM_WRITE, &info, &file));
    if (!sf) return at + Text(lang, "cannot encode the sound (", "无法编码声音（") + sf_strerror(nullptr) + ")";
    if (format != SampleFormat::Float32) sf_command(sf.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const auto frames = static_cast<sf_count_t>(audio.Frames());
    if (sf_writef_float(sf.get(), audio.samples.data(), frames) != frames) {
      return at + Text(lang, "cannot encode the sound (", "无法编码声音（") + sf_strerror(sf.get()) + ")";
    }
  }
  if (!WriteFileReplacing(path, file.bytes)) return at + Text(lang, "cannot write the file", "无法写入文件");
  return std::nullopt;
}

std::vector<float> ChannelOf(const Audio& audio, int channel) {
  std::vector<float> out;
  if (channel < 0 || channel >= audio.channels) return out;
  const std::size_t frames = audio.Frames();
  out.resize(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    out[i] = audio.samples[i * static_cast<std::size_t>(audio.channels) + static_cast<std::size_t>(channel)];
  }
  return out;
}

Audio MonoAudio(int sampleRate, std::vector<float> samples) {
  Audio a;
  a.sampleRate = sampleRate;
  a.channels = 1;
  a.samples = std::move(samples);
  return a;
}

}  // namespace zelto::acoustics
