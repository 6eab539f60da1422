#include "ctl/texts.h"

#include <array>

namespace zelto::ctl {

namespace {

struct Pair {
  std::string_view en;
  std::string_view zh;
};

Pair PairOf(Text text) {
  switch (text) {
    case Text::Model: return {"Model", "型号"};
    case Text::CurrentPreset: return {"Current preset", "当前音效"};
    case Text::InputSource: return {"Input source", "音源"};
    case Text::MasterVolume: return {"Master volume", "总音量"};
    case Text::MasterSound: return {"Master sound", "总输出"};
    case Text::SoundOn: return {"on", "开"};
    case Text::SoundMuted: return {"muted", "静音"};
    case Text::ChannelTypes: return {"Channel types", "通道类型"};
    case Text::PresetSlots: return {"Preset slots", "音效组"};
    case Text::EmptyName: return {"(empty)", "(空)"};
    case Text::NoPreset: return {"none", "无"};
    case Text::Saved: return {"saved %s", "已保存 %s"};
    case Text::Sent: return {"sent %s to the processor", "已将 %s 发送到设备"};
    case Text::Stored: return {"stored slot %s as \"%s\"", "已保存到音效组 %s: \"%s\""};
    case Text::Recalled: return {"recalled slot %s", "已调用音效组 %s"};
    case Text::Deleted: return {"deleted the name of slot %s", "已删除音效组 %s 的名称"};
    case Text::SettingsSent: return {"%s setting(s) sent and acknowledged", "已发送 %s 项设置, 设备已确认"};
    case Text::NoDifferences: return {"no differences", "没有差异"};
    case Text::OtherBytesDiffer:
      return {"%s byte(s) differ in data not shown as values", "%s 个字节不同 (不以数值显示的数据)"};
    case Text::LiveOnly:
      return {"one file holds one preset, the other all slots: comparing the live presets",
              "一个文件为单组音效, 另一个为全部音效: 只比较当前音效"};
    case Text::OtherModel: return {"the processor reports another model: \"%s\"", "设备型号不符: \"%s\""};
    case Text::FinishingFirst:
      return {"interrupted: the transfer under way is finished first", "已收到中断请求: 当前传输完成后退出"};
    case Text::TimedOut: return {"the processor did not finish in time", "设备未在规定时间内完成"};
    case Text::PullExtension:
      return {"%s: the file name must end in .dsps (live preset) or .dspa (all slots)",
              "%s: 文件名须以 .dsps (当前音效) 或 .dspa (全部音效) 结尾"};
    case Text::NotAPresetFile: return {"%s: not a .dsps or .dspa file", "%s: 不是 .dsps 或 .dspa 文件"};
    case Text::FileTooLarge: return {"%s: longer than the %s bytes of such a file", "%s: 长度超过此类文件的 %s 字节"};
    case Text::FileWrongSize: return {"%s: %s bytes, such a file has %s", "%s: 长度为 %s 字节, 此类文件应为 %s 字节"};
    case Text::FileWrongIdentification:
      return {"%s: does not start with the identification \"%s\"", "%s: 文件标识不是 \"%s\""};
    case Text::CannotOpen: return {"%s: cannot be read", "%s: 无法读取"};
    case Text::SlotNotInFile: return {"%s: holds no slot %s", "%s: 不含音效组 %s"};
    case Text::BadSetting: return {"%s: expected KEY=VALUE", "%s: 格式应为 KEY=VALUE"};
    case Text::UnknownKey:
      return {"%s: unknown setting (see zeltoctl set --help)", "%s: 未知设置 (见 zeltoctl set --help)"};
    case Text::BadValue: return {"%s: cannot read \"%s\"", "%s: 无法识别 \"%s\""};
    case Text::OutOfRange: return {"%s: \"%s\" is outside %s", "%s: \"%s\" 超出范围 %s"};
    case Text::FixedInGeq:
      return {"%s: frequency and Q are fixed while the channel's EQ is in GEQ mode",
              "%s: 图示均衡模式下频率和Q值不可修改"};
    case Text::LimitedToLowPass: return {"%s: stopped at the low-pass frequency %s", "%s: 已限制为低通频率 %s"};
    case Text::LimitedToHighPass: return {"%s: stopped at the high-pass frequency %s", "%s: 已限制为高通频率 %s"};
    case Text::NothingToSet: return {"nothing to set: give KEY=VALUE arguments", "没有设置: 请给出 KEY=VALUE 参数"};
    case Text::File: return {"File", "文件"};
    case Text::SinglePreset: return {"single preset", "单组音效"};
    case Text::AllSlots: return {"all slots", "全部音效"};
    case Text::PresetName: return {"Preset name", "音效组名"};
    case Text::LivePreset: return {"live", "当前"};
    case Text::StoredSlot: return {"slot %s", "音效组 %s"};
    case Text::System: return {"System", "系统"};
    case Text::NoiseGate: return {"Noise gate", "噪声门"};
    case Text::DspSwitch: return {"DSP", "DSP"};
    case Text::On: return {"on", "开"};
    case Text::Off: return {"off", "关"};
    case Text::Channel: return {"Ch", "通道"};
    case Text::Name: return {"Name", "名称"};
    case Text::Type: return {"Type", "类型"};
    case Text::Mute: return {"Mute", "静音"};
    case Text::Phase: return {"Phase", "相位"};
    case Text::Gain: return {"Gain", "增益"};
    case Text::Delay: return {"Delay", "延时"};
    case Text::Level: return {"Level", "电平"};
    case Text::EqMode: return {"EQ", "均衡"};
    case Text::HighPass: return {"High-pass", "高通"};
    case Text::LowPass: return {"Low-pass", "低通"};
    case Text::Limiter: return {"Limiter", "限幅"};
    case Text::Mix: return {"Mix (inputs 1..12, %)", "混音 (输入 1..12, %)"};
    case Text::Band: return {"Band", "频段"};
    case Text::Frequency: return {"Freq", "频率"};
    case Text::Inputs: return {"Inputs", "输入"};
    case Text::GroupLevels: return {"Group levels", "组电平"};
  }
  return {};
}

// What each channel-type name says, for readers of the English interface (the names exist in
// Chinese only).
constexpr std::array<std::string_view, kChannelTypeNames> kTypeMeanings = {
    "none",
    "front left, high",
    "front left, mid",
    "front left, low",
    "front left, upper mid",
    "front left, lower mid",
    "front left, full range",
    "front right, high",
    "front right, mid",
    "front right, low",
    "front right, upper mid",
    "front right, lower mid",
    "front right, full range",
    "rear left, high",
    "rear left, lower mid",
    "rear left, full range",
    "rear right, high",
    "rear right, lower mid",
    "rear right, full range",
    "centre, high",
    "centre, lower mid",
    "centre, full range",
    "left subwoofer",
    "right subwoofer",
    "subwoofer",
    "front, user-defined",
    "rear, user-defined",
};

}  // namespace

std::string_view TextOf(Text text, Language lang) {
  const Pair p = PairOf(text);
  return lang == Language::Chinese ? p.zh : p.en;
}

std::string_view ChannelTypeMeaning(int code) {
  if (code < 0 || code >= static_cast<int>(kTypeMeanings.size())) return {};
  return kTypeMeanings[static_cast<std::size_t>(code)];
}

std::string Fill(std::string_view text, const std::vector<std::string_view>& args) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
      if (next < args.size()) out += args[next++];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace zelto::ctl
