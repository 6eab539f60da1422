#pragma once
// The live RTA through the processor: periodic pink noise on the chosen output channels, routed
// and restored exactly as a sweep measurement is (same safety rule, same record on disk), and the
// microphone's spectrum in fractional-octave bands as it comes in. The front end polls it about
// ten times a second; Stop silences the stream at once and then puts the routing back.
//
// Threads: Start, Poll, SetLevel and Stop run on the front end's thread; the stream's callback
// runs on the audio thread and shares with them only atomics and a ring it alone writes.

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "acoustics/audio/audio_device.h"
#include "acoustics/calibration.h"
#include "acoustics/measurement_routing.h"
#include "acoustics/measurement_run.h"
#include "acoustics/response.h"
#include "acoustics/rta.h"
#include "core/encodings.h"

namespace zelto {
class Editor;
}

namespace zelto::acoustics {

/// The noise's RMS level starts here, as a sweep's level check does.
inline constexpr double kRtaStartLevelDbfs = kStartLevelDbfs;
/// Pink noise at full scale peaks about 12 dB above its RMS: above this it would clip.
inline constexpr double kRtaMaxLevelDbfs = -12;
inline constexpr double kRtaMinLevelDbfs = -60;

struct RtaPlan {
  /// Output channels, 0-based, that play the noise together.
  std::vector<int> channels;
  int inputSource = 0;
  int outputDevice = 0;
  int outputChannel = 0;
  int inputDevice = 0;
  int inputChannel = 0;
  int sampleRate = audio::kDefaultSampleRate;
  int bandsPerOctave = 3;  // 3 or 6
  RtaOptions::Averaging averaging = RtaOptions::Averaging::Count;
  int averages = 8;
  double levelDbfs = kRtaStartLevelDbfs;  // RMS of the noise
  std::array<bool, kOutputChannels> markedFullRange{};
  std::optional<MicCalibration> calibration;
};

struct RtaReading {
  Response bands;  // calibrated; empty until a whole period was heard
  float inputPeak = 0;
  int updatesAveraged = 0;
};

class RtaRun {
 public:
  RtaRun(Editor& editor, audio::AudioSystem& audio, MeasurementGuard& guard, Language lang = Language::English);
  ~RtaRun();
  RtaRun(const RtaRun&) = delete;
  RtaRun& operator=(const RtaRun&) = delete;

  /// Checks the channels' safety, records and changes the routing, waits until the processor has
  /// it (host.Settle) and starts the noise. False, with the reason and nothing left changed,
  /// when any of that fails.
  bool Start(const RtaPlan& plan, MeasurementHost& host, std::string* error);
  bool Running() const { return stream_ != nullptr; }
  /// Takes what the microphone delivered since the last call into the analyser and updates it.
  RtaReading Poll();
  /// The noise's RMS level, within kRtaMinLevelDbfs..kRtaMaxLevelDbfs; takes effect at the next
  /// block. The average starts again, since it would mix both levels.
  void SetLevel(double dbfs);
  void ResetAverage();
  /// Silences and drops the stream at once, then puts back every setting the start changed.
  /// True when the processor has them back (else the guard keeps its record for the next start).
  bool Stop(MeasurementHost& host);

  class Callback;

 private:
  void StopSound();

  Editor& editor_;
  audio::AudioSystem& audio_;
  MeasurementGuard& guard_;
  Language lang_;
  std::optional<RoutingSnapshot> before_;
  std::unique_ptr<Callback> callback_;
  std::unique_ptr<audio::Stream> stream_;
  std::unique_ptr<Rta> rta_;
  std::optional<MicCalibration> calibration_;
  double noiseRms_ = 0;
  std::vector<float> chunk_;
};

}  // namespace zelto::acoustics
