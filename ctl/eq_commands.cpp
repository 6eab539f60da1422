#include "ctl/eq_commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/channel_label.h"
#include "core/change_tracking.h"
#include "ctl/ctl.h"
#include "ctl/preset_report.h"
#include "ctl/report_tree.h"
#include "ctl/session.h"
#include "ctl/text_safety.h"
#include "ctl/texts.h"
#include "ctl/values.h"
#include "core/notice.h"
#include "core/settings.h"
#include "edit/editor.h"
#include "link/engine.h"
#include "link/hid_transport.h"
#include "link/link_view.h"
#include "measure/eq_actions.h"
#include "model/ktv_data.h"
#include "core/file_io.h"
#include "presets/preset_file.h"

namespace zelto::ctl {

namespace {

using measure::BandSetting;

constexpr int kCurveDecimals = 4;

enum class Word {
  Imported,
  AlsoLinked,
  GraphicMode,
  OutNeedsFile,
  FileNeedsOut,
  OutIsIn,
  OutOtherKind,
  Written,
  WriteFailed,
  AutoEqResult,
  BandsUsed,
  BandLine,
  Unchanged,
  NoOverlap,
  BoostBound,
  CutBound,
  DipsLeft,
  DipLine,
  RangeNarrowed,
  OutsidePassBand,
  LowCut,
  BadRange,
  BadLimit,
};

std::string_view W(Word w, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (w) {
    case Word::Imported:
      return zh ? "%s：%s 个 REW 滤波器用 %s 个频段重现；20 Hz–20 kHz 偏差：均方根 %s dB，最大 %s dB（%s Hz）"
                : "%s: %s REW filter(s) reproduced with %s band(s); deviation 20 Hz-20 kHz: RMS %s dB, largest %s dB "
                  "(at %s Hz)";
    case Word::AlsoLinked: return zh ? "同样写入联调通道 %s" : "also set on the linked channel(s) %s";
    case Word::GraphicMode:
      return zh ? "%s 处于图示均衡模式，频率和 Q 不能改变；请先切换到参量均衡"
                : "%s is in graphic EQ mode, where frequencies and Q are fixed; switch it to PEQ first";
    case Word::OutNeedsFile: return zh ? "--out 需要 --file" : "--out needs --file";
    case Word::FileNeedsOut:
      return zh ? "使用 --file 时需要 --out（输入文件不会被改写）"
                : "--file needs --out (the input file is never changed)";
    case Word::OutIsIn: return zh ? "--out 不能是输入文件本身" : "--out must not be the input file";
    case Word::OutOtherKind:
      return zh ? "--out 必须与输入文件类型相同（%s）" : "--out must be the same kind of file as the input (%s)";
    case Word::Written: return zh ? "已写入 %s" : "written to %s";
    case Word::WriteFailed: return zh ? "无法写入 %s" : "cannot write %s";
    case Word::AutoEqResult:
      return zh ? "%s：与目标（%s，%s–%s Hz，1/6 倍频程平滑，电平匹配）的均方根偏差：之前 %s dB，之后 %s dB"
                : "%s: RMS deviation from the target (%s, %s-%s Hz, 1/6 octave, level matched): before %s dB, after %s "
                  "dB";
    case Word::BandsUsed:
      return zh ? "使用 %s 个频段（共 %s 个，平坦度目标 ±%s dB）：" : "%s of %s bands used (flatness goal +/-%s dB):";
    case Word::BandLine: return zh ? "  频段 %s：%s Hz，%s dB，%s 倍频程" : "  band %s: %s Hz, %s dB, %s Oct";
    case Word::Unchanged:
      return zh ? "没有找到更好的设置，频段保持不变" : "no better setting found; the bands stay as they are";
    case Word::NoOverlap:
      return zh ? "测量没有覆盖 %s–%s Hz 范围" : "the measurement does not cover the range %s-%s Hz";
    case Word::BoostBound:
      return zh ? "提升上限 +%s dB 限制了以下频率的结果：%s"
                : "the boost limit of +%s dB holds the result below the target at %s";
    case Word::CutBound:
      return zh ? "削减上限 -%s dB 限制了以下频率的结果：%s"
                : "the cut limit of -%s dB holds the result above the target at %s";
    case Word::DipsLeft:
      return zh ? "以下窄凹陷（抵消）未提升：" : "narrow dips (cancellations) left alone, not boosted:";
    case Word::DipLine: return zh ? "  %s Hz，深 %s dB，宽 %s 倍频程" : "  %s Hz, %s dB deep, %s Oct wide";
    case Word::RangeNarrowed:
      return zh ? "范围 %s–%s Hz 伸入分频器的阻带，已缩小为通带 %s–%s Hz"
                : "the range %s-%s Hz reaches into a crossover's stop band; narrowed to the pass band %s-%s Hz";
    case Word::OutsidePassBand:
      return zh ? "范围 %s–%s Hz 在通道的通带 %s–%s Hz 之外"
                : "the range %s-%s Hz lies outside the channel's pass band %s-%s Hz";
    case Word::LowCut: return zh ? "%s Hz 以下不提升（%s）" : "nothing boosted below %s Hz (%s)";
    case Word::BadRange:
      return zh ? "--range：无法识别“%s”（应为 低-高，单位 Hz，例如 40-16000 或 1k-2k）"
                : "--range: cannot read \"%s\" (LO-HI in Hz, e.g. 40-16000 or 1k-2k)";
    case Word::BadLimit: return zh ? "%s：应为 %s 到 %s" : "%s: must be %s to %s";
  }
  return {};
}

std::string Fixed(double v, int decimals) { return FormatFixed(v, decimals); }

std::string Hz(double hz) {
  char s[32];
  std::snprintf(s, sizeof s, "%g", hz);
  return s;
}

int Usage(CommandContext& c, std::string_view text) {
  c.term.Message(text);
  return kExitUsage;
}

int Failure(CommandContext& c, std::string_view text) {
  c.view.Fail(text);
  return kExitFailure;
}

/// No processor: a preset file is edited through an engine that never connects.
class NoDevice final : public HidTransport {
 public:
  std::vector<HidDeviceInfo> Enumerate() override { return {}; }
  std::unique_ptr<HidDevice> Open(const std::string&) override { return nullptr; }
};

/// The editor a command works through: that of a connected processor, or one over a preset
/// file's live preset unpacked as a load would.
class Workspace {
 public:
  /// Null when the processor or the file could not be opened, or the options do not fit (the
  /// message has been printed; `status` says which exit status).
  static std::unique_ptr<Workspace> Open(CommandContext& c, const ChannelSource& where, bool changes, int* status) {
    auto w = std::unique_ptr<Workspace>(new Workspace);
    *status = kExitUsage;
    if (where.inFile.empty()) {
      if (!where.outFile.empty()) return Usage(c, W(Word::OutNeedsFile, c.Lang())), nullptr;
      *status = kExitFailure;
      w->session_ = DeviceSession::Open(c.deviceUrl, c.view);
      if (!w->session_ || !w->session_->Connect()) return nullptr;
      return w;
    }
    if (changes) {
      if (where.outFile.empty()) return Usage(c, W(Word::FileNeedsOut, c.Lang())), nullptr;
      const auto inKind = PresetFileKindOf(where.inFile);
      if (inKind && PresetFileKindOf(where.outFile) != inKind) {
        const auto ext =
            *inKind == PresetFileKind::Single ? preset_file::kSingleExtension : preset_file::kAllSlotsExtension;
        return Usage(c, Fill(W(Word::OutOtherKind, c.Lang()), {"." + std::string(ext)})), nullptr;
      }
      std::error_code ec;
      if (std::filesystem::equivalent(PathFromUtf8(where.inFile), PathFromUtf8(where.outFile), ec))
        return Usage(c, W(Word::OutIsIn, c.Lang())), nullptr;
    }
    *status = kExitFailure;
    std::string error;
    w->file_ = ReadPresetFile(where.inFile, c.Lang(), &error);
    if (!w->file_) return Failure(c, error), nullptr;
    w->offline_ = std::make_unique<Offline>(c.term.HeldLanguage());
    Engine& engine = w->offline_->runtime.engine();
    const auto live = w->file_->image->Preset(0);
    const auto into = engine.Image().Preset(0);
    std::copy(live.begin(), live.end(), into.begin());
    engine.Image().linkGroups = w->file_->image->linkGroups;
    engine.Data().Edit([&](CKTV_Data& d) { d.UnpackAll(engine.Image().Preset(0), CKTV_Data::kEffectPartLive); });
    return w;
  }

  Editor& editor() { return session_ ? session_->editor() : offline_->runtime.editor(); }
  CKTV_Data& Data() { return editor().engine().Data(); }

  /// Live: waits until the processor has acknowledged every change. File: packs the changed
  /// channels and writes the input file with its live preset replaced to `out`.
  bool Finish(CommandContext& c, const std::vector<int>& changed, const std::string& out) {
    if (session_) return session_->WaitUntilSent();
    Engine& engine = offline_->runtime.engine();
    engine.Data().Edit([&](CKTV_Data& d) {
      for (int ch : changed) d.Output(ch).PackAll();
    });
    std::vector<std::uint8_t> bytes = file_->bytes;
    const std::size_t at = file_->kind == PresetFileKind::Single ? preset_file::kSingleLive : preset_file::kAllLive;
    const auto live = engine.Image().Preset(0);
    std::copy(live.begin(), live.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    if (!WriteFileReplacing(out, bytes)) return Failure(c, Fill(W(Word::WriteFailed, c.Lang()), {out})), false;
    c.term.Message(Fill(W(Word::Written, c.Lang()), {out}));
    return true;
  }

 private:
  /// The runtime on no device: the edits land in the file's preset.
  struct Offline {
    explicit Offline(Language& language) : runtime(std::make_unique<NoDevice>(), settings, sink, view, language) {}
    MemorySettings settings;
    NullNoticeSink sink;
    LinkView view;
    Runtime runtime;
  };
  Workspace() = default;
  std::unique_ptr<DeviceSession> session_;
  std::optional<PresetFileContents> file_;
  std::unique_ptr<Offline> offline_;
};

void NoteLinked(CommandContext& c, int ch, const std::vector<int>& group) {
  std::string others;
  for (int g : group)
    if (g != ch) others += (others.empty() ? "" : ", ") + ChannelLabel(g);
  if (!others.empty()) c.term.Message(Fill(W(Word::AlsoLinked, c.Lang()), {others}));
}

/// A limit option: `value` within lo..hi, or the usage message.
bool LimitOk(CommandContext& c, std::string_view name, double value, double lo, double hi) {
  if (value >= lo && value <= hi) return true;
  Usage(c, Fill(W(Word::BadLimit, c.Lang()), {std::string(name), Fixed(lo, 0), Fixed(hi, 0)}));
  return false;
}

std::string Stretches(const std::vector<measure::HzRange>& stretches) {
  std::string where;
  for (const auto& h : stretches)
    where += (where.empty() ? "" : ", ") + (h.loHz == h.hiHz ? Hz(h.loHz) : Hz(h.loHz) + "-" + Hz(h.hiHz)) + " Hz";
  return where;
}

Node RangesNode(const std::vector<measure::HzRange>& stretches) {
  Node a = Node::Array();
  for (const auto& h : stretches) {
    Node r = Node::Object();
    r.Add("from_hz", Node::Number(h.loHz, 1));
    r.Add("to_hz", Node::Number(h.hiHz, 1));
    a.Push(std::move(r));
  }
  return a;
}

}  // namespace

std::optional<std::pair<double, double>> ParseHzRange(const std::string& text) {
  const std::string t = values::Lower(text);
  const auto dash = t.find('-', 1);
  if (dash == std::string::npos) return std::nullopt;
  auto number = [](std::string s) -> std::optional<double> {
    s = std::string(values::Trim(s));
    if (s.ends_with("hz")) s.resize(s.size() - 2);
    double scale = 1;
    if (s.ends_with('k')) {
      s.pop_back();
      scale = 1000;
    }
    s = std::string(values::Trim(s));
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !(v > 0) || !std::isfinite(v)) return std::nullopt;
    return v * scale;
  };
  const auto lo = number(t.substr(0, dash));
  const auto hi = number(t.substr(dash + 1));
  if (!lo || !hi || *lo >= *hi) return std::nullopt;
  return std::pair{*lo, *hi};
}

int EqImportCommand(CommandContext& c, const std::string& rewFile, const ChannelSource& where,
                    const EqImportOptions& options) {
  const Language lang = c.Lang();
  const auto ch = ParseChannelLabel(where.channel);
  if (!ch) return Usage(c, Fill(TextOf(Text::BadValue, lang), {"--channel", where.channel}));
  measure::RewReadOptions read;
  if (options.lscCorner) read.lscFrequency = measure::ShelfConvention::Corner;
  // A file that cannot be imported fails before the processor or the preset is touched.
  measure::RewFilterError error;
  if (!measure::ReadRewFilterFile(rewFile, &error, read))
    return Failure(c, PrintableText(measure::RewFilterErrorText(error, rewFile, lang)));

  int status = kExitFailure;
  auto w = Workspace::Open(c, where, true, &status);
  if (!w) return status;
  const measure::RewImport r = measure::ImportRewFile(w->editor(), *ch, rewFile, read);
  switch (r.status) {
    case measure::RewImport::Status::Imported: break;
    case measure::RewImport::Status::GraphicMode:
      c.term.Message(Fill(W(Word::GraphicMode, lang), {ChannelLabel(*ch)}));
      return kExitUsage;
    case measure::RewImport::Status::FileRefused:
      return Failure(c, PrintableText(measure::RewFilterErrorText(r.error, rewFile, lang)));
    case measure::RewImport::Status::NoSuchChannel:
      return Usage(c, Fill(TextOf(Text::BadValue, lang), {"--channel", where.channel}));
  }
  if (!w->Finish(c, r.channels, where.outFile)) return kExitFailure;

  const measure::Deviation& d = r.result.deviation;
  if (options.json) {
    Node n = Node::Object();
    n.Add("channel", Node::Text(ChannelLabel(*ch)));
    n.Add("filters", Node::Integer(static_cast<long long>(r.filterCount)));
    n.Add("bands_used", Node::Integer(r.bandsUsed));
    n.Add("rms_db", Node::Number(d.rms, 3));
    n.Add("largest_db", Node::Number(d.max, 3));
    n.Add("largest_at_hz", Node::Number(d.maxHz, 1));
    if (r.preampDb) n.Add("preamp_db", Node::Number(*r.preampDb, 1));
    Node warnings = Node::Array();
    for (const auto& note : r.notes) warnings.Push(Node::Text(measure::RewNoteText(note, lang)));
    n.Add("warnings", std::move(warnings));
    WriteJson(n, c.term.Out());
  } else {
    c.term.Result(
        Fill(W(Word::Imported, lang), {ChannelLabel(*ch), std::to_string(r.filterCount), std::to_string(r.bandsUsed),
                                       Fixed(d.rms, 2), Fixed(d.max, 2), Hz(d.maxHz)}));
  }
  for (const auto& note : r.notes) c.term.Message(PrintableText(measure::RewNoteText(note, lang)));
  NoteLinked(c, *ch, r.channels);
  return kExitOk;
}

int EqExportCommand(CommandContext& c, const ChannelSource& where) {
  const auto ch = ParseChannelLabel(where.channel);
  if (!ch) return Usage(c, Fill(TextOf(Text::BadValue, c.Lang()), {"--channel", where.channel}));
  int status = kExitFailure;
  auto w = Workspace::Open(c, where, false, &status);
  if (!w) return status;
  std::vector<BandSetting> bands;
  w->Data().Edit([&](CKTV_Data& d) { bands = measure::BandsOf(d.Output(*ch).Eq()); });
  c.term.Out() << measure::RewFilterText(measure::BandsForExport(bands), "Zelto " + ChannelLabel(*ch));
  c.term.Out().flush();
  return kExitOk;
}

int AutoEqCommand(CommandContext& c, const ChannelSource& where, const AutoEqOptions& o) {
  const Language lang = c.Lang();
  const auto ch = ParseChannelLabel(where.channel);
  if (!ch) return Usage(c, Fill(TextOf(Text::BadValue, lang), {"--channel", where.channel}));
  std::optional<measure::HzRange> range;
  if (!o.range.empty()) {
    const auto r = ParseHzRange(o.range);
    if (!r) return Usage(c, Fill(W(Word::BadRange, lang), {o.range}));
    range = measure::HzRange{r->first, r->second};
  }
  if (!LimitOk(c, "--max-boost", o.maxBoostDb, 0, measure::kMaxLimitDb) ||
      !LimitOk(c, "--cut-limit", o.cutLimitDb, 0, measure::kMaxLimitDb) ||
      !LimitOk(c, "--flatness", o.flatnessDb, 0, 6) ||
      (o.lowCutHz && !LimitOk(c, "--low-cut", *o.lowCutHz, kFilterMinHz, kFilterMaxHz)))
    return kExitUsage;

  measure::ReadError readError;
  measure::ReadNotes readNotes;
  auto m = measure::ReadMeasurementFile(o.measurement, &readError, &readNotes);
  if (!m) return Failure(c, PrintableText(measure::ReadErrorText(readError, o.measurement, lang)));
  if (const auto note = measure::ReadNotesText(readNotes, o.measurement, lang); !note.empty())
    c.term.Message(PrintableText(note));
  // "flat" and "car" in any case; anything else is a file.
  const std::string lowerTarget = values::Lower(o.target);
  const bool named = lowerTarget == "flat" || lowerTarget == "car";
  std::string error;
  const auto target = measure::TargetByName(named ? lowerTarget : o.target, lang, &error);
  if (!target) return Failure(c, PrintableText(error));

  int status = kExitFailure;
  auto w = Workspace::Open(c, where, true, &status);
  if (!w) return status;

  measure::AutoEqOptions options;
  options.target = *target;
  options.range = range;
  options.maxBoostDb = o.maxBoostDb;
  options.cutLimitDb = o.cutLimitDb;
  options.flatnessDb = o.flatnessDb;
  options.lowCutHz = o.lowCutHz;
  // The channel's settings now are the ones it was measured with.
  const measure::ChannelMeasurement measured{std::move(*m), measure::ResponseForMeasurement(w->Data(), *ch)};
  const measure::AutoEqResult r = measure::ProposeEq(w->Data(), *ch, measured, options);
  if (r.status == measure::AutoEqResult::Status::NoOverlap) {
    if (range && !(r.range.loHz < r.range.hiHz))
      return Failure(c, Fill(W(Word::OutsidePassBand, lang),
                             {Hz(range->loHz), Hz(range->hiHz), Hz(r.passBand.loHz), Hz(r.passBand.hiHz)}));
    return Failure(c, Fill(W(Word::NoOverlap, lang), {Hz(r.range.loHz), Hz(r.range.hiHz)}));
  }

  std::vector<int> changed;
  if (r.status == measure::AutoEqResult::Status::Fitted) {
    const Editor::BandSetResult set = measure::ApplyBands(w->editor(), *ch, r.bands);
    if (set.status == Editor::BandSetResult::Status::GraphicMode) {
      c.term.Message(Fill(W(Word::GraphicMode, lang), {ChannelLabel(*ch)}));
      return kExitUsage;
    }
    changed = set.channels;
  }
  if (!w->Finish(c, changed, where.outFile)) return kExitFailure;

  if (r.rangeNarrowed && range)
    c.term.Message(
        Fill(W(Word::RangeNarrowed, lang), {Hz(range->loHz), Hz(range->hiHz), Hz(r.range.loHz), Hz(r.range.hiHz)}));
  const std::string targetName = named ? lowerTarget : FileName(o.target);
  if (o.json) {
    Node n = Node::Object();
    n.Add("channel", Node::Text(ChannelLabel(*ch)));
    n.Add("target", Node::Text(PrintableText(targetName)));
    n.Add("from_hz", Node::Number(r.range.loHz, 1));
    n.Add("to_hz", Node::Number(r.range.hiHz, 1));
    n.Add("range_narrowed", Node::Flag(r.rangeNarrowed));
    n.Add("changed", Node::Flag(r.status == measure::AutoEqResult::Status::Fitted));
    n.Add("before_rms_db", Node::Number(r.before.rms, 3));
    n.Add("after_rms_db", Node::Number(r.after.rms, 3));
    n.Add("bands_used", Node::Integer(r.bandsUsed));
    n.Add("bands_fitted", Node::Integer(r.bandsFitted));
    n.Add("boost_limited", RangesNode(r.boostLimited));
    n.Add("cut_limited", RangesNode(r.cutLimited));
    Node dips = Node::Array();
    for (const auto& d : r.dipsLeft) {
      Node dip = Node::Object();
      dip.Add("hz", Node::Number(d.hz, 1));
      dip.Add("depth_db", Node::Number(d.depthDb, 1));
      dip.Add("width_oct", Node::Number(d.widthOctaves, 3));
      dips.Push(std::move(dip));
    }
    n.Add("dips_left", std::move(dips));
    n.Add("low_cut_hz", Node::Number(r.lowCutHz, 1));
    Node bands = Node::Array();
    for (std::size_t k = 0; k < r.bands.size(); ++k) {
      const BandSetting& b = r.bands[k];
      if (b.IsFlat()) continue;
      Node band = Node::Object();
      band.Add("band", Node::Integer(static_cast<long long>(k + 1)));
      band.Add("hz", Node::Integer(b.hz));
      band.Add("gain_db", Node::Number(b.GainDb(), 1));
      band.Add("width_oct", Node::Number(BandwidthOctavesForSetting(b.bandwidthIndex), 2));
      bands.Push(std::move(band));
    }
    n.Add("bands", std::move(bands));
    WriteJson(n, c.term.Out());
    NoteLinked(c, *ch, changed);
    return kExitOk;
  }
  c.term.Result(Fill(W(Word::AutoEqResult, lang), {ChannelLabel(*ch), PrintableText(targetName), Hz(r.range.loHz),
                                                   Hz(r.range.hiHz), Fixed(r.before.rms, 2), Fixed(r.after.rms, 2)}));
  if (r.status == measure::AutoEqResult::Status::Unchanged) {
    c.term.Result(W(Word::Unchanged, lang));
  } else {
    c.term.Result(Fill(W(Word::BandsUsed, lang),
                       {std::to_string(r.bandsUsed), std::to_string(r.bands.size()), Fixed(o.flatnessDb, 1)}));
    for (std::size_t k = 0; k < r.bands.size(); ++k) {
      const BandSetting& b = r.bands[k];
      if (b.IsFlat()) continue;
      c.term.Result(Fill(W(Word::BandLine, lang), {std::to_string(k + 1), std::to_string(b.hz), Fixed(b.GainDb(), 1),
                                                   Fixed(BandwidthOctavesForSetting(b.bandwidthIndex), 2)}));
    }
    NoteLinked(c, *ch, changed);
  }
  if (r.lowCutHz > r.range.loHz)
    c.term.Result(Fill(
        W(Word::LowCut, lang),
        {Hz(std::round(r.lowCutHz)),
         r.lowCutMeasured ? (lang == Language::Chinese ? "实测 -6 dB 点" : "measured -6 dB point") : "--low-cut"}));
  if (!r.boostLimited.empty())
    c.term.Result(Fill(W(Word::BoostBound, lang), {Fixed(o.maxBoostDb, 1), Stretches(r.boostLimited)}));
  if (!r.cutLimited.empty())
    c.term.Result(Fill(W(Word::CutBound, lang), {Fixed(o.cutLimitDb, 1), Stretches(r.cutLimited)}));
  if (!r.dipsLeft.empty()) {
    c.term.Result(W(Word::DipsLeft, lang));
    for (const auto& d : r.dipsLeft)
      c.term.Result(
          Fill(W(Word::DipLine, lang), {Hz(std::round(d.hz)), Fixed(d.depthDb, 1), Fixed(d.widthOctaves, 2)}));
  }
  return kExitOk;
}

int CurveWithMeasurementCommand(CommandContext& c, const std::string& path, const std::string& channel, int slot,
                                const std::string& measurement, const std::string& measuredWith) {
  const Language lang = c.Lang();
  const auto ch = ParseChannelLabel(channel);
  if (!ch) return Usage(c, Fill(TextOf(Text::BadValue, lang), {"--channel", channel}));
  std::string error;
  const auto file = ReadPresetFile(path, lang, &error);
  if (!file) return Failure(c, error);
  if (!file->HasSlot(slot))
    return Usage(c, Fill(TextOf(Text::SlotNotInFile, lang), {file->path, std::to_string(slot)}));
  measure::ReadError readError;
  auto m = measure::ReadMeasurementFile(measurement, &readError);
  if (!m) return Failure(c, PrintableText(measure::ReadErrorText(readError, measurement, lang)));

  const auto now = ChannelCurveOf(*file, slot, *ch);
  measure::ChannelMeasurement cm{std::move(*m), now};
  if (!measuredWith.empty()) {
    const auto with = ReadPresetFile(measuredWith, lang, &error);
    if (!with) return Failure(c, error);
    cm.keptResponse = ChannelCurveOf(*with, 0, *ch);
  }
  const measure::GridCurve measured = cm.Measured();
  const measure::GridCurve predicted = cm.Predicted(now);
  const auto& grid = FrequencyGrid();
  std::ostream& out = c.term.Out();
  for (int i = 0; i < kGridPoints; ++i) {
    out << Hz(grid[i]) << ',' << FormatFixed(now[i], kCurveDecimals) << ',';
    if (measured.has[i]) out << FormatFixed(measured.db[i], kCurveDecimals);
    out << ',';
    if (predicted.has[i]) out << FormatFixed(predicted.db[i], kCurveDecimals);
    out << '\n';
  }
  out.flush();
  return kExitOk;
}

// ---- command line -------------------------------------------------------------------------------

MeasureCommandLine::MeasureCommandLine(CLI::App& app, CLI::App* curve, const std::function<void(CLI::App*)>& addCommon)
    : curve_(curve) {
  constexpr const char* kChannelHelp = "output channel: 1..8 or ch1..ch8";
  constexpr const char* kFileHelp =
      "work on this preset file (.dsps or .dspa, its live preset) instead of the processor";
  constexpr const char* kOutHelp = "with --file: the preset file to write (the input is never changed)";
  auto addWhere = [&](CLI::App* a, bool changes) {
    addCommon(a);
    a->add_option("--channel", where_.channel, kChannelHelp)->required();
    a->add_option("--file", where_.inFile, kFileHelp);
    if (changes) a->add_option("--out", where_.outFile, kOutHelp);
  };

  eq_ = app.add_subcommand("eq", "a channel's bands as REW filter settings");
  addCommon(eq_);
  eq_->require_subcommand(1);
  import_ = eq_->add_subcommand(
      "import", "set a channel's 31 bands to reproduce a REW filter settings file; prints the deviation left");
  addWhere(import_, true);
  import_->add_option("REWFILE", rewFile_, "REW filter settings text (Generic equaliser)")->required();
  import_->add_flag("--json", importOptions_.json, "print the deviation and the warnings as JSON");
  import_->add_flag("--lsc-corner", importOptions_.lscCorner,
                    "read LSC/HSC frequencies as the shelf's corner instead of its gain midpoint");
  export_ = eq_->add_subcommand("export", "print a channel's bands as a REW filter settings file (Generic, PK lines)");
  addWhere(export_, false);

  autoeq_ = app.add_subcommand("autoeq", "set a channel's bands from a measurement so it follows a target");
  addWhere(autoeq_, true);
  autoeq_->add_option("--measurement", autoEq_.measurement, "REW text export, FRD or CSV measurement of the channel")
      ->required();
  autoeq_->add_option("--target", autoEq_.target, "flat, car or a target file in a measurement format")
      ->capture_default_str();
  autoeq_->add_option("--range", autoEq_.range,
                      "frequency range LO-HI in Hz, e.g. 40-16000 or 1k-2k (default: the channel's pass band)");
  autoeq_->add_option("--max-boost", autoEq_.maxBoostDb, "largest boost of the bands together in dB (0..20)")
      ->capture_default_str();
  autoeq_->add_option("--cut-limit", autoEq_.cutLimitDb, "deepest cut of the bands together in dB (0..20)")
      ->capture_default_str();
  autoeq_
      ->add_option("--flatness", autoEq_.flatnessDb,
                   "stop when within +/- this many dB of the target; smaller bands are dropped (0..6)")
      ->capture_default_str();
  autoeq_->add_option("--low-cut", autoEq_.lowCutHz,
                      "boost nothing below this frequency in Hz (default: the measured -6 dB point)");
  autoeq_->add_flag("--json", autoEq_.json, "print the result as JSON");

  curve_->add_option("--measurement", measurement_, "add the measurement and predicted columns for this measurement");
  curve_->add_option("--measured-with", measuredWith_,
                     "the preset file in place while measuring (default: FILE itself)");
}

std::optional<int> MeasureCommandLine::Run(CommandContext& c, const std::string& curveFile,
                                           const std::string& curveChannel, int curveSlot) {
  if (import_->parsed()) return EqImportCommand(c, rewFile_, where_, importOptions_);
  if (export_->parsed()) return EqExportCommand(c, where_);
  if (autoeq_->parsed()) return AutoEqCommand(c, where_, autoEq_);
  if (curve_->parsed() && !measurement_.empty())
    return CurveWithMeasurementCommand(c, curveFile, curveChannel, curveSlot, measurement_, measuredWith_);
  return std::nullopt;
}

}  // namespace zelto::ctl
