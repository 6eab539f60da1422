#pragma once
// Sound cards and microphones behind one interface: list the devices the audio system offers,
// open a stream that plays on one device and records from another block by block, and on top of
// that play whole buffers while recording (the sweep of a measurement). The backend is RtAudio
// where it was found when building; elsewhere MakeAudioSystem says why there is none.
//
// Threads: an AudioSystem and its streams are used from one thread; a stream's callback runs on
// the audio system's own thread and must not block.

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/encodings.h"

namespace zelto::audio {

/// The sample rates a measurement runs at.
inline constexpr std::array<int, 3> kSampleRates = {44100, 48000, 96000};
inline constexpr int kDefaultSampleRate = 48000;
inline constexpr int kDefaultBlockFrames = 256;

struct DeviceInfo {
  /// The device's number in the list, from 1; what a DEV argument may give.
  int number = 0;
  /// As the audio system names it.
  std::string name;
  int inputs = 0;
  int outputs = 0;
  std::vector<int> sampleRates;
  bool defaultInput = false;
  bool defaultOutput = false;
};

enum class Direction { Input, Output };

/// A DEV argument resolved against the device list.
struct DeviceChoice {
  std::optional<DeviceInfo> device;
  /// Why nothing was chosen (empty when a device was).
  std::string error;
};
/// `text` is the device's number, its whole name, or a part of its name (any case) that only one
/// device with channels in `direction` has.
DeviceChoice FindDevice(std::span<const DeviceInfo> devices, std::string_view text, Direction direction,
                        Language lang = Language::English);

/// Which channels of which devices a stream opens. Channels are counted from 0 on each device;
/// a stream opens the first `outputChannels` / `inputChannels` of its devices.
struct StreamSpec {
  int outputDevice = 0;  // a device number; 0: no output
  int outputChannels = 0;
  int inputDevice = 0;  // 0: no input
  int inputChannels = 0;
  int sampleRate = kDefaultSampleRate;
  int blockFrames = kDefaultBlockFrames;
};

/// Called on the audio thread once per block. `input` holds request.inputChannels × frames samples,
/// `output` request.outputChannels × frames, both interleaved; `output` arrives zeroed.
class StreamCallback {
 public:
  virtual ~StreamCallback() = default;
  virtual void Process(std::span<const float> input, std::span<float> output, std::size_t frames) = 0;
};

class Stream {
 public:
  virtual ~Stream() = default;
  /// Stops at once: what the device still holds is dropped, not played out.
  virtual void Stop() = 0;
  virtual bool Running() const = 0;
  /// The rate the stream actually runs at.
  virtual int SampleRate() const = 0;
  /// The latency the audio system reports for the stream (frames); only a hint, which is why a
  /// measurement times itself against a reference.
  virtual long LatencyFrames() const = 0;
  /// Blocks the device dropped or could not fill in time since the stream started.
  virtual int Glitches() const = 0;
};

class AudioSystem {
 public:
  virtual ~AudioSystem() = default;
  /// The audio system's name ("pulse", "alsa", "jack").
  virtual std::string Name() const = 0;
  virtual std::vector<DeviceInfo> Devices() = 0;
  /// Opens and starts a stream; nothing (and `error` set) when the devices, channels or rate
  /// cannot be had. `callback` must outlive the stream.
  virtual std::unique_ptr<Stream> Open(const StreamSpec& request, StreamCallback& callback, std::string* error) = 0;
};

/// The system's audio, or nothing with the reason in `error` (an engine built without an audio
/// library, no audio server). `api` chooses the backend ("pulse", "alsa", "jack"); empty: the
/// first that has devices, or $ZELTO_AUDIO_API.
std::unique_ptr<AudioSystem> MakeAudioSystem(std::string* error, const std::string& api = {});
/// Whether this build has an audio backend at all.
bool AudioBuilt();

// ---- playing a signal while recording -----------------------------------------------------------

/// A flag another thread sets to stop a running measurement.
class CancelFlag {
 public:
  void Cancel() { cancelled_.store(true); }
  void Reset() { cancelled_.store(false); }
  bool Cancelled() const { return cancelled_.load(); }

 private:
  std::atomic<bool> cancelled_{false};
};

/// The samples played on one output channel.
struct OutputSignal {
  int channel = 0;
  std::vector<float> samples;
};

struct PlayRecordSpec {
  int outputDevice = 0;
  /// Channels not named here play silence.
  std::vector<OutputSignal> outputs;
  int inputDevice = 0;
  std::vector<int> inputChannels;
  int sampleRate = kDefaultSampleRate;
  int blockFrames = kDefaultBlockFrames;
  /// Silence recorded before the signals start, so the device's start-up never eats into them.
  double leadSeconds = 0.1;
  /// Recording after the longest signal ends: the room's decay and the system's latency.
  double tailSeconds = 0.5;
};

/// Each element of `channels` is one recorded input channel, in the order asked for. The signals
/// started `leadFrames` into the recording as the stream sees it (the device latency comes on top).
struct Recording {
  std::vector<std::vector<float>> channels;
  int sampleRate = 0;
  std::size_t leadFrames = 0;
  bool cancelled = false;
  int glitches = 0;
  /// Empty when it was recorded.
  std::string error;
  bool Ok() const { return error.empty() && !cancelled; }
};

/// While playing: the share done (0..1) and the loudest input sample of the last block (0..1).
using PlayProgress = std::function<void(double done, float inputPeak)>;

/// How often a running play-and-record looks at its cancel flag and reports progress; a cancel is
/// heard within this plus one block.
inline constexpr int kPollMilliseconds = 10;

/// Plays the signals while recording the input channels, from before they start until after they
/// end. A cancel silences the output at the next block and stops the stream.
Recording PlayAndRecord(AudioSystem& system, const PlayRecordSpec& request, const CancelFlag& cancel,
                        const PlayProgress& progress = {});

}  // namespace zelto::audio
