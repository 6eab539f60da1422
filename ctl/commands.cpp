#include "ctl/commands.h"
#include "core/channel_label.h"
#include "edit/editor.h"

#include <algorithm>
#include <cstdio>

#include "ctl/ctl.h"
#include "ctl/edits.h"
#include "ctl/preset_report.h"
#include "ctl/session.h"
#include "ctl/text_safety.h"
#include "ctl/texts.h"
#include "ctl/values.h"
#include "edit/system_settings.h"
#include "presets/preset_files.h"
#include "presets/preset_name.h"
#include "presets/preset_slots.h"
#include "presets/preset_texts.h"
#include "update/update_transfer.h"

namespace zelto::ctl {

namespace {

constexpr int kCurveDecimals = 4;
constexpr std::size_t kNameColumn = 8;  // a channel name has at most 7 characters
constexpr std::size_t kTypeColumn = 3;

/// Opens the device and connects; null when that failed (the message is printed).
std::unique_ptr<DeviceSession> Connected(CommandContext& c) {
  auto session = DeviceSession::Open(c.deviceUrl, c.view, c.usbWrite);
  if (!session || !session->Connect()) return nullptr;
  return session;
}

std::string Line(std::string_view label, std::string_view value) {
  std::string s(label);
  s += ": ";
  s += value;
  return s;
}

std::string SlotName(const DeviceImage& image, int slot, Language lang) {
  const std::string name = NameFromField(image.Preset(slot));
  return name.empty() ? std::string(TextOf(Text::EmptyName, lang)) : PrintableText(name);
}

int Failure(CommandContext& c, std::string_view text) {
  c.view.Fail(text);
  return kExitFailure;
}

int Usage(CommandContext& c, std::string_view text) {
  c.term.Message(text);
  return kExitUsage;
}

}  // namespace

// ---- device commands ----------------------------------------------------------------------------

int InfoCommand(CommandContext& c) {
  auto session = Connected(c);
  if (!session) return kExitFailure;
  const Language lang = c.Lang();
  Engine& engine = session->engine();
  const DeviceImage& image = engine.Image();

  const auto& info = image.deviceInfoText;
  const std::string model(info.begin(), std::find(info.begin(), info.end(), std::uint8_t{0}));
  c.term.Result(Line(TextOf(Text::Model, lang), PrintableText(model)));
  const int current = image.currentPreset[0];
  std::string preset = std::to_string(current);
  if (current >= kFirstPresetSlot && current <= kDeviceSlots) {
    const std::string name = NameFromField(image.Preset(current));
    if (!name.empty()) preset += " (" + PrintableText(name) + ")";
  }
  if (current == 0) preset = std::string(TextOf(Text::NoPreset, lang));
  c.term.Result(Line(TextOf(Text::CurrentPreset, lang), preset));
  c.term.Result(Line(TextOf(Text::InputSource, lang), rules::SourceName(rules::ShownSource(image), lang)));
  c.term.Result(
      Line(TextOf(Text::MasterVolume, lang), std::to_string(OutputGainDbFromCode(image.MasterVolume())) + "dB"));
  c.term.Result(Line(TextOf(Text::MasterSound, lang),
                     TextOf(image.MasterSwitch() != 0 ? Text::SoundOn : Text::SoundMuted, lang)));

  c.term.Result(std::string(TextOf(Text::ChannelTypes, lang)) + ":");
  {
    auto lock = engine.Data().Lock();
    for (int ch = 0; ch < kOutputChannels; ++ch) {
      const int type = image.ChannelTypes()[static_cast<std::size_t>(ch)];
      std::string line = "  CH" + std::to_string(ch + 1) + "  " +
                         PadToWidth(engine.Data().Output(ch).Name(), kNameColumn) +
                         PadToWidth(std::to_string(type), kTypeColumn) + std::string(ChannelTypeName(type));
      if (lang == Language::English && !ChannelTypeMeaning(type).empty())
        line += " (" + std::string(ChannelTypeMeaning(type)) + ")";
      c.term.Result(line);
    }
  }
  c.term.Result(std::string(TextOf(Text::PresetSlots, lang)) + ":");
  for (int slot = kFirstPresetSlot; slot <= kDeviceSlots; ++slot)
    c.term.Result("  " + std::to_string(slot) + "  " + SlotName(image, slot, lang));
  return kExitOk;
}

int PullCommand(CommandContext& c, const std::string& path) {
  const auto kind = PresetFileKindOf(path);
  if (!kind) return Usage(c, Fill(TextOf(Text::PullExtension, c.Lang()), {path}));
  auto session = Connected(c);
  if (!session) return kExitFailure;
  PresetFiles& files = session->files();
  PresetFileResult r;
  if (*kind == PresetFileKind::Single) {
    r = files.SavePresetFile(path);
  } else {
    // The slots are read back first; the file is written when the last of them has arrived.
    const int before = session->PresetsReadsDone();
    r = files.SaveAllSlotsFile(path);
    if (r.status != PresetFileResult::Status::ReadingBack) return kExitFailure;
    if (!session->PumpUntil([&] { return session->PresetsReadsDone() > before && session->AllSent(); },
                            session_timing::kTransferLimit))
      return kExitFailure;
    if (!session->LastSaveWritten()) return kExitFailure;
    r.status = PresetFileResult::Status::Saved;
  }
  if (r.status != PresetFileResult::Status::Saved) {
    if (r.message) return Failure(c, PresetMessageText(*r.message, c.Lang()));
    return kExitFailure;
  }
  c.term.Result(Fill(TextOf(Text::Saved, c.Lang()), {r.path}));
  return kExitOk;
}

int PushCommand(CommandContext& c, const std::string& path) {
  // A file that cannot be loaded fails before the processor is touched.
  std::string error;
  if (!ReadPresetFile(path, c.Lang(), &error)) return Failure(c, error);
  auto session = Connected(c);
  if (!session) return kExitFailure;
  PresetFiles& files = session->files();
  const PresetFileResult r = session->editor().LoadPresetFile(files, path);
  if (r.status == PresetFileResult::Status::Failed)
    return Failure(c, r.message ? PresetMessageText(*r.message, c.Lang()) : std::string_view{});
  if (r.transfer != SlotOutcome::Queued) return kExitFailure;
  if (!session->WaitUntilSent()) return kExitFailure;
  c.term.Result(Fill(TextOf(Text::Sent, c.Lang()), {path}));
  return kExitOk;
}

int StoreCommand(CommandContext& c, int slot, const std::string& name) {
  if (IsBlankName(name)) return Usage(c, PresetMessageText(PresetMessage::BlankName, c.Lang()));
  auto session = Connected(c);
  if (!session) return kExitFailure;
  if (SaveToSlotNamed(session->engine(), slot, name) != SlotOutcome::Queued) return kExitFailure;
  if (!session->WaitUntilSent()) return kExitFailure;
  c.term.Result(
      Fill(TextOf(Text::Stored, c.Lang()), {std::to_string(slot), PrintableText(NameFromField(NameToField(name)))}));
  return kExitOk;
}

int RecallCommand(CommandContext& c, int slot) {
  auto session = Connected(c);
  if (!session) return kExitFailure;
  const int before = session->LiveReadsDone();
  if (RecallFromLoadDialog(session->engine(), slot) != SlotOutcome::Queued) return kExitFailure;
  if (!session->PumpUntil([&] { return session->LiveReadsDone() > before && session->AllSent(); },
                          session_timing::kTransferLimit))
    return kExitFailure;
  c.term.Result(Fill(TextOf(Text::Recalled, c.Lang()), {std::to_string(slot)}));
  return kExitOk;
}

int DeleteCommand(CommandContext& c, int slot) {
  auto session = Connected(c);
  if (!session) return kExitFailure;
  if (DeleteSlot(session->engine(), slot) != SlotOutcome::Queued) return kExitFailure;
  if (!session->WaitUntilSent()) return kExitFailure;
  c.term.Result(Fill(TextOf(Text::Deleted, c.Lang()), {std::to_string(slot)}));
  return kExitOk;
}

int SetCommand(CommandContext& c, const std::vector<std::string>& settings) {
  const Language lang = c.Lang();
  if (settings.empty()) return Usage(c, TextOf(Text::NothingToSet, lang));
  // Every argument is read before the processor is touched: one bad value changes nothing.
  std::vector<SettingEdit> edits;
  bool bad = false;
  for (const auto& s : settings) {
    std::string error;
    if (auto e = ParseSetting(s, lang, &error))
      edits.push_back(std::move(*e));
    else {
      c.term.Message(PrintableText(error));
      bad = true;
    }
  }
  if (bad) return kExitUsage;

  auto session = Connected(c);
  if (!session) return kExitFailure;
  Engine& engine = session->engine();
  for (const auto& e : edits) {
    if (!e.check) continue;
    if (auto reason = e.check(engine.Data(), lang)) {
      c.term.Message(*reason);
      bad = true;
    }
  }
  if (bad) return kExitUsage;

  const NoteFn note = [&](const std::string& text) { c.term.Message(text); };
  {
    // One invocation is one step of the history, however many settings it names.
    Editor::StepScope step(session->editor());
    for (const auto& e : edits) e.apply(session->editor(), lang, note);
  }
  if (!session->WaitUntilSent()) return kExitFailure;
  c.term.Result(Fill(TextOf(Text::SettingsSent, lang), {std::to_string(edits.size())}));
  return kExitOk;
}

int UpdateCommand(CommandContext& c, const std::string& path) {
  auto session = DeviceSession::Open(c.deviceUrl, c.view, c.usbWrite);
  if (!session) return kExitFailure;
  UpdateTransfer& transfer = session->update();
  transfer.SetView(&c.view);
  session->BeginUpdate();
  if (transfer.StartUpdate(path) != UpdateTransfer::StartOutcome::Started) {
    // A refused file or a processor not found has shown its message; a busy transfer cannot
    // happen in a fresh session.
    if (!c.view.Failed()) c.view.Fail(UserMessageText(UserMessage::UnableToConnect, c.Lang()));
    return kExitFailure;
  }
  const bool done = session->PumpUntil([&] { return c.view.UpdateSucceeded(); }, session_timing::kUpdateLimit, false);
  return done ? kExitOk : kExitFailure;
}

// ---- file commands ------------------------------------------------------------------------------

namespace {

std::optional<PresetFileContents> ReadForCommand(CommandContext& c, const std::string& path) {
  std::string error;
  auto contents = ReadPresetFile(path, c.Lang(), &error);
  if (!contents) c.view.Fail(error);
  return contents;
}

bool CheckSlot(CommandContext& c, const PresetFileContents& file, int slot) {
  if (file.HasSlot(slot)) return true;
  c.term.Message(Fill(TextOf(Text::SlotNotInFile, c.Lang()), {file.path, std::to_string(slot)}));
  return false;
}

}  // namespace

int ShowCommand(CommandContext& c, const std::string& path, bool json, int slot) {
  auto file = ReadForCommand(c, path);
  if (!file) return kExitFailure;
  if (!CheckSlot(c, *file, slot)) return kExitUsage;
  if (json)
    WriteJson(DescribeFile(*file, slot, false), c.term.Out());
  else
    PrintFile(*file, slot, c.Lang(), c.term.Out());
  c.term.Out().flush();
  return kExitOk;
}

int DiffCommand(CommandContext& c, const std::string& a, const std::string& b, bool exitCode) {
  auto fa = ReadForCommand(c, a);
  if (!fa) return kExitFailure;
  auto fb = ReadForCommand(c, b);
  if (!fb) return kExitFailure;
  const auto lines = DiffFiles(*fa, *fb, c.Lang());
  bool differs = false;
  for (const auto& line : lines) {
    c.term.Result(line);
    if (line != TextOf(Text::LiveOnly, c.Lang())) differs = true;
  }
  if (!differs) c.term.Result(TextOf(Text::NoDifferences, c.Lang()));
  return exitCode && differs ? kExitFailure : kExitOk;
}

int CurveCommand(CommandContext& c, const std::string& path, const std::string& channelText, int slot) {
  const auto parsed = ParseChannelLabel(channelText);
  if (!parsed) return Usage(c, Fill(TextOf(Text::BadValue, c.Lang()), {"--channel", channelText}));
  const int channel = *parsed;
  auto file = ReadForCommand(c, path);
  if (!file) return kExitFailure;
  if (!CheckSlot(c, *file, slot)) return kExitUsage;
  const auto curve = ChannelCurveOf(*file, slot, channel);
  const auto& grid = FrequencyGrid();
  std::ostream& out = c.term.Out();
  for (int i = 0; i < kGridPoints; ++i) {
    char hz[32];
    std::snprintf(hz, sizeof hz, "%g", grid[static_cast<std::size_t>(i)]);
    out << hz << ',' << FormatFixed(curve[static_cast<std::size_t>(i)], kCurveDecimals) << '\n';
  }
  out.flush();
  return kExitOk;
}

}  // namespace zelto::ctl
