#include "ctl/edits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "ctl/report_tree.h"
#include "ctl/texts.h"
#include "ctl/values.h"
#include "curves/filter.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "edit/system_settings.h"

namespace zelto::ctl {

namespace {

using values::Lower;
using values::Quantity;
using values::ReadQuantity;
using values::ReadSwitch;
using values::TruncateTyped;

constexpr std::string_view kChannelPrefix = "ch";
constexpr std::string_view kBandPrefix = "band";
constexpr int kLastBand = out::kBands;

// The editor's ranges for the values `set` takes.
constexpr double kMinGainDb = -60.0;  // the strip gain and the master volume, shown as value - 60
constexpr double kMaxGainDb = 0.0;
constexpr double kMinBandGainDb = -20.0;
constexpr double kMaxBandGainDb = 20.0;
constexpr double kMinOctaves = 0.09;
constexpr double kMaxOctaves = 3.0;
constexpr double kRangeSlack = 1e-9;
constexpr int kPhaseInvertedDegrees = 180;
constexpr double kHzPerKhz = 1000.0;

struct Context {
  Language lang;
  std::string key;
  std::string value;
  std::string* error;

  /// Sets the error: `text` filled with the key and then `more`.
  std::nullopt_t Fail(Text text, std::initializer_list<std::string_view> more = {}) const {
    std::vector<std::string_view> args{key};
    args.insert(args.end(), more.begin(), more.end());
    *error = Fill(TextOf(text, lang), args);
    return std::nullopt;
  }
  std::nullopt_t BadValue() const { return Fail(Text::BadValue, {value}); }
  std::nullopt_t OutOfRange(std::string_view range) const { return Fail(Text::OutOfRange, {value, range}); }
};

std::optional<int> NumberAfter(std::string_view token, std::string_view prefix, int first, int last) {
  if (!token.starts_with(prefix)) return std::nullopt;
  const auto digits = token.substr(prefix.size());
  if (digits.empty() || digits.size() > 2) return std::nullopt;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < first || n > last) return std::nullopt;
  return n;
}

std::vector<std::string> SplitKey(std::string_view key) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto dot = key.find('.', start);
    parts.emplace_back(key.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts;
}

bool InRange(double v, double lo, double hi) { return v >= lo - kRangeSlack && v <= hi + kRangeSlack; }

// ---- value readers ----------------------------------------------------------------------------

/// A gain in whole-dB steps as the strip boxes and the master volume box read it: -60..0 dB,
/// "off" for -60, the typed decimal truncated; the value 0..60.
std::optional<int> ReadGainValue(const Context& c) {
  double db = kMinGainDb;
  if (Lower(c.value) != "off") {
    auto q = ReadQuantity(c.value);
    if (!q || !(q->unit.empty() || q->unit == "db")) return c.BadValue();
    db = q->value;
  }
  if (!InRange(db, kMinGainDb, kMaxGainDb)) return c.OutOfRange("-60..0dB");
  return TruncateTyped(db + kOutputGainOffsetDb);
}

std::optional<int> ReadFrequency(const Context& c, std::string_view text) {
  auto q = ReadQuantity(text);
  if (!q) return c.BadValue();
  double hz = q->value;
  if (q->unit == "khz")
    hz *= kHzPerKhz;
  else if (!(q->unit.empty() || q->unit == "hz"))
    return c.BadValue();
  if (!InRange(hz, kFilterMinHz, kFilterMaxHz)) return c.OutOfRange("20..20000Hz");
  return TruncateTyped(hz);
}

std::optional<int> ReadDelay(const Context& c) {
  auto q = ReadQuantity(c.value);
  if (!q) return c.BadValue();
  if (q->value < 0) return c.OutOfRange("0..20ms");
  if (q->unit.empty() || q->unit == "ms") {
    if (q->value > values::kMaxDelayMs + kRangeSlack) return c.OutOfRange("0..20ms");
    return values::DelayFromMs(q->value);
  }
  if (q->unit == "cm") {
    if (q->value > values::MaxDelayCm()) return c.OutOfRange("0.." + FormatFixed(values::MaxDelayCm(), 1) + "cm");
    return values::DelayFromCm(q->value);
  }
  if (q->unit == "in" || q->unit == "inch" || q->unit == "inches") {
    if (q->value > values::MaxDelayInches())
      return c.OutOfRange("0.." + FormatFixed(values::MaxDelayInches(), 1) + "in");
    return values::DelayFromInches(q->value);
  }
  return c.BadValue();
}

std::optional<int> ReadPhase(const Context& c) {
  const std::string v = Lower(c.value);
  if (v == "normal") return 0;
  if (v == "inverted" || v == "invert") return 1;
  auto q = ReadQuantity(c.value);
  if (!q || !(q->unit.empty() || q->unit == "deg" || q->unit == "°")) return c.BadValue();
  if (q->value == 0) return 0;
  if (q->value == kPhaseInvertedDegrees) return 1;
  return c.OutOfRange("0, 180");
}

std::optional<bool> ReadOnOff(const Context& c, std::string_view text) {
  auto v = ReadSwitch(text);
  if (!v) return c.BadValue();
  return v;
}

std::optional<int> ReadFamily(const Context& c) {
  const std::string v = Lower(c.value);
  static constexpr std::array<std::pair<std::string_view, int>, 10> kAliases = {{
      {"lr", crossover_family::kLinkwitzRiley},
      {"linkwitz-riley", crossover_family::kLinkwitzRiley},
      {"linkwitz", crossover_family::kLinkwitzRiley},
      {"bessel", crossover_family::kBessel},
      {"bu", crossover_family::kButterworth},
      {"bw", crossover_family::kButterworth},
      {"butterworth", crossover_family::kButterworth},
      {"0", crossover_family::kLinkwitzRiley},
      {"1", crossover_family::kBessel},
      {"2", crossover_family::kButterworth},
  }};
  for (const auto& [name, family] : kAliases)
    if (v == name) return family;
  for (int family = crossover_family::kLinkwitzRiley; family <= crossover_family::kButterworth; ++family)
    for (Language l : {Language::English, Language::Chinese})
      if (v == Lower(CrossoverFamilyName(family, l))) return family;
  return c.BadValue();
}

/// Slopes by their meaning in the processor's code table (24 gives the code of "24dB/Oct").
std::optional<int> ReadSlope(const Context& c) {
  const std::string v = Lower(c.value);
  if (v == "off" || v == "关闭") return slope_code::kOff;
  auto q = ReadQuantity(c.value);
  if (!q || !(q->unit.empty() || q->unit == "db" || q->unit == "db/oct")) return c.BadValue();
  const std::string wanted = FormatFixed(q->value, 0) + "dB/Oct";
  for (int code = slope_code::k12; code <= slope_code::k48; ++code)
    if (SlopeName(code, false) == wanted && std::fabs(q->value - std::round(q->value)) < kRangeSlack) return code;
  return c.OutOfRange("12, 18, 24, 30, 36, 42, 48, off");
}

std::optional<int> ReadSource(const Context& c) {
  const std::string v = Lower(c.value);
  static constexpr std::array<std::pair<std::string_view, int>, 8> kAliases = {{
      {"high", 0},
      {"highlevel", 0},
      {"high-level", 0},
      {"low", 1},
      {"lowlevel", 1},
      {"bt", 2},
      {"coax", 4},
      {"usb", 5},
  }};
  for (const auto& [name, source] : kAliases)
    if (v == name) return source;
  for (int s = 0; s < rules::kSourceCount; ++s) {
    if (v == std::to_string(s)) return s;
    for (Language l : {Language::English, Language::Chinese})
      if (v == Lower(rules::SourceName(s, l))) return s;
  }
  return c.BadValue();
}

std::optional<int> ReadNoiseGate(const Context& c) {
  const std::string v = Lower(c.value);
  for (int i = 0; i < rules::kNoiseGateCount; ++i)
    for (Language l : {Language::English, Language::Chinese})
      if (v == Lower(rules::NoiseGateName(i, l))) return i;
  if (v == "off") return 0;
  auto q = ReadQuantity(c.value);
  if (q && (q->unit.empty() || q->unit == "db")) {
    const std::string wanted = FormatFixed(q->value, 0) + "dB";
    for (int i = 1; i < rules::kNoiseGateCount; ++i)
      if (rules::NoiseGateName(i, Language::English) == wanted) return i;
  }
  return c.OutOfRange("off, -110, -98, -95, -92, -89, -86, -83, -80dB");
}

// ---- edits ----------------------------------------------------------------------------------

SettingEdit SystemSettingsEdit(const Context& c, std::function<void(Editor&)> apply) {
  SettingEdit e;
  e.key = c.key;
  e.apply = [apply = std::move(apply)](Editor& editor, Language, const NoteFn&) { apply(editor); };
  return e;
}

std::optional<SettingEdit> ChannelEdit(const Context& c, int ch, const std::vector<std::string>& parts);

std::optional<SettingEdit> BandEdit(const Context& c, int ch, int band, std::string_view field) {
  struct Change {
    std::optional<int> hz, bandwidthIndex, gainCode;
    std::optional<bool> off;
  } change;

  auto readGain = [&](std::string_view text) -> bool {
    auto q = ReadQuantity(text);
    if (!q || !(q->unit.empty() || q->unit == "db")) return c.BadValue(), false;
    if (!InRange(q->value, kMinBandGainDb, kMaxBandGainDb)) return c.OutOfRange("-20..+20dB"), false;
    // The band gain box: (dB + 20) × 10, truncated, 0..400.
    change.gainCode = TruncateTyped((q->value + kBandGainOffsetDb) * kBandGainStepsPerDb);
    return true;
  };
  auto readQ = [&](std::string_view text) -> bool {
    auto q = ReadQuantity(text);
    if (!q || !q->unit.empty()) return c.BadValue(), false;
    if (q->value < values::WidestQ() - 5e-4 || q->value > values::NarrowestQ() + 5e-4)
      return c.OutOfRange(FormatFixed(values::WidestQ(), 3) + ".." + FormatFixed(values::NarrowestQ(), 3)), false;
    change.bandwidthIndex = values::NearestBandwidthIndexForQ(q->value);
    return true;
  };
  auto readOctaves = [&](std::string_view text) -> bool {
    auto q = ReadQuantity(text);
    if (!q || !(q->unit.empty() || q->unit == "oct")) return c.BadValue(), false;
    if (!InRange(q->value, kMinOctaves, kMaxOctaves)) return c.OutOfRange("0.09..3.00oct"), false;
    change.bandwidthIndex = BandwidthIndexFromOctaves(q->value);
    return true;
  };
  auto readFrequency = [&](std::string_view text) -> bool {
    auto hz = ReadFrequency(c, text);
    change.hz = hz;
    return hz.has_value();
  };
  auto readSwitch = [&](std::string_view text) -> bool {
    auto on = ReadOnOff(c, text);
    change.off = on;
    return on.has_value();
  };

  if (field == "freq" || field == "hz" || field == "frequency") {
    if (!readFrequency(c.value)) return std::nullopt;
  } else if (field == "gain") {
    if (!readGain(c.value)) return std::nullopt;
  } else if (field == "q") {
    if (!readQ(c.value)) return std::nullopt;
  } else if (field == "bw") {
    if (!readOctaves(c.value)) return std::nullopt;
  } else if (field == "bypass") {
    if (!readSwitch(c.value)) return std::nullopt;
  } else if (field.empty()) {
    // 1000Hz,+3.5dB,q=1.4: each part names its quantity by its unit or its prefix.
    if (values::Trim(c.value).empty()) return c.BadValue();
    std::string_view rest = c.value;
    for (;;) {
      const auto comma = rest.find(',');
      const std::string part(values::Trim(rest.substr(0, comma)));
      const std::string lower = Lower(part);
      bool ok = false;
      if (lower.starts_with("q=")) {
        ok = !change.bandwidthIndex && readQ(std::string_view(part).substr(2));
      } else if (lower.starts_with("bw=")) {
        ok = !change.bandwidthIndex && readOctaves(std::string_view(part).substr(3));
      } else if (lower == "off" || lower == "bypass" || lower == "on") {
        ok = !change.off;
        change.off = lower != "on";
      } else if (auto q = ReadQuantity(part)) {
        if (q->unit == "hz" || q->unit == "khz")
          ok = !change.hz && readFrequency(part);
        else if (q->unit == "db")
          ok = !change.gainCode && readGain(part);
        else if (q->unit == "oct")
          ok = !change.bandwidthIndex && readOctaves(part);
      }
      if (!ok) {
        if (c.error->empty()) c.BadValue();
        return std::nullopt;
      }
      if (comma == std::string_view::npos) break;
      rest = rest.substr(comma + 1);
    }
  } else {
    return c.Fail(Text::UnknownKey);
  }

  SettingEdit e;
  e.key = c.key;
  const bool movesFixedValues = change.hz || change.bandwidthIndex;
  e.check = [ch, movesFixedValues, key = c.key](CKTV_Data& data, Language lang) -> std::optional<std::string> {
    auto lock = data.Lock();
    // In GEQ mode the editor's frequency and Q boxes are disabled.
    if (movesFixedValues && data.Output(ch).EqMode() != 0) return Fill(TextOf(Text::FixedInGeq, lang), {key});
    return std::nullopt;
  };
  e.apply = [ch, band, change](Editor& editor, Language, const NoteFn&) {
    editor.EditBand(ch, band - 1, {change.hz, change.bandwidthIndex, change.gainCode, change.off});
  };
  return e;
}

std::optional<SettingEdit> CrossoverEdit(const Context& c, int ch, bool highPass, std::string_view field) {
  SettingEdit e;
  e.key = c.key;
  if (field.empty()) {
    auto hz = ReadFrequency(c, c.value);
    if (!hz) return std::nullopt;
    e.apply = [ch, highPass, wanted = *hz, key = c.key](Editor& editor, Language lang, const NoteFn& note) {
      // The high-pass never passes the low-pass: the moved one stops at the other.
      const int hz = editor.SetCrossoverFrequency(ch, highPass, wanted, Editor::CrossoverBox::Main);
      if (hz != wanted)
        note(Fill(TextOf(highPass ? Text::LimitedToLowPass : Text::LimitedToHighPass, lang),
                  {key, std::to_string(hz) + "Hz"}));
    };
    return e;
  }
  const bool family = field == "type" || field == "family";
  if (!family && field != "slope") return c.Fail(Text::UnknownKey);
  auto index = family ? ReadFamily(c) : ReadSlope(c);
  if (!index) return std::nullopt;
  e.apply = [ch, highPass, family, index = *index](Editor& editor, Language, const NoteFn&) {
    if (family)
      editor.SetCrossoverFamily(ch, highPass, index);
    else
      editor.SetCrossoverSlope(ch, highPass, index);
  };
  return e;
}

std::optional<SettingEdit> ChannelEdit(const Context& c, int ch, const std::vector<std::string>& parts) {
  const std::string& item = parts[1];
  const std::string field = parts.size() > 2 ? parts[2] : std::string{};
  if (parts.size() > 3) return c.Fail(Text::UnknownKey);
  if (auto band = NumberAfter(item, kBandPrefix, 1, kLastBand)) return BandEdit(c, ch, *band, field);
  if (item == "hp" || item == "lp") return CrossoverEdit(c, ch, item == "hp", field);
  if (!field.empty()) return c.Fail(Text::UnknownKey);

  SettingEdit e;
  e.key = c.key;
  if (item == "gain") {
    auto g = ReadGainValue(c);
    if (!g) return std::nullopt;
    e.apply = [ch, g = *g](Editor& editor, Language, const NoteFn&) { editor.SetGain(ch, g); };
  } else if (item == "mute") {
    auto mute = ReadOnOff(c, c.value);
    if (!mute) return std::nullopt;
    e.apply = [ch, soundOn = !*mute](Editor& editor, Language, const NoteFn&) { editor.SetSoundOn(ch, soundOn); };
  } else if (item == "phase") {
    auto phase = ReadPhase(c);
    if (!phase) return std::nullopt;
    e.apply = [ch, phase = *phase](Editor& editor, Language, const NoteFn&) { editor.SetPhase(ch, phase); };
  } else if (item == "delay") {
    auto delay = ReadDelay(c);
    if (!delay) return std::nullopt;
    e.apply = [ch, delay = *delay](Editor& editor, Language, const NoteFn&) { editor.SetDelay(ch, delay); };
  } else if (item == "name") {
    if (c.value.size() >= kNameFieldSize) {
      *c.error = c.key + ": " + std::string(NameLengthError(c.lang));
      return std::nullopt;
    }
    e.apply = [ch, name = c.value](Editor& editor, Language, const NoteFn&) { editor.SetChannelName(ch, name); };
  } else {
    return c.Fail(Text::UnknownKey);
  }
  return e;
}

}  // namespace

std::optional<SettingEdit> ParseSetting(std::string_view argument, Language lang, std::string* error) {
  std::string scratch;
  if (!error) error = &scratch;
  error->clear();
  const auto eq = argument.find('=');
  Context c{lang, {}, {}, error};
  if (eq == std::string_view::npos || eq == 0) {
    *error = Fill(TextOf(Text::BadSetting, lang), {argument});
    return std::nullopt;
  }
  c.key = Lower(argument.substr(0, eq));
  c.value = std::string(values::Trim(argument.substr(eq + 1)));
  const auto parts = SplitKey(c.key);

  if (auto ch = NumberAfter(parts[0], kChannelPrefix, 1, kOutputChannels)) {
    if (parts.size() < 2) return c.Fail(Text::UnknownKey);
    return ChannelEdit(c, *ch - 1, parts);
  }
  if (c.key == "master.volume") {
    auto v = ReadGainValue(c);
    if (!v) return std::nullopt;
    return SystemSettingsEdit(c, [v = *v](Editor& editor) { editor.SetMasterVolume(v); });
  }
  if (c.key == "master.mute") {
    auto mute = ReadOnOff(c, c.value);
    if (!mute) return std::nullopt;
    return SystemSettingsEdit(c, [soundOn = !*mute](Editor& editor) { editor.SetMasterSoundOn(soundOn); });
  }
  if (c.key == "dsp") {
    auto on = ReadOnOff(c, c.value);
    if (!on) return std::nullopt;
    return SystemSettingsEdit(c, [on = *on](Editor& editor) { editor.SetDspSwitch(on); });
  }
  if (c.key == "source") {
    auto s = ReadSource(c);
    if (!s) return std::nullopt;
    return SystemSettingsEdit(c, [s = *s](Editor& editor) { editor.SetSource(s); });
  }
  if (c.key == "noisegate" || c.key == "noise_gate") {
    auto g = ReadNoiseGate(c);
    if (!g) return std::nullopt;
    return SystemSettingsEdit(c, [g = *g](Editor& editor) { editor.SetNoiseGate(g); });
  }
  return c.Fail(Text::UnknownKey);
}

std::string_view SettingKeysHelp() {
  return "Keys (channels ch1..ch8, bands band1..band31):\n"
         "  chN.gain=-6            gain in dB, -60..0\n"
         "  chN.mute=on|off        channel mute\n"
         "  chN.phase=0|180        channel phase\n"
         "  chN.delay=1.5ms        delay as time (ms), or distance (cm, in)\n"
         "  chN.name=TEXT          channel name, up to 7 bytes\n"
         "  chN.hp=80Hz            high-pass frequency, 20..20000 Hz (chN.lp: low-pass)\n"
         "  chN.hp.type=lr         lr, bessel or butterworth\n"
         "  chN.hp.slope=24        12, 18, 24, 30, 36, 42, 48 dB/Oct or off\n"
         "  chN.bandK=1000Hz,+3.5dB,q=1.4\n"
         "                         any of frequency, gain (-20..+20 dB), q=Q or bw=OCTAVES, on|off\n"
         "  chN.bandK.freq=1000    also .gain, .q, .bw and .bypass=on|off\n"
         "  master.volume=-20      master volume in dB, -60..0\n"
         "  master.mute=on|off     master mute\n"
         "  source=bluetooth       high, rca, bluetooth, optical, coaxial, player (or 0..5)\n"
         "  dsp=on|off             DSP switch\n"
         "  noisegate=off|-110dB   noise gate: off, -110, -98, -95, -92, -89, -86, -83, -80 dB\n";
}

}  // namespace zelto::ctl
