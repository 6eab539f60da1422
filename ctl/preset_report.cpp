#include "ctl/preset_report.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "core/channel_label.h"
#include "core/bytes.h"
#include "ctl/text_safety.h"
#include "ctl/texts.h"
#include "ctl/values.h"
#include "curves/filter.h"
#include "edit/system_settings.h"
#include "core/file_io.h"
#include "presets/preset_name.h"
#include "presets/preset_texts.h"

namespace zelto::ctl {

namespace {

constexpr int kPhaseInvertedDegrees = 180;
constexpr std::size_t kGroupLevelSize = sizeof(std::int16_t);
constexpr int kDeviceSlotNames = 6;

constexpr std::array<std::string_view, 3> kFamilyTokens = {"lr", "bessel", "butterworth"};

std::string FamilyToken(int family) {
  if (family >= 0 && family < static_cast<int>(kFamilyTokens.size()))
    return std::string(kFamilyTokens[static_cast<std::size_t>(family)]);
  return std::to_string(family);
}

std::string SlopeToken(int code) {
  const auto name = SlopeName(code, false);
  return name.empty() ? std::to_string(code) : std::string(name);
}

std::string BandTypeToken(int type, bool graphicEq) {
  switch (type) {
    case filter_type::kPeaking: return graphicEq ? "geq" : "peq";
    case filter_type::kLowShelf: return "lo_shelf";
    case filter_type::kHighShelf: return "hi_shelf";
    case filter_type::kHighPass: return "hp";
    case filter_type::kLowPass: return "lp";
    default: return std::to_string(type);
  }
}

std::string SourceToken(int source) {
  const auto name = rules::SourceName(source, Language::English);
  return name.empty() ? std::to_string(source) : values::Lower(name);
}

std::string GateToken(int gate) {
  const auto name = rules::NoiseGateName(gate, Language::English);
  return name.empty() ? std::to_string(gate) : values::Lower(name);
}

double BandGainDb(const CFilter& f) { return BandGainDbFromEditCode(f.gainCode()); }

std::string ChannelKey(int ch) { return "ch" + std::to_string(ch + 1); }

// ---- the tree ---------------------------------------------------------------------------------

Node CrossoverNode(const CFilter& f) {
  Node n = Node::Object();
  n.Add("freq", Node::Integer(f.frequency(), "Hz"));
  n.Add("type", Node::Text(FamilyToken(f.crossoverType())));
  n.Add("slope", Node::Text(SlopeToken(f.slope())));
  return n;
}

Node BandNode(const CFilter& f) {
  Node n = Node::Object();
  n.Add("freq", Node::Integer(f.frequency(), "Hz"));
  n.Add("gain", Node::Number(BandGainDb(f), 1, "dB"));
  n.Add("q", Node::Number(f.Q(), 3));
  n.Add("bw", Node::Number(f.bandwidth(), 2, "oct"));
  n.Add("type", Node::Text(BandTypeToken(f.type(), f.graphicEq())));
  if (f.type() == filter_type::kLowShelf || f.type() == filter_type::kHighShelf)
    n.Add("slope", Node::Text(std::string(ShelfSlopeName(f.slope()))));
  return n;
}

Node ChannelNode(const CKTV_OutData& o) {
  Node n = Node::Object();
  n.Add("name", Node::Text(o.Name()));
  n.Add("mute", Node::Flag(!o.OutputSwitch()));
  n.Add("phase", Node::Integer(o.Phase() != 0 ? kPhaseInvertedDegrees : 0, "°"));
  n.Add("gain", Node::Integer(OutputGainDbFromCode(o.GainCode()), "dB"));
  n.Add("delay", Node::Number(DelayMsFromCode(o.Delay()), 3, "ms"));
  n.Add("level", Node::Number(OutputLevelDbFromValue(o.Level()), 1, "dB"));
  n.Add("eq_mode", Node::Text(o.EqMode() != 0 ? "geq" : "peq"));
  n.Add("hp", CrossoverNode(o.Eq().HighPass()));
  n.Add("lp", CrossoverNode(o.Eq().LowPass()));
  Node limiter = Node::Object();
  limiter.Add("threshold", Node::Number(LimiterThresholdDbuFromCode(o.LimiterThreshold()), 1, "dBu"));
  limiter.Add("attack", Node::Number(LimiterAttackMsFromCode(o.LimiterAttack()), 1, "ms"));
  limiter.Add("release", Node::Text(std::string(LimiterReleaseName(o.LimiterRelease()))));
  n.Add("limiter", std::move(limiter));
  Node mix = Node::Array();
  for (std::uint8_t share : o.InputMix()) mix.Push(Node::Integer(share, "%"));
  n.Add("mix", std::move(mix));
  for (int k = 0; k < o.Eq().BandCount(); ++k) n.Add("band" + std::to_string(k + 1), BandNode(o.Eq().Filter(k)));
  return n;
}

Node InputNode(const CInputData& in) {
  Node n = Node::Object();
  n.Add("name", Node::Text(in.Name()));
  n.Add("on", Node::Flag(in.InputSwitch() != 0));
  n.Add("phase", Node::Integer(in.Phase() != 0 ? kPhaseInvertedDegrees : 0, "°"));
  n.Add("gain", Node::Integer(InputGainDbFromValue(in.Gain()), "dB"));
  n.Add("delay", Node::Number(DelayMsFromCode(in.Delay()), 3, "ms"));
  n.Add("level", Node::Number(InputLevelDbuFromValue(in.Level()), 1, "dBu"));
  return n;
}

Node EffectNode(const CEffect_Data& fx) {
  Node n = Node::Object();
  n.Add("name", Node::Text(fx.Name()));
  const std::pair<const char*, int> params[] = {
      {"balance", fx.balance}, {"delay_time", fx.delayTime},   {"param_b", fx.paramB},     {"param_c", fx.paramC},
      {"param_d", fx.paramD},  {"reverb_time", fx.reverbTime}, {"param_f", fx.paramF},     {"param_g", fx.paramG},
      {"param_h", fx.paramH},  {"param_i", fx.paramI},         {"pre_delay", fx.preDelay},
  };
  for (const auto& [key, value] : params) n.Add(key, Node::Integer(value));
  return n;
}

Node PresetNode(const PresetFileContents& file, int slot) {
  PresetObjects objects(file, slot);
  CKTV_Data& d = objects.Data();
  auto lock = d.Lock();
  Node n = Node::Object();
  n.Add("name", Node::Text(NameFromField(file.image->Preset(slot))));
  for (int ch = 0; ch < kOutputChannels; ++ch) n.Add(ChannelKey(ch), ChannelNode(d.Output(ch)));
  n.Add("music", InputNode(d.Music()));
  n.Add("mic", InputNode(d.Mic()));
  n.Add("effect", EffectNode(d.Effect()));
  return n;
}

Node SystemNode(const DeviceImage& image) {
  const auto settings = image.SystemSettings();
  Node n = Node::Object();
  n.Add("source", Node::Text(SourceToken(image.InputSource())));
  Node master = Node::Object();
  master.Add("volume", Node::Integer(OutputGainDbFromCode(image.MasterVolume()), "dB"));
  master.Add("mute", Node::Flag(image.MasterSwitch() == 0));
  n.Add("master", std::move(master));
  n.Add("noisegate", Node::Text(GateToken(settings[sys::kNoiseGate])));
  n.Add("dsp", Node::Flag(settings[sys::kDspSwitch] != 0));
  Node types = Node::Object();
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const int code = image.ChannelTypes()[static_cast<std::size_t>(ch)];
    Node t = Node::Object();
    t.Add("code", Node::Integer(code));
    t.Add("name", Node::Text(ChannelTypeName(code)));
    types.Add(ChannelKey(ch), std::move(t));
  }
  n.Add("channel_types", std::move(types));
  Node levels = Node::Array();
  for (std::size_t at = 0; at < image.GroupLevels().size(); at += kGroupLevelSize)
    levels.Push(Node::Integer(GetS16(image.GroupLevels(), at)));
  n.Add("group_levels", std::move(levels));
  return n;
}

Node SlotNamesNode(const DeviceImage& image) {
  Node n = Node::Object();
  for (int slot = kFirstPresetSlot; slot <= kDeviceSlotNames; ++slot)
    n.Add("slot" + std::to_string(slot), Node::Text(NameFromField(image.Preset(slot))));
  return n;
}

std::string FormatName(PresetFileKind kind) { return kind == PresetFileKind::Single ? "dsps" : "dspa"; }

// ---- the table --------------------------------------------------------------------------------

std::string Row(std::initializer_list<std::pair<std::string, std::size_t>> cells) {
  std::string line;
  for (const auto& [text, width] : cells) {
    line += PadToWidth(text, width);
    line += ' ';
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

std::string OnOff(bool on, Language lang) { return std::string(TextOf(on ? Text::On : Text::Off, lang)); }

std::string CrossoverText(const CFilter& f, Language lang) {
  return f.FrequencyText() + " " + std::string(CrossoverFamilyName(f.crossoverType(), lang)) + " " +
         SlopeToken(f.slope());
}

std::string Label(Text text, Language lang) { return std::string(TextOf(text, lang)); }

void PrintSystem(const DeviceImage& image, Language lang, std::ostream& out) {
  const auto settings = image.SystemSettings();
  out << Label(Text::System, lang) << '\n';
  out << "  " << Label(Text::InputSource, lang) << ": " << rules::SourceName(rules::ShownSource(image), lang) << "   "
      << Label(Text::MasterVolume, lang) << ": " << (OutputGainDbFromCode(image.MasterVolume())) << "dB   "
      << Label(Text::MasterSound, lang) << ": "
      << Label(image.MasterSwitch() != 0 ? Text::SoundOn : Text::SoundMuted, lang) << "   "
      << Label(Text::NoiseGate, lang) << ": " << rules::NoiseGateName(settings[sys::kNoiseGate], lang) << "   "
      << Label(Text::DspSwitch, lang) << ": " << OnOff(settings[sys::kDspSwitch] != 0, lang) << '\n';
  out << "  " << Label(Text::ChannelTypes, lang) << ':';
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const int code = image.ChannelTypes()[static_cast<std::size_t>(ch)];
    out << "  CH" << ch + 1 << ' ' << code << ' ' << ChannelTypeName(code);
  }
  out << '\n';
  out << "  " << Label(Text::GroupLevels, lang) << ':';
  for (std::size_t at = 0; at < image.GroupLevels().size(); at += kGroupLevelSize)
    out << ' ' << GetS16(image.GroupLevels(), at);
  out << '\n';
  out << "  " << Label(Text::PresetSlots, lang) << ':';
  for (int slot = kFirstPresetSlot; slot <= kDeviceSlotNames; ++slot) {
    const std::string name = NameFromField(image.Preset(slot));
    out << "  " << slot << ' ' << (name.empty() ? Label(Text::EmptyName, lang) : PrintableText(name));
  }
  out << "\n\n";
}

void PrintChannels(CKTV_Data& d, Language lang, std::ostream& out) {
  constexpr std::size_t kCh = 4, kName = 8, kSmall = 6, kGain = 7, kDelay = 12, kLevel = 8, kEq = 8, kCross = 26;
  out << Row({{Label(Text::Channel, lang), kCh},
              {Label(Text::Name, lang), kName},
              {Label(Text::Mute, lang), kSmall},
              {Label(Text::Phase, lang), kSmall},
              {Label(Text::Gain, lang), kGain},
              {Label(Text::Delay, lang), kDelay},
              {Label(Text::Level, lang), kLevel},
              {Label(Text::EqMode, lang), kEq},
              {Label(Text::HighPass, lang), kCross},
              {Label(Text::LowPass, lang), kCross},
              {Label(Text::Limiter, lang), 0}})
      << '\n';
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    const CKTV_OutData& o = d.Output(ch);
    out << Row({{ChannelLabel(ch), kCh},
                {o.Name(), kName},
                {OnOff(!o.OutputSwitch(), lang), kSmall},
                {o.Phase() != 0 ? "180°" : "0°", kSmall},
                {std::to_string(OutputGainDbFromCode(o.GainCode())) + "dB", kGain},
                {FormatDelayMs(o.Delay(), lang), kDelay},
                {FormatOutputLevel(o.Level()), kLevel},
                {std::string(FilterTypeName(filter_type::kPeaking, o.EqMode() != 0, lang)), kEq},
                {CrossoverText(o.Eq().HighPass(), lang), kCross},
                {CrossoverText(o.Eq().LowPass(), lang), kCross},
                {FormatLimiterThreshold(o.LimiterThreshold()) + " " + FormatLimiterAttack(o.LimiterAttack()) + " " +
                     std::string(LimiterReleaseName(o.LimiterRelease())),
                 0}})
        << '\n';
  }
  out << '\n' << Label(Text::Mix, lang) << '\n';
  for (int ch = 0; ch < kOutputChannels; ++ch) {
    std::string line = PadToWidth(ChannelLabel(ch), kCh);
    for (std::uint8_t share : d.Output(ch).InputMix()) line += ' ' + PadToWidth(std::to_string(share), 3);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << '\n';
  }
}

void PrintBands(const CKTV_OutData& o, int ch, Language lang, std::ostream& out) {
  constexpr std::size_t kBand = 5, kFreq = 9, kGain = 8, kQ = 8;
  const CKTVEQ& eq = o.Eq();
  out << "\nCH" << ch + 1 << ' ' << Label(Text::EqMode, lang) << " ("
      << FilterTypeName(filter_type::kPeaking, o.EqMode() != 0, lang) << ")\n";
  out << "  "
      << Row({{Label(Text::Band, lang), kBand},
              {Label(Text::Frequency, lang), kFreq},
              {Label(Text::Gain, lang), kGain},
              {"Q", kQ},
              {Label(Text::Type, lang), 0}})
      << '\n';
  for (int k = 0; k < eq.BandCount(); ++k) {
    const CFilter& f = eq.Filter(k);
    std::string type(FilterTypeName(f.type(), f.graphicEq(), lang));
    if (f.type() == filter_type::kLowShelf || f.type() == filter_type::kHighShelf)
      type += " " + std::string(ShelfSlopeName(f.slope()));
    out << "  "
        << Row({{std::to_string(k + 1), kBand},
                {f.FrequencyText(), kFreq},
                {FormatFixed(BandGainDb(f), 1) + "dB", kGain},
                {f.QText(), kQ},
                {type, 0}})
        << '\n';
  }
}

void PrintInputs(CKTV_Data& d, Language lang, std::ostream& out) {
  out << '\n' << Label(Text::Inputs, lang) << '\n';
  const std::pair<std::string_view, const CInputData*> inputs[] = {{"music", &d.Music()}, {"mic", &d.Mic()}};
  for (const auto& [key, in] : inputs) {
    out << "  " << PadToWidth(key, 6) << PadToWidth(in->Name(), 8) << ' ' << OnOff(in->InputSwitch() != 0, lang) << "  "
        << (in->Phase() != 0 ? "180°" : "0°") << "  " << FormatInputGain(InputGainDbFromValue(in->Gain())) << "  "
        << FormatDelayMs(in->Delay(), lang) << "  " << FormatInputLevel(in->Level()) << '\n';
  }
  out << "  " << PadToWidth("effect", 6) << PrintableText(d.Effect().Name()) << '\n';
}

// ---- diff -------------------------------------------------------------------------------------

Node DiffTree(const PresetFileContents& file, bool wholeFile) {
  Node n = Node::Object();
  if (wholeFile && file.kind == PresetFileKind::AllSlots) n.Add("system", SystemNode(*file.image));
  n.Add("live", PresetNode(file, 0));
  if (wholeFile && file.kind == PresetFileKind::AllSlots)
    for (int slot = kFirstPresetSlot; slot <= kLastPresetSlot; ++slot)
      n.Add("slot" + std::to_string(slot), PresetNode(file, slot));
  return n;
}

}  // namespace

// ---- reading ------------------------------------------------------------------------------------

bool PresetFileContents::HasSlot(int slot) const {
  if (slot == 0) return true;
  return kind == PresetFileKind::AllSlots && slot >= kFirstPresetSlot && slot <= kLastPresetSlot;
}

std::optional<PresetFileContents> ReadPresetFile(const std::string& path, Language lang, std::string* error) {
  const auto kind = PresetFileKindOf(path);
  const PresetMessage message =
      kind == PresetFileKind::AllSlots ? PresetMessage::ReadAllMusicFileError : PresetMessage::FileError;
  auto fail = [&](Text detail, std::initializer_list<std::string_view> more) {
    std::vector<std::string_view> args{path};
    args.insert(args.end(), more.begin(), more.end());
    *error = std::string(PresetMessageText(message, lang)) + "\n" + Fill(TextOf(detail, lang), args);
    return std::nullopt;
  };
  if (!kind) return fail(Text::NotAPresetFile, {});
  const std::size_t size = *kind == PresetFileKind::Single ? preset_file::kSingleSize : preset_file::kAllSlotsSize;
  FileBytes file = ReadWholeFile(path, size);
  switch (file.status) {
    case FileBytes::Status::Ok: break;
    case FileBytes::Status::TooLarge: return fail(Text::FileTooLarge, {std::to_string(size)});
    case FileBytes::Status::CannotOpen:
    case FileBytes::Status::ReadFailed: return fail(Text::CannotOpen, {});
  }
  if (file.bytes.size() != size)
    return fail(Text::FileWrongSize, {std::to_string(file.bytes.size()), std::to_string(size)});
  if (!IsPresetFile(file.bytes, *kind)) return fail(Text::FileWrongIdentification, {preset_file::kIdentification});

  PresetFileContents contents;
  contents.path = path;
  contents.kind = *kind;
  contents.image = std::make_unique<DeviceImage>();
  InitDeviceImage(*contents.image);
  const bool read = *kind == PresetFileKind::Single ? ReadSinglePresetFile(file.bytes, *contents.image)
                                                    : ReadAllSlotsFile(file.bytes, *contents.image);
  if (!read) return fail(Text::FileWrongIdentification, {preset_file::kIdentification});
  contents.bytes = std::move(file.bytes);
  return contents;
}

PresetObjects::PresetObjects(const PresetFileContents& file, int slot)
    : image_(std::make_unique<DeviceImage>(*file.image)) {
  data_ = std::make_unique<CKTV_Data>(*image_, tracking_);
  // What loading the file does to the objects (which also limits the crossovers as it goes).
  data_->UnpackAll(image_->Preset(slot), CKTV_Data::kEffectPartLive);
}

// ---- the commands' views ------------------------------------------------------------------------

Node DescribeFile(const PresetFileContents& file, int slot, bool everySlot) {
  Node n = Node::Object();
  n.Add("file", Node::Text(FileName(file.path)));
  n.Add("format", Node::Text(FormatName(file.kind)));
  if (file.kind == PresetFileKind::AllSlots) {
    n.Add("system", SystemNode(*file.image));
    n.Add("slots", SlotNamesNode(*file.image));
  }
  if (everySlot && file.kind == PresetFileKind::AllSlots) {
    n.Add("live", PresetNode(file, 0));
    for (int s = kFirstPresetSlot; s <= kLastPresetSlot; ++s) n.Add("slot" + std::to_string(s), PresetNode(file, s));
  } else {
    n.Add("slot", Node::Integer(slot));
    n.Add("preset", PresetNode(file, slot));
  }
  return n;
}

void PrintFile(const PresetFileContents& file, int slot, Language lang, std::ostream& out) {
  out << Label(Text::File, lang) << ": " << PrintableText(FileName(file.path)) << " ("
      << Label(file.kind == PresetFileKind::Single ? Text::SinglePreset : Text::AllSlots, lang) << ")\n\n";
  if (file.kind == PresetFileKind::AllSlots) PrintSystem(*file.image, lang, out);
  const std::string name = NameFromField(file.image->Preset(slot));
  out << Label(Text::PresetName, lang) << " ("
      << (slot == 0 ? Label(Text::LivePreset, lang) : Fill(TextOf(Text::StoredSlot, lang), {std::to_string(slot)}))
      << "): " << (name.empty() ? Label(Text::EmptyName, lang) : PrintableText(name)) << "\n\n";

  PresetObjects objects(file, slot);
  CKTV_Data& d = objects.Data();
  auto lock = d.Lock();
  PrintChannels(d, lang, out);
  for (int ch = 0; ch < kOutputChannels; ++ch) PrintBands(d.Output(ch), ch, lang, out);
  PrintInputs(d, lang, out);
}

std::array<double, kGridPoints> ChannelCurveOf(const PresetFileContents& file, int slot, int channel) {
  PresetObjects objects(file, slot);
  CKTV_Data& d = objects.Data();
  // The graph sums the stored responses of every filter of the channel.
  d.Refresh();
  auto lock = d.Lock();
  return d.Output(channel).Eq().Curve().sum();
}

std::vector<std::string> DiffFiles(const PresetFileContents& a, const PresetFileContents& b, Language lang) {
  const bool sameKind = a.kind == b.kind;
  std::vector<std::string> lines;
  if (!sameKind) lines.push_back(std::string(TextOf(Text::LiveOnly, lang)));
  const Node ta = DiffTree(a, sameKind);
  const Node tb = DiffTree(b, sameKind);
  const auto fa = Flatten(ta);
  const auto fb = Flatten(tb);
  std::map<std::string, const Node*> inB(fb.begin(), fb.end());
  std::map<std::string, const Node*> inA(fa.begin(), fa.end());
  std::size_t valueLines = 0;
  for (const auto& [path, node] : fa) {
    auto it = inB.find(path);
    if (it == inB.end()) {
      lines.push_back("- " + path + ": " + node->Display());
      ++valueLines;
    } else if (it->second->Value() != node->Value()) {
      lines.push_back(path + ": " + node->Display() + " -> " + it->second->Display());
      ++valueLines;
    }
  }
  for (const auto& [path, node] : fb) {
    if (inA.count(path) == 0) {
      lines.push_back("+ " + path + ": " + node->Display());
      ++valueLines;
    }
  }
  if (valueLines == 0) {
    // Bytes no value above stands for (effect EQ, delay memory, spare bytes) may still differ.
    std::size_t differing = 0;
    if (sameKind) {
      for (std::size_t i = 0; i < a.bytes.size() && i < b.bytes.size(); ++i) differing += a.bytes[i] != b.bytes[i];
    } else {
      for (std::size_t i = 0; i < preset::kSize; ++i) differing += a.image->live[i] != b.image->live[i];
    }
    if (differing > 0) lines.push_back(Fill(TextOf(Text::OtherBytesDiffer, lang), {std::to_string(differing)}));
  }
  return lines;
}

}  // namespace zelto::ctl
