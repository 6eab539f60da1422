#include "presets/ui/preset_dialogs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QLineEdit>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "controls/bit_button.h"
#include "controls/input_events.h"
#include "core/bytes.h"
#include "presets/preset_file.h"
#include "presets/preset_name.h"
#include "presets/ui/dialog_fixture.h"
#include "support/trace_lines.h"

namespace zelto {
namespace {

using Lines = std::vector<std::string>;
using testing::Click;
using testing::Press;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

using testing::Join;
using testing::OutputLines;
using testing::QuietWrap;

QPoint Centre(QWidget* w) { return w->rect().center(); }

/// The live output blocks as the processor receives them.
std::vector<std::uint8_t> Outputs(const DeviceImage& image, int slot) {
  std::vector<std::uint8_t> b;
  for (int c = 0; c < kOutputChannels; ++c) {
    const auto block = const_cast<DeviceImage&>(image).Block(slot, BlockType::Output, c).first(out::kSendSize);
    b.insert(b.end(), block.begin(), block.end());
  }
  return b;
}

/// Gives every live output a gain and a delay of its own, inside the ranges the objects accept,
/// and lets the objects take them over.
void MarkLiveOutputs(Engine& engine, int seed) {
  std::lock_guard lock(engine.Transfer());
  for (int c = 0; c < kOutputChannels; ++c) {
    auto block = engine.Image().Block(0, BlockType::Output, c);
    PutU16(block, out::kGain, static_cast<std::uint16_t>(20 + seed + c));
    PutS16(block, out::kDelay, static_cast<std::int16_t>(40 * c + seed));
  }
  engine.Data().UnpackAll(engine.Image().live, CKTV_Data::kEffectPartLive);
}

/// What the dialogs asked and told, with scripted answers.
struct Prompts {
  PresetDialogHooks Hooks() {
    PresetDialogHooks h;
    h.inform = [this](const QString& t) { informed.push_back(t); };
    h.confirm = [this](const QString& t) {
      asked.push_back(t);
      return confirmAnswer;
    };
    h.askName = [this](const QString& current) {
      nameOffered.push_back(current);
      return name;
    };
    h.chooseFile = [this](PresetFileDialog kind, const QString& filter) {
      fileKinds.push_back(kind);
      filters.push_back(filter);
      return file;
    };
    h.chooseCommand = [this](int, const QPoint&) { return command; };
    h.showFileTitle = [this](const QString& t) { titles.push_back(t); };
    return h;
  }

  std::optional<QString> name;
  std::optional<QString> file;
  std::optional<SlotCommand> command;
  bool confirmAnswer = true;
  std::vector<QString> informed, asked, nameOffered, filters, titles;
  std::vector<PresetFileDialog> fileKinds;
};

class PresetDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("zelto-presets-ui-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  void ConnectClean() {
    ASSERT_TRUE(sim.Connect());
    sim.processor().ClearFrameLog();
  }
  // Handles notices until the last batch has ended (its progress window is down).
  void WaitIdle() {
    ASSERT_TRUE(sim.Pump([&] { return !sim.view().transferShown; }));
  }

  static inline int counter = 0;
  fs::path dir;
  testing::SimDialogFixture sim;
  PresetFiles& files = sim.runtime().files();
  Prompts prompts;
};

TEST_F(PresetDialogs, SlotButtonsShowNamesOrDigitsAndNeedTheProcessor) {
  sim.NameOnProcessor(1, "Daily Drive");
  sim.NameOnProcessor(4, "  Stage  ");
  CSourceLoadDlg load(sim.engine(), files, Language::English, prompts.Hooks());
  CSourceSaveDlg save(sim.engine(), files, Language::English, prompts.Hooks());
  for (PresetDialog* d : {static_cast<PresetDialog*>(&load), static_cast<PresetDialog*>(&save)})
    for (int slot = 1; slot <= PresetDialog::kSlots; ++slot) {
      EXPECT_EQ(d->SlotButton(slot)->Text(), QString::number(slot));
      EXPECT_TRUE(d->SlotButton(slot)->IsDisabled()) << slot;
    }
  // A disabled slot sends nothing when clicked.
  Click(load.SlotButton(1), Centre(load.SlotButton(1)));
  EXPECT_EQ(sim.engine().Queue().Count(), 0u);
  // Saving one preset needs no processor; saving all slots reads them back first.
  EXPECT_FALSE(save.FileButton()->IsDisabled());
  save.ChooseAllSlots(true);
  EXPECT_TRUE(save.FileButton()->IsDisabled());
  EXPECT_TRUE(save.AllButton()->IsOn());
  EXPECT_FALSE(save.SingleButton()->IsOn());

  ConnectClean();
  sim.engine().Image().currentPreset[0] = 4;
  load.Refresh();
  save.Refresh();
  const QStringList expected = {"Daily Drive", "2", "3", "Stage", "5", "6"};
  for (int slot = 1; slot <= PresetDialog::kSlots; ++slot) {
    EXPECT_EQ(load.SlotButton(slot)->Text(), expected[slot - 1]);
    EXPECT_EQ(save.SlotButton(slot)->Text(), expected[slot - 1]);
    EXPECT_FALSE(load.SlotButton(slot)->IsDisabled());
    // Only the load dialog marks the preset that is on.
    EXPECT_EQ(load.SlotButton(slot)->IsHighlighted(), slot == 4);
    EXPECT_FALSE(save.SlotButton(slot)->IsHighlighted());
  }
  EXPECT_FALSE(save.FileButton()->IsDisabled());
  EXPECT_EQ(load.windowTitle(), "Source Load");
  EXPECT_EQ(save.windowTitle(), "Source Save");
  load.SetLanguage(Language::Chinese);
  EXPECT_EQ(load.windowTitle(), QString::fromUtf8("音效调用"));
}

TEST_F(PresetDialogs, StoreFromTheSaveDialogThenRecallFromTheLoadDialog) {
  ConnectClean();
  MarkLiveOutputs(sim.engine(), 1);
  const auto stored = Outputs(sim.engine().Image(), 0);

  // Save dialog: a click on slot 3 asks for the name, offering what the button shows.
  prompts.name = QStringLiteral("Bass Boost");
  CSourceSaveDlg save(sim.engine(), files, Language::English, prompts.Hooks());
  Click(save.SlotButton(3), Centre(save.SlotButton(3)));
  ASSERT_EQ(prompts.nameOffered, std::vector<QString>{"3"});
  const Lines store = sim.WaitFrames(0, 11);
  EXPECT_EQ(
      store,
      QuietWrap(Join({{"WRITE slot 3 SYSTEM PRESET_NAME len 16 -> ACK"}, OutputLines("WRITE", 3, " len 296 -> ACK")})));
  EXPECT_EQ(save.SlotButton(3)->Text(), "Bass Boost");
  const DeviceImage memory = sim.processor().Memory();
  EXPECT_EQ(NameFromField(memory.Preset(3)), "Bass Boost");
  EXPECT_EQ(Outputs(memory, 3), stored);
  WaitIdle();

  // Other settings go live; the load dialog brings slot 3 back.
  MarkLiveOutputs(sim.engine(), 30);
  ASSERT_NE(Outputs(sim.engine().Image(), 0), stored);
  sim.processor().ClearFrameLog();
  CSourceLoadDlg load(sim.engine(), files, Language::English, prompts.Hooks());
  EXPECT_EQ(load.SlotButton(3)->Text(), "Bass Boost");
  Click(load.SlotButton(3), Centre(load.SlotButton(3)));
  EXPECT_EQ(sim.WaitFrames(0, 10), QuietWrap(OutputLines("READ", 3, " len 8 -> DATA")));
  ASSERT_TRUE(sim.Pump([&] { return sim.engine().Tracking().IsOn() && !sim.view().transferShown; }));
  EXPECT_EQ(Outputs(sim.engine().Image(), 0), stored);
  EXPECT_EQ(sim.engine().Data().Output(2).GainCode(), 20 + 1 + 2);
  EXPECT_EQ(sim.engine().Image().currentPreset[0], 3);
  EXPECT_TRUE(load.SlotButton(3)->IsHighlighted());
  EXPECT_TRUE(prompts.informed.empty());
}

struct NameCase {
  const char* what;
  std::optional<QString> typed;
  Language lang;
  std::vector<QString> informed;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.what; }

class NameRefusals : public PresetDialogs, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameRefusals, StoreNothing) {
  ConnectClean();
  prompts.name = GetParam().typed;
  CSourceSaveDlg save(sim.engine(), files, GetParam().lang, prompts.Hooks());
  const PresetNameField before = NameToField("Keep");
  std::ranges::copy(before, sim.engine().Image().Preset(2).begin());
  save.Refresh();
  Click(save.SlotButton(2), Centre(save.SlotButton(2)));
  sim.PumpFor(150ms);
  EXPECT_TRUE(sim.Frames().empty());
  EXPECT_EQ(prompts.informed, GetParam().informed);
  EXPECT_EQ(NameFromField(sim.engine().Image().Preset(2)), "Keep");
  EXPECT_EQ(save.SlotButton(2)->Text(), "Keep");
}

INSTANTIATE_TEST_SUITE_P(
    Blank, NameRefusals,
    ::testing::Values(
        NameCase{"Spaces", QStringLiteral("    "), Language::English, {"The name can not be all spaces!"}},
        NameCase{"Empty", QString(), Language::Chinese, {QString::fromUtf8("组名不能全为空格!")}},
        NameCase{"Cancelled", std::nullopt, Language::English, {}}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(PresetDialogs, ContextMenuDeletesOnlyAfterOkAndLoadsWithoutTheMute) {
  sim.NameOnProcessor(2, "Old");
  ConnectClean();
  const auto slotBefore = Outputs(sim.processor().Memory(), 2);
  CSourceLoadDlg load(sim.engine(), files, Language::Chinese, prompts.Hooks());
  ASSERT_EQ(load.SlotButton(2)->Text(), "Old");

  // Cancelled: nothing goes out.
  prompts.command = SlotCommand::Delete;
  prompts.confirmAnswer = false;
  Press(load.SlotButton(2), Centre(load.SlotButton(2)), Qt::RightButton);
  ASSERT_EQ(prompts.asked, std::vector<QString>{QString::fromUtf8("是否删除本组音效数据?")});
  sim.PumpFor(150ms);
  EXPECT_TRUE(sim.Frames().empty());
  EXPECT_EQ(load.SlotButton(2)->Text(), "Old");

  // OK: an empty name, the slot's settings stay.
  prompts.confirmAnswer = true;
  Press(load.SlotButton(2), Centre(load.SlotButton(2)), Qt::RightButton);
  EXPECT_EQ(sim.WaitFrames(0, 1), Lines{"WRITE slot 2 SYSTEM PRESET_NAME len 16 -> ACK"});
  EXPECT_EQ(load.SlotButton(2)->Text(), "2");
  EXPECT_EQ(NameFromField(sim.processor().Memory().Preset(2)), "");
  EXPECT_EQ(Outputs(sim.processor().Memory(), 2), slotBefore);
  WaitIdle();

  // Load from the menu reads the slot without muting the master output around it.
  sim.processor().ClearFrameLog();
  prompts.command = SlotCommand::Load;
  Press(load.SlotButton(5), Centre(load.SlotButton(5)), Qt::RightButton);
  EXPECT_EQ(sim.WaitFrames(0, 8), OutputLines("READ", 5, " len 8 -> DATA"));
  WaitIdle();

  // Save from the load dialog's menu is the save dialog's store.
  sim.processor().ClearFrameLog();
  prompts.command = SlotCommand::Save;
  prompts.name = QStringLiteral("From Load");
  Press(load.SlotButton(6), Centre(load.SlotButton(6)), Qt::RightButton);
  const Lines store = sim.WaitFrames(0, 11);
  ASSERT_EQ(store.size(), 11u);
  EXPECT_EQ(store[1], "WRITE slot 6 SYSTEM PRESET_NAME len 16 -> ACK");
  EXPECT_EQ(NameFromField(sim.processor().Memory().Preset(6)), "From Load");
}

TEST_F(PresetDialogs, OnePresetSavedAndLoadedThroughTheFileButtons) {
  ConnectClean();
  MarkLiveOutputs(sim.engine(), 5);

  // Saved under a name without extension: ".dsps" is added and the title shown.
  prompts.file = QString::fromStdString((dir / "club night").string());
  CSourceSaveDlg save(sim.engine(), files, Language::English, prompts.Hooks());
  Click(save.FileButton(), Centre(save.FileButton()));
  const fs::path written = dir / "club night.dsps";
  ASSERT_TRUE(fs::exists(written));
  EXPECT_EQ(fs::file_size(written), preset_file::kSingleSize);
  EXPECT_EQ(prompts.fileKinds, std::vector<PresetFileDialog>{PresetFileDialog::Save});
  EXPECT_EQ(prompts.filters.back(), "*.dsps (*.dsps)");
  EXPECT_EQ(prompts.titles, std::vector<QString>{"club night.ds"});  // 13 characters
  // What the file holds: the objects packed into the live image.
  const auto saved = Outputs(sim.engine().Image(), 0);
  sim.PumpFor(100ms);
  EXPECT_TRUE(sim.Frames().empty());  // a single preset is saved from the editor alone

  // Other settings go live, then the file is loaded: the processor gets it as the live preset.
  MarkLiveOutputs(sim.engine(), 40);
  prompts.file = QString::fromStdString(written.string());
  CSourceLoadDlg load(sim.engine(), files, Language::English, prompts.Hooks());
  Click(load.FileButton(), Centre(load.FileButton()));
  EXPECT_EQ(prompts.filters.back(), "*.dsps;*.dspa (*.dsps *.dspa)");
  const Lines lines = sim.WaitFrames(0, 9);
  EXPECT_EQ(lines,
            Join({{"WRITE slot 0 SYSTEM PRESET_NAME len 16 -> ACK"}, OutputLines("WRITE", 0, " len 296 -> ACK")}));
  EXPECT_EQ(Outputs(sim.processor().Memory(), 0), saved);
  EXPECT_EQ(Outputs(sim.engine().Image(), 0), saved);
  EXPECT_EQ(sim.view().refreshes > 0, true);
  EXPECT_EQ(prompts.titles.back(), "club night.ds");
  EXPECT_TRUE(prompts.informed.empty());
}

TEST_F(PresetDialogs, AllSlotsSavedAfterTheReadBackAndSentBackWhenLoaded) {
  sim.NameOnProcessor(1, "Alpha");
  sim.NameOnProcessor(6, "Omega");
  ConnectClean();
  const std::string chosen = (dir / "everything").string();
  prompts.file = QString::fromStdString(chosen);
  PresetDialogHooks hooks = prompts.Hooks();
  // The main view's side: the read-back's end writes the file.
  sim.handler = [&](Notice n, std::intptr_t, std::intptr_t) {
    HandlePresetFileNotice(files, n, Language::English, hooks, nullptr);
  };

  CSourceSaveDlg save(sim.engine(), files, Language::English, hooks);
  Click(save.AllButton(), Centre(save.AllButton()));
  ASSERT_TRUE(save.AllSlotsChosen());
  Click(save.FileButton(), Centre(save.FileButton()));
  EXPECT_EQ(prompts.filters.back(), "*.dspa (*.dspa)");
  const fs::path written = chosen + ".dspa";
  ASSERT_TRUE(sim.Pump([&] { return fs::exists(written) && !prompts.titles.empty(); }));
  EXPECT_EQ(fs::file_size(written), preset_file::kAllSlotsSize);
  EXPECT_EQ(prompts.titles, std::vector<QString>{"everything.ds"});
  const Lines reads = sim.WaitFrames(0, 2 + 6 * 9);
  ASSERT_EQ(reads.size(), 2u + 6u * 9u);
  EXPECT_EQ(reads.front(), "WRITE slot 0 SYSTEM SETTINGS len 8 -> ACK");
  EXPECT_EQ(reads[1], "READ slot 1 MUSIC_IN ch 2 into-slot len 8 -> DATA");
  EXPECT_EQ(reads.back(), "WRITE slot 0 SYSTEM SETTINGS len 8 -> ACK");
  WaitIdle();

  // The processor's names change; loading the file puts them back.
  sim.NameOnProcessor(1, "Changed");
  sim.NameOnProcessor(6, "");
  sim.processor().ClearFrameLog();
  prompts.file = QString::fromStdString(written.string());
  CSourceLoadDlg load(sim.engine(), files, Language::English, hooks);
  Click(load.FileButton(), Centre(load.FileButton()));
  const Lines sent = sim.WaitFrames(0, 8 + 1 + 8 + 6 * 10 + 8);
  ASSERT_EQ(sent.size(), 85u);
  EXPECT_EQ(NameFromField(sim.processor().Memory().Preset(1)), "Alpha");
  EXPECT_EQ(NameFromField(sim.processor().Memory().Preset(6)), "Omega");
  EXPECT_EQ(load.SlotButton(1)->Text(), "Alpha");
  EXPECT_TRUE(prompts.informed.empty());
}

struct BadFile {
  const char* what;
  const char* name;
  std::vector<std::uint8_t> bytes;
  const char* message;
};

void PrintTo(const BadFile& c, std::ostream* os) { *os << c.what; }

class BadFiles : public PresetDialogs, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadFiles, AreRefusedWithTheirMessageAndSendNothing) {
  ConnectClean();
  MarkLiveOutputs(sim.engine(), 3);
  const auto live = Outputs(sim.engine().Image(), 0);
  const fs::path path = dir / GetParam().name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(GetParam().bytes.data()),
             static_cast<std::streamsize>(GetParam().bytes.size()));
  prompts.file = QString::fromStdString(path.string());
  CSourceLoadDlg load(sim.engine(), files, Language::English, prompts.Hooks());
  Click(load.FileButton(), Centre(load.FileButton()));
  sim.PumpFor(150ms);
  EXPECT_EQ(prompts.informed, std::vector<QString>{GetParam().message});
  EXPECT_TRUE(prompts.titles.empty());
  EXPECT_TRUE(sim.Frames().empty());
  EXPECT_EQ(Outputs(sim.engine().Image(), 0), live);
}

std::vector<std::uint8_t> WithId(std::string id, std::size_t size) {
  std::vector<std::uint8_t> b(size, 0);
  b[0] = static_cast<std::uint8_t>(id.size());
  std::copy(id.begin(), id.end(), b.begin() + 1);
  return b;
}

INSTANTIATE_TEST_SUITE_P(
    Load, BadFiles,
    ::testing::Values(
        BadFile{"WrongIdSingle", "a.dsps", WithId("KVN-615T-MAX-1.1", preset_file::kSingleSize), "error for file!"},
        BadFile{"ShortSingle", "b.dsps", WithId("KVN-615T-MAX-1.0", 100), "error for file!"},
        BadFile{"WrongIdAll", "c.dspa", WithId("kVN-615T-MAX-1.0", preset_file::kAllSlotsSize),
                "Read all MusicFile Error"},
        BadFile{"OtherExtension", "d.txt", WithId("KVN-615T-MAX-1.0", preset_file::kSingleSize), "error for file!"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(PresetDialogs, NameDialogReturnsWhatWasTyped) {
  CPresetNameDlg dialog(QStringLiteral("3"), Language::English);
  EXPECT_EQ(dialog.windowTitle(), "Source Name:");
  EXPECT_EQ(dialog.Edit()->text(), "3");
  dialog.Edit()->setText(QStringLiteral("Night Drive"));
  emit dialog.Edit()->returnPressed();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Name(), "Night Drive");

  CPresetNameDlg cancelled(QStringLiteral("x"), Language::Chinese);
  EXPECT_EQ(cancelled.windowTitle(), QString::fromUtf8("音效组名:"));
  auto* cancel = cancelled.findChild<BitButton*>(QString::number(CPresetNameDlg::kCancelId));
  ASSERT_NE(cancel, nullptr);
  Click(cancel, Centre(cancel));
  EXPECT_EQ(cancelled.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace zelto
