#pragma once
// The `set` command's KEY=VALUE arguments, read into edits that change the parameter objects and
// the system settings exactly as the editor's controls do: the same setters under the model
// lock, the same link-group spreading, the same limits, the same system-settings write. Nothing
// here builds a frame; the change scan sends what the setters marked.
//
// Keys (channels ch1..ch8, bands band1..band31):
//   chN.gain=-6 (dB, -60..0)           chN.mute=on|off        chN.phase=0|180
//   chN.delay=1.5ms | 52cm | 20in      chN.name=TEXT (up to 7 bytes)
//   chN.hp=80Hz  chN.hp.type=lr|bessel|butterworth  chN.hp.slope=12|18|24|30|36|42|48|off
//   chN.lp=..., chN.lp.type=..., chN.lp.slope=...
//   chN.bandK=1000Hz,+3.5dB,q=1.4 (any of frequency, gain, q=Q or bw=OCTAVES, on|off)
//   chN.bandK.freq=1000  chN.bandK.gain=3.5  chN.bandK.q=1.4  chN.bandK.bw=0.5  chN.bandK.bypass=on|off
//   master.volume=-20 (dB, -60..0)     master.mute=on|off     source=bluetooth (or 0..5)
//   dsp=on|off                         noisegate=off|-110dB|...|-80dB

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/encodings.h"

namespace zelto {
class CKTV_Data;
class Editor;
}  // namespace zelto

namespace zelto::ctl {

/// Receives remarks about an edit the editor's rules changed (a crossover stopped at the other).
using NoteFn = std::function<void(const std::string&)>;

struct SettingEdit {
  /// The key as written in the argument, for messages.
  std::string key;
  /// Run once the processor's state is known, before any edit is applied: a reason the edit
  /// cannot be made now, or nothing. May be empty.
  std::function<std::optional<std::string>(CKTV_Data&, Language)> check;
  /// Changes the objects or the system settings through the edit layer, as the editor's control does.
  std::function<void(Editor&, Language, const NoteFn&)> apply;
};

/// Reads one KEY=VALUE argument. Nothing, with `error` set (in `lang`), when the key is unknown
/// or the value cannot be read or lies outside what the editor accepts.
std::optional<SettingEdit> ParseSetting(std::string_view argument, Language lang, std::string* error);

/// The keys as a help text.
std::string_view SettingKeysHelp();

}  // namespace zelto::ctl
