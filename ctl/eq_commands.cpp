#include "ctl/eq_commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/change_tracking.h"
#include "ctl/ctl.h"
#include "ctl/preset_report.h"
#include "ctl/report_tree.h"
#include "ctl/session.h"
#include "ctl/text_safety.h"
#include "ctl/texts.h"
#include "ctl/values.h"
#include "edit/linking.h"
#include "measure/band_fit.h"
#include "model/ktv_data.h"
#include "presets/file_io.h"
#include "presets/preset_file.h"

namespace zelto::ctl {

namespace {

using measure::BandSetting;

constexpr int kCurveDecimals = 4;
constexpr double kMaxBoostLimitDb = 20.0;

enum class Word {
  Imported,
  PreampLeftOut,
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
  BadRange,
  BadBoost,
};

std::string_view W(Word w, Language lang) {
  const bool zh = lang == Language::Chinese;
  switch (w) {
    case Word::Imported:
      return zh ? "%s：%s 个 REW 滤波器用 %s 个频段重现；20 Hz–20 kHz 偏差：均方根 %s dB，最大 %s dB（%s Hz）"
                : "%s: %s REW filter(s) reproduced with %s band(s); deviation 20 Hz-20 kHz: RMS %s dB, largest %s dB "
                  "(at %s Hz)";
    case Word::PreampLeftOut:
      return zh ? "文件的前级增益 %s dB 未计入频段（请用通道增益设置）"
                : "the file's preamp of %s dB is not part of the bands (set it with the channel gain)";
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
    case Word::BandsUsed: return zh ? "使用 %s 个频段（共 %s 个）：" : "%s of %s bands used:";
    case Word::BandLine: return zh ? "  频段 %s：%s Hz，%s dB，%s 倍频程" : "  band %s: %s Hz, %s dB, %s Oct";
    case Word::Unchanged:
      return zh ? "没有找到更好的设置，频段保持不变" : "no better setting found; the bands stay as they are";
    case Word::NoOverlap:
      return zh ? "测量没有覆盖 %s–%s Hz 范围" : "the measurement does not cover the range %s-%s Hz";
    case Word::BoostBound:
      return zh ? "提升上限 +%s dB 限制了以下频率的结果：%s"
                : "the boost limit of +%s dB holds the result below the target at %s";
    case Word::BadRange:
      return zh ? "--range：无法识别“%s”（应为 低-高，单位 Hz，例如 40-16000）"
                : "--range: cannot read \"%s\" (LO-HI in Hz, e.g. 40-16000)";
    case Word::BadBoost: return zh ? "--max-boost：应为 0 到 20 dB" : "--max-boost: must be 0 to 20 dB";
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

/// "ch3" or "3" as the window names the channels: 0..7, or nothing.
std::optional<int> ChannelIndex(const std::string& text) {
  std::string t = values::Lower(text);
  if (t.starts_with("ch")) t.erase(0, 2);
  if (t.size() != 1 || t[0] < '1' || t[0] > '0' + kOutputChannels) return std::nullopt;
  return t[0] - '1';
}

std::string ChannelName(int ch) { return "CH" + std::to_string(ch + 1); }

/// The objects a command works on: those of a connected processor, or those of a preset file's
/// live preset unpacked as a load would.
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
    w->image_ = std::make_unique<DeviceImage>(*w->file_->image);
    w->data_ = std::make_unique<CKTV_Data>(*w->image_, w->tracking_);
    w->data_->UnpackAll(w->image_->Preset(0), CKTV_Data::kEffectPartLive);
    return w;
  }

  CKTV_Data& Data() { return session_ ? session_->engine().Data() : *data_; }
  const DeviceImage& Image() { return session_ ? session_->engine().Image() : *image_; }

  /// Live: waits until the processor has acknowledged every change. File: packs the changed
  /// channels and writes the input file with its live preset replaced to `out`.
  bool Finish(CommandContext& c, const std::vector<int>& changed, const std::string& out) {
    if (session_) return session_->WaitUntilSent();
    data_->Edit([&](CKTV_Data& d) {
      for (int ch : changed) d.Output(ch).PackAll();
    });
    std::vector<std::uint8_t> bytes = file_->bytes;
    const std::size_t at = file_->kind == PresetFileKind::Single ? preset_file::kSingleLive : preset_file::kAllLive;
    const auto live = image_->Preset(0);
    std::copy(live.begin(), live.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    if (!WriteFileReplacing(out, bytes)) return Failure(c, Fill(W(Word::WriteFailed, c.Lang()), {out})), false;
    c.term.Message(Fill(W(Word::Written, c.Lang()), {out}));
    return true;
  }

 private:
  Workspace() = default;
  std::unique_ptr<DeviceSession> session_;
  std::optional<PresetFileContents> file_;
  std::unique_ptr<DeviceImage> image_;
  ChangeTracking tracking_{false};
  std::unique_ptr<CKTV_Data> data_;
};

/// Sets the channel's bands (and those of its link group, as every band edit does) with the band
/// row's setters: only what differs is set, so only that is sent. Returns the channels changed.
std::vector<int> ApplyBands(Workspace& w, int ch, const std::vector<BandSetting>& bands) {
  const auto group = rules::LinkGroup(w.Image(), ch);
  w.Data().Edit([&](CKTV_Data& d) {
    for (int target : group) {
      CKTVEQ& eq = d.Output(target).Eq();
      for (int k = 0; k < eq.BandCount() && k < static_cast<int>(bands.size()); ++k) {
        const BandSetting& b = bands[static_cast<std::size_t>(k)];
        CFilter& f = eq.Filter(k);
        if (f.frequency() != b.hz) f.SetFrequency(b.hz, true);
        if (f.bandwidthIndex() != b.bandwidthIndex) f.SetBandwidthIndex(b.bandwidthIndex);
        const int now = f.IsFlat() ? kGainCodeFlat : f.gainCode();
        if (now != b.gainCode) f.SetGainCode(b.gainCode);
      }
    }
  });
  return group;
}

void NoteLinked(CommandContext& c, int ch, const std::vector<int>& group) {
  std::string others;
  for (int g : group)
    if (g != ch) others += (others.empty() ? "" : ", ") + ChannelName(g);
  if (!others.empty()) c.term.Message(Fill(W(Word::AlsoLinked, c.Lang()), {others}));
}

bool InGraphicMode(CommandContext& c, Workspace& w, int ch) {
  auto lock = w.Data().Lock();
  if (w.Data().Output(ch).EqMode() == 0) return false;
  c.term.Message(Fill(W(Word::GraphicMode, c.Lang()), {ChannelName(ch)}));
  return true;
}

std::optional<std::pair<double, double>> ParseRange(const std::string& text) {
  if (text.empty()) return std::pair{double(kFilterMinHz), double(kFilterMaxHz)};
  std::string t = values::Lower(text);
  const auto dash = t.find('-', 1);
  if (dash == std::string::npos) return std::nullopt;
  auto number = [](std::string s) -> std::optional<double> {
    if (s.ends_with("hz")) s.resize(s.size() - 2);
    s = std::string(values::Trim(s));
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !(v > 0)) return std::nullopt;
    return v;
  };
  const auto lo = number(t.substr(0, dash));
  const auto hi = number(t.substr(dash + 1));
  if (!lo || !hi || *lo >= *hi) return std::nullopt;
  return std::pair{*lo, *hi};
}

}  // namespace

int EqImportCommand(CommandContext& c, const std::string& rewFile, const ChannelSource& where) {
  const Language lang = c.Lang();
  const auto ch = ChannelIndex(where.channel);
  if (!ch) return Usage(c, Fill(TextOf(Text::BadValue, lang), {"--channel", where.channel}));
  // A file that cannot be imported fails before the processor or the preset is touched.
  measure::RewFilterError error;
  const auto filters = measure::ReadRewFilterFile(rewFile, &error);
  if (!filters) return Failure(c, PrintableText(measure::RewFilterErrorText(error, rewFile, lang)));

  int status = kExitFailure;
  auto w = Workspace::Open(c, where, true, &status);
  if (!w) return status;
  if (InGraphicMode(c, *w, *ch)) return kExitUsage;
  std::vector<BandSetting> current;
  {
    auto lock = w->Data().Lock();
    current = measure::BandsOf(w->Data().Output(*ch).Eq());
  }
  const measure::ImportResult r = measure::ImportRewFilters(filters->filters, OutputBandCentres(), current);
  const auto changed = ApplyBands(*w, *ch, r.bands);
  if (!w->Finish(c, changed, where.outFile)) return kExitFailure;

  const auto used = std::count_if(r.bands.begin(), r.bands.end(), [](const BandSetting& b) { return !b.IsFlat(); });
  c.term.Result(
      Fill(W(Word::Imported, lang), {ChannelName(*ch), std::to_string(filters->filters.size()), std::to_string(used),
                                     Fixed(r.deviation.rms, 2), Fixed(r.deviation.max, 2), Hz(r.deviation.maxHz)}));
  NoteLinked(c, *ch, changed);
  if (filters->preampDb && *filters->preampDb != 0)
    c.term.Message(Fill(W(Word::PreampLeftOut, lang), {Fixed(*filters->preampDb, 1)}));
  return kExitOk;
}

int EqExportCommand(CommandContext& c, const ChannelSource& where) {
  const auto ch = ChannelIndex(where.channel);
  if (!ch) return Usage(c, Fill(TextOf(Text::BadValue, c.Lang()), {"--channel", where.channel}));
  int status = kExitFailure;
  auto w = Workspace::Open(c, where, false, &status);
  if (!w) return status;
  std::vector<BandSetting> bands;
  {
    auto lock = w->Data().Lock();
    bands = measure::BandsOf(w->Data().Output(*ch).Eq());
  }
  c.term.Out() << measure::RewFilterText(measure::BandsForExport(bands), "Zelto " + ChannelName(*ch));
  c.term.Out().flush();
  return kExitOk;
}

int AutoEqCommand(CommandContext& c, const ChannelSource& where, const AutoEqOptions& o) {
  const Language lang = c.Lang();
  const auto ch = ChannelIndex(where.channel);
  if (!ch) return Usage(c, Fill(TextOf(Text::BadValue, lang), {"--channel", where.channel}));
  const auto range = ParseRange(o.range);
  if (!range) return Usage(c, Fill(W(Word::BadRange, lang), {o.range}));
  if (!(o.maxBoostDb >= 0 && o.maxBoostDb <= kMaxBoostLimitDb)) return Usage(c, W(Word::BadBoost, lang));

  measure::ReadError readError;
  auto m = measure::ReadMeasurementFile(o.measurement, &readError);
  if (!m) return Failure(c, PrintableText(measure::ReadErrorText(readError, o.measurement, lang)));
  std::string error;
  const auto target = measure::TargetByName(o.target, lang, &error);
  if (!target) return Failure(c, PrintableText(error));

  int status = kExitFailure;
  auto w = Workspace::Open(c, where, true, &status);
  if (!w) return status;
  if (InGraphicMode(c, *w, *ch)) return kExitUsage;

  measure::AutoEqRequest q;
  {
    auto lock = w->Data().Lock();
    const CKTVEQ& eq = w->Data().Output(*ch).Eq();
    // The channel's settings now are the ones it was measured with.
    q.measured.measurement = std::move(*m);
    q.measured.keptResponse = measure::ChannelResponseOf(eq);
    q.fixedResponse = measure::CrossoverResponseOf(eq);
    q.currentBands = measure::BandsOf(eq);
  }
  const auto centres = OutputBandCentres();
  q.centres.assign(centres.begin(), centres.end());
  q.target = *target;
  q.loHz = range->first;
  q.hiHz = range->second;
  q.maxBoostDb = o.maxBoostDb;
  const measure::AutoEqResult r = measure::AutoEq(q);
  if (r.status == measure::AutoEqResult::Status::NoOverlap)
    return Failure(c, Fill(W(Word::NoOverlap, lang), {Hz(q.loHz), Hz(q.hiHz)}));

  std::vector<int> changed;
  if (r.status == measure::AutoEqResult::Status::Fitted) changed = ApplyBands(*w, *ch, r.bands);
  if (!w->Finish(c, changed, where.outFile)) return kExitFailure;

  const std::string targetName = o.target == "flat" || o.target == "car" ? o.target : FileName(o.target);
  c.term.Result(Fill(W(Word::AutoEqResult, lang), {ChannelName(*ch), PrintableText(targetName), Hz(q.loHz), Hz(q.hiHz),
                                                   Fixed(r.before.rms, 2), Fixed(r.after.rms, 2)}));
  if (r.status == measure::AutoEqResult::Status::Unchanged) {
    c.term.Result(W(Word::Unchanged, lang));
  } else {
    const auto used = std::count_if(r.bands.begin(), r.bands.end(), [](const BandSetting& b) { return !b.IsFlat(); });
    c.term.Result(Fill(W(Word::BandsUsed, lang), {std::to_string(used), std::to_string(r.bands.size())}));
    for (std::size_t k = 0; k < r.bands.size(); ++k) {
      const BandSetting& b = r.bands[k];
      if (b.IsFlat()) continue;
      c.term.Result(Fill(W(Word::BandLine, lang), {std::to_string(k + 1), std::to_string(b.hz), Fixed(b.GainDb(), 1),
                                                   Fixed(BandwidthOctavesForSetting(b.bandwidthIndex), 2)}));
    }
    NoteLinked(c, *ch, changed);
  }
  if (!r.boostLimited.empty()) {
    std::string where;
    for (const auto& h : r.boostLimited)
      where += (where.empty() ? "" : ", ") + (h.loHz == h.hiHz ? Hz(h.loHz) : Hz(h.loHz) + "-" + Hz(h.hiHz)) + " Hz";
    c.term.Result(Fill(W(Word::BoostBound, lang), {Fixed(o.maxBoostDb, 1), where}));
  }
  return kExitOk;
}

int CurveWithMeasurementCommand(CommandContext& c, const std::string& path, const std::string& channel, int slot,
                                const std::string& measurement, const std::string& measuredWith) {
  const Language lang = c.Lang();
  const auto ch = ChannelIndex(channel);
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
  export_ = eq_->add_subcommand("export", "print a channel's bands as a REW filter settings file (Generic, PK lines)");
  addWhere(export_, false);

  autoeq_ = app.add_subcommand("autoeq", "set a channel's bands from a measurement so it follows a target");
  addWhere(autoeq_, true);
  autoeq_->add_option("--measurement", autoEq_.measurement, "REW text export, FRD or CSV measurement of the channel")
      ->required();
  autoeq_->add_option("--target", autoEq_.target, "flat, car or a target file in a measurement format")
      ->capture_default_str();
  autoeq_->add_option("--range", autoEq_.range, "frequency range LO-HI in Hz (default 20-20000)");
  autoeq_->add_option("--max-boost", autoEq_.maxBoostDb, "largest boost in dB (0..20)")->capture_default_str();

  curve_->add_option("--measurement", measurement_, "add the measurement and predicted columns for this measurement");
  curve_->add_option("--measured-with", measuredWith_,
                     "the preset file in place while measuring (default: FILE itself)");
}

std::optional<int> MeasureCommandLine::Run(CommandContext& c, const std::string& curveFile,
                                           const std::string& curveChannel, int curveSlot) {
  if (import_->parsed()) return EqImportCommand(c, rewFile_, where_);
  if (export_->parsed()) return EqExportCommand(c, where_);
  if (autoeq_->parsed()) return AutoEqCommand(c, where_, autoEq_);
  if (curve_->parsed() && !measurement_.empty())
    return CurveWithMeasurementCommand(c, curveFile, curveChannel, curveSlot, measurement_, measuredWith_);
  return std::nullopt;
}

}  // namespace zelto::ctl
