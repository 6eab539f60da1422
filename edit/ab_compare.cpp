#include "edit/ab_compare.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "core/change_tracking.h"
#include "link/engine.h"
#include "model/band_record.h"
#include "model/ktv_data.h"
#include "presets/preset_slots.h"

namespace zelto {

namespace {

constexpr bool kFromLive = true;
constexpr bool kNotSourceSlot = false;
constexpr int kLiveSlot = 0;

bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, std::size_t offset, std::size_t size) {
  return std::equal(a.begin() + static_cast<std::ptrdiff_t>(offset),
                    a.begin() + static_cast<std::ptrdiff_t>(offset + size),
                    b.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace

int TuningDifference::OutputCount() const { return static_cast<int>(std::ranges::count(outputs, true)); }

int TuningDifference::BlockCount() const { return OutputCount() + int{mic} + int{music} + int{effect}; }

TuningDifference DiffTunings(std::span<const std::uint8_t, preset::kSize> from,
                             std::span<const std::uint8_t, preset::kSize> to) {
  TuningDifference d;
  for (int c = 0; c < kOutputChannels; ++c)
    d.outputs[static_cast<std::size_t>(c)] =
        !SameBytes(from, to, preset::kOutput + static_cast<std::size_t>(c) * out::kSize, out::kSendSize);
  d.mic = !SameBytes(from, to, preset::kMicIn, in::kSize);
  d.music = !SameBytes(from, to, preset::kMusicIn, in::kSize);
  d.effect = !SameBytes(from, to, preset::kEffect, fx::kSendSize);
  return d;
}

AbCompare::AbCompare(Engine& engine) : engine_(engine) {}

AbCompare::~AbCompare() = default;

PresetImage AbCompare::PackLive() {
  engine_.Data().PackAll();
  return engine_.Image().live;
}

PresetImage AbCompare::PackedCopy() {
  // The live image is also what the change scan believes the processor holds (it steps a pending
  // frequency from there): pack, copy, and put it back as it was.
  auto model = engine_.Data().Lock();
  const PresetImage held = engine_.Image().live;
  PresetImage packed = PackLive();
  engine_.Image().live = held;
  return packed;
}

AbCompare::Outcome AbCompare::LoadIntoLive(const PresetImage& tuning) {
  Outcome outcome;
  DeviceImage& image = engine_.Image();
  outcome.changed = DiffTunings(image.live, tuning);
  image.live = tuning;
  // Unpacking limits a few crossover bytes in the image; what goes out is what the objects hold.
  engine_.Data().UnpackAll(image.live, CKTV_Data::kEffectPartLive);
  engine_.Data().PackAll();
  if (!PresetLinkOpen(engine_)) return outcome;

  auto& builder = engine_.Builder();
  auto& queue = engine_.Queue();
  const auto push = [&](BlockType type, int channel) {
    SendDataPtr message = builder.BuildBlockWrite(kLiveSlot, type, channel, kFromLive, kNotSourceSlot);
    if (!message) return;
    queue.Push(std::move(message));
    ++outcome.queued;
  };
  if (outcome.changed.mic) push(BlockType::MicIn, CMIC_InData::kChannel);
  if (outcome.changed.music) push(BlockType::MusicIn, CMusic_InData::kChannel);
  if (outcome.changed.effect) push(BlockType::Effect, 0);
  for (int c = 0; c < kOutputChannels; ++c)
    if (outcome.changed.outputs[static_cast<std::size_t>(c)]) push(BlockType::Output, c);
  return outcome;
}

AbCompare::Outcome AbCompare::Switch() {
  std::lock_guard lock(engine_.Transfer());
  const AbSide next = OtherSide(active_);
  sides_.Side(active_) = PackLive();
  if (!started_) {
    sides_.Side(next) = sides_.Side(active_);
    started_ = true;
  }
  active_ = next;
  // Edits not yet sent stay marked: the change scan sends them at the values now in the objects.
  return LoadIntoLive(sides_.Side(next));
}

AbCompare::Outcome AbCompare::Copy(AbSide from, AbSide to) {
  std::lock_guard lock(engine_.Transfer());
  sides_.Side(active_) = PackLive();
  if (!started_) {
    sides_.Side(OtherSide(active_)) = sides_.Side(active_);
    started_ = true;
  }
  if (from == to) return {};
  sides_.Side(to) = sides_.Side(from);
  if (to != active_) return {};
  return LoadIntoLive(sides_.Side(to));
}

PresetImage AbCompare::OtherTuning() {
  if (started_) return sides_.Side(OtherSide(active_));
  std::lock_guard lock(engine_.Transfer());
  return PackedCopy();
}

void AbCompare::SetOtherTuning(const PresetImage& tuning) {
  sides_.Side(OtherSide(active_)) = tuning;
  started_ = true;
}

AbSnapshot AbCompare::Snapshot() {
  std::lock_guard lock(engine_.Transfer());
  AbSnapshot s = sides_;
  s.active = active_;
  s.started = started_;
  s.Side(active_) = PackedCopy();
  if (!started_) s.Side(OtherSide(active_)) = s.Side(active_);
  return s;
}

AbSnapshot AbCompare::SnapshotAround(const PresetImage& active) const {
  AbSnapshot s = sides_;
  s.active = active_;
  s.started = started_;
  s.Side(active_) = active;
  if (!started_) s.Side(OtherSide(active_)) = active;
  return s;
}

AbCompare::Outcome AbCompare::Restore(const AbSnapshot& snapshot) {
  std::lock_guard lock(engine_.Transfer());
  // As a switch does: what differs is judged against the objects as packed now.
  PackLive();
  Adopt(snapshot);
  return LoadIntoLive(snapshot.Side(snapshot.active));
}

void AbCompare::Adopt(const AbSnapshot& snapshot) {
  sides_ = snapshot;
  active_ = snapshot.active;
  started_ = snapshot.started;
}

CKTV_Data& AbCompare::OtherModel() {
  if (!otherModel_) {
    otherImage_ = std::make_unique<DeviceImage>();
    InitDeviceImage(*otherImage_);
    otherTracking_ = std::make_unique<ChangeTracking>(false);
    otherModel_ = std::make_unique<CKTV_Data>(*otherImage_, *otherTracking_);
  }
  otherImage_->live = OtherTuning();
  otherModel_->UnpackAll(otherImage_->live, CKTV_Data::kEffectPartLive);
  return *otherModel_;
}

// ---- the differences in engineering units --------------------------------------------------------

namespace {

// A tuning unpacked into objects of its own, which nothing sends from.
class TuningObjects {
 public:
  explicit TuningObjects(const PresetImage& tuning) : image_(std::make_unique<DeviceImage>()) {
    InitDeviceImage(*image_);
    image_->live = tuning;
    data_ = std::make_unique<CKTV_Data>(*image_, tracking_);
    data_->UnpackAll(image_->live, CKTV_Data::kEffectPartLive);
  }
  CKTV_Data& Data() { return *data_; }

 private:
  std::unique_ptr<DeviceImage> image_;
  ChangeTracking tracking_{false};
  std::unique_ptr<CKTV_Data> data_;
};

std::string Words(Language lang, const char* zh, const char* en) { return lang == Language::Chinese ? zh : en; }

std::string Hz(int hz) { return std::to_string(hz) + " Hz"; }

std::string Db(double db) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.1f dB", db);
  return text;
}

std::string CrossoverText(const CFilter& f, Language lang) {
  return Hz(f.frequency()) + " " + std::string(CrossoverFamilyName(f.crossoverType(), lang)) + " " +
         std::string(SlopeName(f.slope(), false));
}

std::string BandGainText(const CFilter& f, Language lang) {
  return f.IsFlat() ? Words(lang, "关", "off") : Db(BandGainDbFromEditCode(f.gainCode()));
}

}  // namespace

std::vector<ValueDifference> DiffTuningValues(const PresetImage& from, const PresetImage& to, Language lang) {
  std::vector<ValueDifference> out;
  TuningObjects a(from), b(to);
  const auto add = [&](int channel, std::string value, std::string x, std::string y) {
    if (x != y) out.push_back({channel, std::move(value), std::move(x), std::move(y)});
  };
  if (!SameBytes(from, to, preset::kName, preset::kNameSize))
    add(-1, Words(lang, "音效名称", "preset name"),
        ReadField(std::span(from).subspan(preset::kName, preset::kNameSize)),
        ReadField(std::span(to).subspan(preset::kName, preset::kNameSize)));
  const TuningDifference blocks = DiffTunings(from, to);
  const std::string differs = Words(lang, "不同", "differs");
  if (blocks.mic) add(-1, Words(lang, "麦克风输入", "microphone input"), differs, "");
  if (blocks.music) add(-1, Words(lang, "音乐输入", "music input"), differs, "");
  if (blocks.effect) add(-1, Words(lang, "效果", "effect"), differs, "");

  for (int ch = 0; ch < kOutputChannels; ++ch) {
    if (!blocks.outputs[static_cast<std::size_t>(ch)]) continue;
    const CKTV_OutData& x = a.Data().Output(ch);
    const CKTV_OutData& y = b.Data().Output(ch);
    const std::string on = Words(lang, "开", "on"), off = Words(lang, "关", "off");
    add(ch, Words(lang, "名称", "name"), x.Name(), y.Name());
    add(ch, Words(lang, "静音", "mute"), x.OutputSwitch() ? off : on, y.OutputSwitch() ? off : on);
    add(ch, Words(lang, "相位", "phase"), x.Phase() ? "180°" : "0°", y.Phase() ? "180°" : "0°");
    const auto gain = [](const CKTV_OutData& o) {
      return FormatOutputGain(OutputGainDbFromCode(o.GainCode()), o.GainOff());
    };
    add(ch, Words(lang, "增益", "gain"), gain(x), gain(y));
    add(ch, Words(lang, "延时", "delay"), FormatDelayMs(x.Delay(), lang), FormatDelayMs(y.Delay(), lang));
    add(ch, Words(lang, "EQ 模式", "EQ mode"), x.EqMode() ? "GEQ" : "PEQ", y.EqMode() ? "GEQ" : "PEQ");
    add(ch, Words(lang, "高通", "high-pass"), CrossoverText(x.Eq().HighPass(), lang),
        CrossoverText(y.Eq().HighPass(), lang));
    add(ch, Words(lang, "低通", "low-pass"), CrossoverText(x.Eq().LowPass(), lang),
        CrossoverText(y.Eq().LowPass(), lang));
    for (int k = 0; k < x.Eq().BandCount() && k < y.Eq().BandCount(); ++k) {
      const CFilter& fx = x.Eq().Filter(k);
      const CFilter& fy = y.Eq().Filter(k);
      const std::string band =
          lang == Language::Chinese ? "第" + std::to_string(k + 1) + "段 " : "band " + std::to_string(k + 1) + " ";
      add(ch, band + Words(lang, "频率", "frequency"), Hz(fx.frequency()), Hz(fy.frequency()));
      add(ch, band + Words(lang, "增益", "gain"), BandGainText(fx, lang), BandGainText(fy, lang));
      add(ch, band + "Q", FormatQ(fx.Q()), FormatQ(fy.Q()));
    }
    add(ch, Words(lang, "限幅阈值", "limiter threshold"), FormatLimiterThreshold(x.LimiterThreshold()),
        FormatLimiterThreshold(y.LimiterThreshold()));
    add(ch, Words(lang, "限幅启动", "limiter attack"), FormatLimiterAttack(x.LimiterAttack()),
        FormatLimiterAttack(y.LimiterAttack()));
    add(ch, Words(lang, "限幅释放", "limiter release"), std::string(LimiterReleaseName(x.LimiterRelease())),
        std::string(LimiterReleaseName(y.LimiterRelease())));
    for (std::size_t s = 0; s < x.InputMix().size(); ++s)
      add(ch, Words(lang, "混音 ", "mix ") + std::to_string(s + 1), std::to_string(x.InputMix()[s]) + "%",
          std::to_string(y.InputMix()[s]) + "%");
  }
  return out;
}

}  // namespace zelto
