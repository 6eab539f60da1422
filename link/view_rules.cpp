#include "link/view_rules.h"

#include <algorithm>
#include <mutex>

#include "core/bytes.h"
#include "link/engine.h"
#include "model/ktv_data.h"

namespace zelto::view_rules {

namespace {

constexpr std::array<PositionSpot, kPositionCount> kSpots = {{
    {2700, 1, 2580, {1, 4, 0}, 2},
    {2702, 2, 2581, {2, 0, 0}, 1},
    {2704, 3, 2582, {3, 5, 6}, 3},
    {2701, 7, 2583, {7, 10, 0}, 2},
    {2703, 8, 2584, {8, 0, 0}, 1},
    {2705, 9, 2585, {9, 11, 12}, 3},
    {2706, 13, 2586, {13, 0, 0}, 1},
    {2708, 14, 2588, {14, 15, 0}, 2},
    {2709, 16, 2589, {16, 0, 0}, 1},
    {2711, 17, 2591, {17, 18, 0}, 2},
    {2717, 19, 2597, {19, 0, 0}, 1},
    {2715, 20, 2595, {20, 0, 0}, 1},
    {2716, 21, 2596, {21, 0, 0}, 1},
    {2712, 22, 2592, {22, 0, 0}, 1},
    {2714, 23, 2594, {23, 0, 0}, 1},
    {2713, 24, 2593, {24, 0, 0}, 1},
}};

// Positions whose button stands for a group of types take the first channel of the group; the
// others take the last channel of exactly their type.
constexpr std::array<int, 6> kFirstMatchCodes = {1, 3, 7, 9, 14, 17};

constexpr std::array<std::string_view, kSourceCount> kSourcesZh = {"高电平", "低电平", "蓝牙", "光纤", "同轴", "播放器"};
constexpr std::array<std::string_view, kSourceCount> kSourcesEn = {"High level", "RCA",     "Bluetooth",
                                                                   "Optical",    "Coaxial", "Player"};
constexpr std::array<int, kSourceCount> kSourceSlots = {0, 1, 2, 3, 3, 4};

constexpr std::array<std::string_view, kNoiseGateCount> kGates = {"",      "-110dB", "-98dB", "-95dB", "-92dB",
                                                                  "-89dB", "-86dB",  "-83dB", "-80dB"};
constexpr std::string_view kGateOffZh = "关闭";
constexpr std::string_view kGateOffEn = "Close";

// English names of the channel types, for tool tips on the car picture.
constexpr std::array<std::string_view, 25> kTypeNamesEn = {
    "None",          "Front left tweeter", "Front left mid",      "Front left woofer",    "Front left mid-high",
    "Front left mid-low", "Front left full range", "Front right tweeter", "Front right mid",  "Front right woofer",
    "Front right mid-high", "Front right mid-low", "Front right full range", "Rear left tweeter",
    "Rear left mid-low", "Rear left full range", "Rear right tweeter", "Rear right mid-low",
    "Rear right full range", "Centre tweeter", "Centre mid-low", "Centre full range", "Left subwoofer",
    "Right subwoofer", "Subwoofer"};

std::span<const std::uint8_t> OutputTypes(std::span<const std::uint8_t> types) {
  return types.first(std::min<std::size_t>(types.size(), kOutputChannels));
}

bool SetByte(std::uint8_t& byte, int value) {
  const auto v = static_cast<std::uint8_t>(value);
  if (byte == v) return false;
  byte = v;
  return true;
}

}  // namespace

bool PositionSpot::Has(int type) const {
  for (int i = 0; i < typeCount; ++i)
    if (types[static_cast<std::size_t>(i)] == type) return true;
  return false;
}

const std::array<PositionSpot, kPositionCount>& PositionSpots() { return kSpots; }

const PositionSpot* SpotOfCode(int code) {
  for (const auto& s : kSpots)
    if (s.code == code) return &s;
  return nullptr;
}

const PositionSpot* SpotOfButton(int buttonId) {
  for (const auto& s : kSpots)
    if (s.buttonId == buttonId) return &s;
  return nullptr;
}

const PositionSpot* SpotOfType(int type) {
  if (type <= 0) return nullptr;
  for (const auto& s : kSpots)
    if (s.Has(type)) return &s;
  return nullptr;
}

int DelaySpinOfBox(int boxId) { return boxId == kLastDelayBox ? kLastDelaySpin : boxId + kDelaySpinOffset; }

std::optional<int> ChannelForPosition(std::span<const std::uint8_t> types, int code) {
  const PositionSpot* spot = SpotOfCode(code);
  if (!spot) return std::nullopt;
  const auto channels = OutputTypes(types);
  const bool firstOfGroup = std::find(kFirstMatchCodes.begin(), kFirstMatchCodes.end(), code) != kFirstMatchCodes.end();
  std::optional<int> found;
  for (std::size_t ch = 0; ch < channels.size(); ++ch) {
    const int type = channels[ch];
    if (firstOfGroup) {
      if (spot->Has(type)) return static_cast<int>(ch);
    } else if (type == code) {
      found = static_cast<int>(ch);
    }
  }
  return found;
}

bool PositionShown(std::span<const std::uint8_t> types, int code) {
  const PositionSpot* spot = SpotOfCode(code);
  if (!spot) return false;
  for (std::uint8_t type : OutputTypes(types))
    if (type != 0 && spot->Has(type)) return true;
  return false;
}

std::string_view PositionName(int code, Language lang) {
  if (code < 0 || code >= static_cast<int>(kTypeNamesEn.size())) return {};
  return lang == Language::Chinese ? ChannelTypeName(code) : kTypeNamesEn[static_cast<std::size_t>(code)];
}

bool SelectButtonActs(int current, int pressed) { return pressed != current || pressed == kAlwaysReselectChannel; }

bool CurveButtonActs(int current, int button) { return button != current; }

std::optional<int> PairPartner(const DeviceImage& image, int channel) {
  for (const LinkPair& pair : image.linkPairs) {
    if (!pair.active) continue;
    if (pair.first == channel) return pair.second;
    if (pair.second == channel) return pair.first;
  }
  return std::nullopt;
}

std::string_view SourceName(int index, Language lang) {
  if (index < 0 || index >= kSourceCount) return {};
  const auto i = static_cast<std::size_t>(index);
  return lang == Language::Chinese ? kSourcesZh[i] : kSourcesEn[i];
}

int SourceVolumeSlot(int source) {
  return kSourceSlots[static_cast<std::size_t>(std::clamp(source, 0, kMaxSource))];
}

std::string_view NoiseGateName(int index, Language lang) {
  if (index < 0 || index >= kNoiseGateCount) return {};
  if (index == 0) return lang == Language::Chinese ? kGateOffZh : kGateOffEn;
  return kGates[static_cast<std::size_t>(index)];
}

bool StoreMasterVolume(DeviceImage& image, int volume) {
  volume = std::clamp(volume, 0, kMasterVolumeMax);
  const bool changed = image.MasterVolume() != volume;
  PutS16(image.systemArea, sys::kMasterVolume, static_cast<std::int16_t>(volume));
  // A plain byte copy into the current source's slot; the source volume range is wider (0..100).
  image.sourceVolumes[static_cast<std::size_t>(SourceVolumeSlot(ShownSource(image)))] = static_cast<std::uint8_t>(volume);
  return changed;
}

bool StoreInputSource(DeviceImage& image, int source) {
  source = std::clamp(source, 0, kMaxSource);
  image.editorBytes[kEditorSourceCopy] = static_cast<std::uint8_t>(source);
  return SetByte(image.systemArea[sys::kSource], source);
}

bool StoreNoiseGate(DeviceImage& image, int index) {
  return SetByte(image.systemArea[sys::kNoiseGate], std::clamp(index, 0, kNoiseGateCount - 1));
}

bool StoreMasterSwitch(DeviceImage& image, bool soundOn) { return SetByte(image.systemArea[sys::kMasterSwitch], soundOn ? 1 : 0); }

bool StoreDspSwitch(DeviceImage& image, bool on) { return SetByte(image.systemArea[sys::kDspSwitch], on ? 1 : 0); }

int ShownSource(const DeviceImage& image) { return std::min<int>(image.InputSource(), kMaxSource); }

UpdateFile LoadOrCreateUpdateFile(Settings& settings, const UpdateFile& current) {
  auto name = settings.Get(kUpdateFileKey, kUpdateFileName);
  auto path = settings.Get(kUpdateFileKey, kUpdateFilePath);
  if (!name && !path) {
    settings.Set(kUpdateFileKey, kUpdateFileName, current.name);
    settings.Set(kUpdateFileKey, kUpdateFilePath, current.path);
    return current;
  }
  return {std::string(TruncateText(name.value_or(std::string()), kUpdateNameBuffer - 1)),
          std::string(TruncateText(path.value_or(std::string()), kUpdatePathBuffer - 1))};
}

bool QueueSystemWrite(Engine& engine, SystemItem item) {
  if (!engine.Connected()) return false;
  std::lock_guard lock(engine.Transfer());
  engine.Queue().Push(engine.Builder().BuildSystemWrite(item, 0));
  return true;
}


// ---- Linking ---------------------------------------------------------------------------------

namespace {

constexpr std::array<PairTypes, kLinkPairEntries> kPairTypes = {{
    {1, 7},    // front tweeters
    {2, 8},    // front mids
    {3, 9},    // front woofers
    {4, 10},   // front upper mids
    {5, 11},   // front lower mids
    {6, 12},   // front full range
    {13, 16},  // rear tweeters
    {14, 17},  // rear woofers
    {15, 18},  // rear full range
    {22, 23},  // subwoofers
}};

}  // namespace

const std::array<PairTypes, kLinkPairEntries>& LinkPairTypes() { return kPairTypes; }

int BuildLinkPairs(DeviceImage& image) {
  // Channel numbers are kept one higher while scanning, so that 0 means "no channel of this type".
  std::array<int, kLinkPairEntries> left{};
  std::array<int, kLinkPairEntries> right{};
  // Only the eight output channels count: a type byte beyond them (the table has twelve) names no
  // channel, and pairing it would make a copy into a channel that does not exist.
  const auto types = OutputTypes(image.ChannelTypes());
  for (std::size_t ch = 0; ch < types.size(); ++ch) {
    for (std::size_t j = 0; j < kPairTypes.size(); ++j) {
      if (types[ch] == kPairTypes[j].left) left[j] = static_cast<int>(ch) + 1;
      if (types[ch] == kPairTypes[j].right) right[j] = static_cast<int>(ch) + 1;
    }
  }
  int active = 0;
  for (std::size_t j = 0; j < kPairTypes.size(); ++j) {
    LinkPair& pair = image.linkPairs[j];
    pair.active = left[j] != 0 && right[j] != 0 ? 1 : 0;
    pair.first = static_cast<std::uint8_t>(left[j] ? left[j] - 1 : 0);
    pair.second = static_cast<std::uint8_t>(right[j] ? right[j] - 1 : 0);
    active += pair.active;
  }
  return active;
}

void ClearLinks(DeviceImage& image) {
  for (int i = 0; i < kLinkGroupEntries; ++i) image.linkGroups[static_cast<std::size_t>(i)] = i;
  for (LinkPair& pair : image.linkPairs) pair = LinkPair{};
}

std::vector<int> LinkGroup(const DeviceImage& image, int channel) {
  std::vector<int> group;
  for (int ch = 0; ch < kOutputChannels; ++ch)
    if (ch == channel || image.SameLinkGroup(channel, ch)) group.push_back(ch);
  return group;
}

std::vector<ChannelCopy> JoinLinkGroup(DeviceImage& image, int group, int channel) {
  std::vector<ChannelCopy> copies;
  if (channel < 0 || channel >= kOutputChannels) return copies;
  auto& number = image.linkGroups[static_cast<std::size_t>(channel)];
  if (number == group) return copies;
  number = group;
  for (int other = 0; other < kOutputChannels; ++other)
    if (other != channel && image.linkGroups[static_cast<std::size_t>(other)] == group) copies.push_back({other, channel});
  return copies;
}

std::vector<ChannelCopy> LinkActivePairs(DeviceImage& image, CopyDirection direction) {
  std::vector<ChannelCopy> copies;
  for (const LinkPair& pair : image.linkPairs) {
    if (!pair.active) continue;
    const int reference = direction == CopyDirection::LeftToRight ? pair.first : pair.second;
    const int follower = direction == CopyDirection::LeftToRight ? pair.second : pair.first;
    for (const ChannelCopy& c : JoinLinkGroup(image, reference, follower)) copies.push_back(c);
  }
  return copies;
}

// ---- Crossover limits ------------------------------------------------------------------------

int LimitHighPass(int highPassHz, int lowPassHz) { return std::min(highPassHz, lowPassHz); }

int LimitLowPass(int highPassHz, int lowPassHz) { return std::max(highPassHz, lowPassHz); }

int LimitPageHighPass(int channel, int highPassHz, int lowPassHz) {
  if (channel == kLimitedHighPassChannel && highPassHz > kLimitedHighPassHz)
    return std::min(kLimitedHighPassHz, lowPassHz);
  return LimitHighPass(highPassHz, lowPassHz);
}

// ---- Whole-block sends -----------------------------------------------------------------------

std::vector<BlockSend> BracketedBlockSends(std::span<const int> muted, std::span<const int> sent, bool flagLast) {
  std::vector<BlockSend> plan;
  for (int ch : muted) plan.push_back({BlockSend::Kind::Mute, ch});
  for (int ch : sent) plan.push_back({BlockSend::Kind::Block, ch});
  // The flag goes on the last block, whichever channel that is: a reply to an earlier one would
  // close the progress window while blocks are still on their way.
  if (flagLast && !sent.empty()) plan[muted.size() + sent.size() - 1].finishesTransfer = true;
  for (int ch : muted) plan.push_back({BlockSend::Kind::Restore, ch});
  return plan;
}

std::vector<BlockSend> CopyBlockSends(std::span<const ChannelCopy> copies, bool flagLast) {
  std::vector<BlockSend> plan;
  for (const ChannelCopy& c : copies) plan.push_back({BlockSend::Kind::Block, c.target});
  if (flagLast && !plan.empty()) plan.back().finishesTransfer = true;
  return plan;
}

bool RunBlockSends(Engine& engine, std::span<const BlockSend> plan, const std::function<void(CKTV_Data&)>& edit) {
  // The TransferLock first, then the model lock: the worker takes them in this order too.
  std::lock_guard transfer(engine.Transfer());
  CKTV_Data& data = engine.Data();
  auto lock = data.Lock();
  if (!engine.Connected()) {
    edit(data);
    return false;
  }
  CKTVCommand& queue = engine.Queue();
  FrameBuilder& builder = engine.Builder();
  std::array<bool, kOutputChannels> soundOn{};
  bool edited = false;
  bool flagged = false;
  for (const BlockSend& step : plan) {
    if (step.channel < 0 || step.channel >= kOutputChannels) continue;
    CKTV_OutData& channel = data.Output(step.channel);
    const auto index = static_cast<std::size_t>(step.channel);
    if (step.kind != BlockSend::Kind::Mute && !edited) {
      edit(data);
      edited = true;
    }
    switch (step.kind) {
      case BlockSend::Kind::Mute:
        soundOn[index] = channel.OutputSwitch();
        channel.SetOutputSwitch(false);
        queue.Push(channel.PackItem31(builder));
        break;
      case BlockSend::Kind::Block: {
        SendDataPtr block = channel.PackAllAndSend(builder, 0);
        if (!block) break;
        if (step.finishesTransfer) {
          block->standalone = 1;
          flagged = true;
        }
        queue.Push(std::move(block));
        break;
      }
      case BlockSend::Kind::Restore:
        channel.SetOutputSwitch(soundOn[index]);
        queue.Push(channel.PackItem31(builder));
        // The item just queued carries the whole switch group as it stands now.
        channel.DirtyFlags().item31 = false;
        break;
    }
  }
  if (!edited) edit(data);
  return flagged;
}

void ResetBands(CKTV_Data& data, int channel) {
  CKTVEQ& eq = data.Output(channel).Eq();
  const auto centres = OutputBandCentres();
  const int bands = std::min<int>(eq.BandCount(), static_cast<int>(centres.size()));
  for (int k = 0; k < bands; ++k) eq.Filter(k).ResetBand(centres[static_cast<std::size_t>(k)]);
}

bool EqBypassOn(const CKTV_Data& data, int channel) {
  const CKTVEQ& eq = data.Output(channel).Eq();
  if (eq.BandCount() == 0) return false;
  for (int k = 0; k < eq.BandCount(); ++k)
    if (!eq.Filter(k).IsFlat()) return false;
  return true;
}

// ---- Mix page --------------------------------------------------------------------------------

bool StoreMixShare(CKTV_Data& data, int channel, int source, int percent) {
  if (channel < 0 || channel >= kOutputChannels || source < 0 || source >= kMixColumns) return false;
  percent = std::clamp(percent, 0, kMixMax);
  CKTV_OutData& out = data.Output(channel);
  if (out.InputMix()[static_cast<std::size_t>(source)] == percent) return false;
  // The share's own setter marks the item that carries its byte (sources 0..7 ride in item 33,
  // 8..11 in item 34), so every column reaches the processor.
  out.SetInputShare(source, percent);
  return true;
}

bool StoreMixPageField(DeviceImage& image, int field, int value) {
  if (field < 0 || field >= kMixPageFieldCount) return false;
  return SetByte(image.mixPageFlags[static_cast<std::size_t>(field) + 1], std::clamp(value, 0, kMixPageFieldMax));
}

// ---- Source volumes --------------------------------------------------------------------------

bool StoreSourceVolume(DeviceImage& image, int slot, int volume) {
  if (slot < 0 || slot >= kSourceVolumeSlots) return false;
  return SetByte(image.sourceVolumes[static_cast<std::size_t>(slot)], std::clamp(volume, 0, kSourceVolumeMax));
}

int NextSourceVolumeColumn(int column) { return (std::clamp(column, 0, kSourceVolumeSlots - 1) + 1) % kSourceVolumeSlots; }

}  // namespace zelto::view_rules
