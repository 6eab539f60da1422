#pragma once
// The command-line tool's own words, in both interface languages. Where the editor already has a
// text for the same thing (connection, preset and update messages, source names, filter names),
// the tool uses the editor's text instead and nothing here repeats it.

#include <string>
#include <string_view>
#include <vector>

#include "core/encodings.h"

namespace zelto::ctl {

enum class Text {
  // info
  Model,
  CurrentPreset,
  InputSource,
  MasterVolume,
  MasterSound,
  SoundOn,
  SoundMuted,
  ChannelTypes,
  PresetSlots,
  EmptyName,
  NoPreset,
  // results
  Saved,
  Sent,
  Stored,
  Recalled,
  Deleted,
  SettingsSent,
  NoDifferences,
  OtherBytesDiffer,
  LiveOnly,
  // failures
  OtherModel,
  TimedOut,
  FinishingFirst,
  PullExtension,
  NotAPresetFile,
  FileTooLarge,
  FileWrongSize,
  FileWrongIdentification,
  CannotOpen,
  SlotNotInFile,
  // set
  BadSetting,
  UnknownKey,
  BadValue,
  OutOfRange,
  FixedInGeq,
  LimitedToLowPass,
  LimitedToHighPass,
  NothingToSet,
  // show
  File,
  SinglePreset,
  AllSlots,
  PresetName,
  LivePreset,
  StoredSlot,
  System,
  NoiseGate,
  DspSwitch,
  On,
  Off,
  Channel,
  Name,
  Type,
  Mute,
  Phase,
  Gain,
  Delay,
  Level,
  EqMode,
  HighPass,
  LowPass,
  Limiter,
  Mix,
  Band,
  Frequency,
  Inputs,
  GroupLevels,
};

std::string_view TextOf(Text text, Language lang);

/// The words that explain a channel-type code in English (the type names exist in Chinese only);
/// empty for codes without a name.
std::string_view ChannelTypeMeaning(int code);

/// `text` with every "%s" replaced, in order, by the arguments.
std::string Fill(std::string_view text, const std::vector<std::string_view>& args);

}  // namespace zelto::ctl
