#include "presets/preset_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/file_io.h"
#include "presets/preset_name.h"
#include "support/engine_harness.h"
#include "support/temp_dir.h"

namespace zelto {
namespace {

using testing::SimEngine;
using testing::SimKind;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;
using Status = PresetFileResult::Status;
namespace fs = std::filesystem;

using TempDir = testing::TestTempDir;

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes FileAreas(Engine& engine) {
  std::lock_guard lock(engine.Transfer());
  const DeviceImage& image = engine.Image();
  Bytes b(image.systemArea.begin(), image.systemArea.end());
  for (const auto& slot : image.presetSlots) b.insert(b.end(), slot.begin(), slot.end());
  b.insert(b.end(), image.live.begin(), image.live.end());
  b.insert(b.end(), image.delayMemory.begin(), image.delayMemory.end());
  return b;
}

// Values a user would have set: through the image, then into the objects as a load would.
void SetUpLive(Engine& engine, std::uint16_t gainCode, std::string_view name) {
  std::lock_guard lock(engine.Transfer());
  for (int c = 0; c < kOutputChannels; ++c)
    PutU16(engine.Image().Block(0, BlockType::Output, c), out::kGain, static_cast<std::uint16_t>(gainCode + c));
  NameToField(name, engine.Image().live);
  engine.Data().UnpackAll(engine.Image().live, CKTV_Data::kEffectPartLive);
}

class PresetFilesOnline : public ::testing::TestWithParam<SimKind> {
 protected:
  void SetUp() override {
    sim = std::make_unique<SimEngine>(GetParam());
    ASSERT_TRUE(sim->Connect());
    files = &sim->files();
  }
  Engine& engine() { return sim->engine(); }

  TempDir dir;
  std::unique_ptr<SimEngine> sim;
  PresetFiles* files = nullptr;
};

TEST_P(PresetFilesOnline, SingleFileSavesLoadsAndSendsTheLoadedSettingsLive) {
  SetUpLive(engine(), 40, "Club");
  const PresetFileResult saved = files->SavePresetFile(dir.File("abc"));
  ASSERT_EQ(saved.status, Status::Saved);
  EXPECT_EQ(saved.path, dir.File("abc.dsps"));
  EXPECT_EQ(saved.title, "abc.dsps");
  const Bytes file = ReadAll(dir.File("abc.dsps"));
  ASSERT_EQ(file.size(), 2809u);
  EXPECT_EQ(file[17 + 371], 1);  // the music input is saved switched on

  SetUpLive(engine(), 10, "Other");
  const std::size_t before = sim->FrameLineCount();
  const PresetFileResult loaded = files->LoadFile(dir.File("abc.dsps"));
  ASSERT_EQ(loaded.status, Status::Loaded);
  EXPECT_EQ(loaded.transfer, SlotOutcome::Queued);
  EXPECT_EQ(loaded.title, "abc.dsps");
  EXPECT_GE(sim->view.refreshes, 1);
  Lines expected{"WRITE slot 0 SYSTEM PRESET_NAME len 16 -> ACK"};
  for (int c = 0; c < kOutputChannels; ++c)
    expected.push_back("WRITE slot 0 OUTPUT ch " + std::to_string(c) + " len 296 -> ACK");
  EXPECT_EQ(sim->WaitForFrames(before, expected.size()), expected);
  EXPECT_EQ(GetU16(engine().Image().Block(0, BlockType::Output, 3), out::kGain), 43);
  EXPECT_EQ(NameFromField(engine().Image().live), "Club");
  if (auto* p = sim->processor()) {
    EXPECT_EQ(GetU16(p->Memory().Block(0, BlockType::Output, 3), out::kGain), 43);
  }

  // Saving what was loaded gives the same file again, byte for byte.
  ASSERT_EQ(files->SavePresetFile(dir.File("again.dsps")).status, Status::Saved);
  EXPECT_EQ(ReadAll(dir.File("again.dsps")), file);
}

TEST_P(PresetFilesOnline, SavingAllSlotsReadsSlotsOneToSixBackInsideTheMuteThenWrites) {
  if (auto* p = sim->processor())
    p->EditMemory([](DeviceImage& m) {
      NameToField("Dev4", m.Preset(4));
      PutU16(m.Block(4, BlockType::Output, 1), out::kGain, 17);
    });
  const std::size_t before = sim->FrameLineCount();
  const PresetFileResult started = files->SaveAllSlotsFile(dir.File("all"));
  ASSERT_EQ(started.status, Status::ReadingBack);
  EXPECT_TRUE(files->SavePending());
  EXPECT_FALSE(fs::exists(dir.File("all.dspa")));  // nothing is written before the slots are back

  std::optional<PresetFileResult> written;
  sim->handler = [&](Notice n, std::intptr_t, std::intptr_t) {
    PresetFileResult r;
    if (files->HandleNotice(n, &r)) written = r;
  };
  ASSERT_TRUE(sim->PumpUntil([&] { return written.has_value(); }));
  EXPECT_EQ(written->status, Status::Saved);
  EXPECT_EQ(written->title, "all.dspa");
  const Lines lines = sim->WaitForFrames(before, 56);
  ASSERT_EQ(lines.size(), 56u);
  EXPECT_EQ(lines.front(), "WRITE slot 0 SYSTEM SETTINGS len 8 -> ACK");
  EXPECT_EQ(lines[1], "READ slot 1 MUSIC_IN ch 2 into-slot len 8 -> DATA");
  EXPECT_EQ(lines[54], "READ slot 6 OUTPUT ch 7 into-slot len 8 -> DATA");
  EXPECT_EQ(lines.back(), "WRITE slot 0 SYSTEM SETTINGS len 8 -> ACK");

  const Bytes file = ReadAll(dir.File("all.dspa"));
  ASSERT_EQ(file.size(), 58731u);
  if (sim->processor()) {
    const std::size_t slot4 = 49 + 3 * 2792;
    EXPECT_EQ(GetU16(std::span(file).subspan(slot4 + 408 + 1 * 298), out::kGain), 17);
  }
  // Reading the file back into a fresh engine gives the same image, and saving it again the same file.
  SimEngine other(SimKind::InProcess);
  PresetFiles otherFiles(other.engine());
  const PresetFileResult loaded = otherFiles.LoadFile(dir.File("all.dspa"));
  EXPECT_EQ(loaded.status, Status::Loaded);
  EXPECT_EQ(loaded.transfer, SlotOutcome::NotConnected);
  EXPECT_EQ(FileAreas(other.engine()), FileAreas(engine()));
}

TEST_P(PresetFilesOnline, LoadingAllSlotsSendsEverythingAndLimitsTheDelaySelector) {
  // A file from another installation: slot names, a system area and delay record 7.
  SimEngine author(SimKind::InProcess);
  {
    DeviceImage& image = author.engine().Image();
    NameToField("From file", image.Preset(2));
    image.delayMemory[kDelaySelector] = 7;
    image.SystemSettings()[sys::kNoiseGate] = 4;
    PutU16(image.Block(3, BlockType::Output, 5), out::kGain, 12);
  }
  // Written without the read-back (no processor there): straight from the image.
  ASSERT_TRUE(WriteFileReplacing(dir.File("shared.dspa"), AllSlotsFileBytes(author.engine().Image())));

  const std::size_t before = sim->FrameLineCount();
  const PresetFileResult loaded = files->LoadFile(dir.File("shared.dspa"));
  ASSERT_EQ(loaded.status, Status::Loaded);
  EXPECT_EQ(loaded.transfer, SlotOutcome::Queued);
  EXPECT_EQ(engine().Image().delayMemory[kDelaySelector], 3);
  EXPECT_EQ(engine().Image().SystemSettings()[sys::kNoiseGate], 4);
  const Lines lines = sim->WaitForFrames(before, 85);
  ASSERT_EQ(lines.size(), 85u);
  EXPECT_EQ(lines[17 + 10], "WRITE slot 2 SYSTEM PRESET_NAME len 16 -> ACK");
  if (auto* p = sim->processor()) {
    const auto memory = p->Memory();
    EXPECT_EQ(NameFromField(memory.Preset(2)), "From file");
    EXPECT_EQ(GetU16(memory.Block(3, BlockType::Output, 5), out::kGain), 12);
  }
}

INSTANTIATE_TEST_SUITE_P(Sim, PresetFilesOnline, ::testing::Values(SimKind::InProcess, SimKind::Tcp),
                         testing::KindName);

class PresetFilesOffline : public ::testing::Test {
 protected:
  TempDir dir;
  SimEngine sim{SimKind::InProcess};
  PresetFiles& files = sim.files();
};

// A file that is short, foreign or of another kind is refused whole, with its format's message.
TEST_F(PresetFilesOffline, ABrokenFileChangesNothingAndSaysWhy) {
  Engine& engine = sim.engine();
  const Bytes single = SinglePresetFileBytes(engine.Image());
  const Bytes all = AllSlotsFileBytes(engine.Image());
  auto foreign = [](Bytes b) {
    b[5] = 'X';
    return b;
  };
  struct Case {
    std::string name;
    Bytes bytes;
    PresetMessage message;
  };
  const Case cases[] = {
      {"short.dsps", Bytes(single.begin(), single.end() - 1), PresetMessage::FileError},
      {"long.dsps",
       [&] {
         auto b = single;
         b.push_back(1);
         return b;
       }(),
       PresetMessage::FileError},
      {"foreign.dsps", foreign(single), PresetMessage::FileError},
      {"short.dspa", Bytes(all.begin(), all.end() - 1), PresetMessage::ReadAllMusicFileError},
      {"foreign.dspa", foreign(all), PresetMessage::ReadAllMusicFileError},
      {"swapped.dspa", single, PresetMessage::ReadAllMusicFileError},
      {"valid.DSPS", single, PresetMessage::FileError},  // the extension is compared exactly
      {"valid.txt", single, PresetMessage::FileError},
  };
  SetUpLive(engine, 44, "Mine");
  const Bytes before = FileAreas(engine);
  for (const auto& c : cases) {
    WriteAll(dir.File(c.name), c.bytes);
    const PresetFileResult r = files.LoadFile(dir.File(c.name));
    EXPECT_EQ(r.status, Status::Failed) << c.name;
    EXPECT_EQ(r.message, c.message) << c.name;
    EXPECT_EQ(FileAreas(engine), before) << c.name;
    EXPECT_EQ(GetU16(engine.Image().Block(0, BlockType::Output, 0), out::kGain), 44) << c.name;
  }
  EXPECT_EQ(files.LoadFile(dir.File("missing.dsps")).message, PresetMessage::FileError);
  EXPECT_EQ(files.LoadFile(dir.File("missing.dspa")).message, PresetMessage::ReadAllMusicFileError);
  EXPECT_TRUE(sim.view.messages.empty());  // nothing was sent, so nothing about the link either
  EXPECT_EQ(sim.view.refreshes, 0);
  EXPECT_EQ(engine.Queue().Count(), 0u);
}

TEST_F(PresetFilesOffline, SavingOverAnExistingFileReplacesItAndAFailedSaveKeepsIt) {
  WriteAll(dir.File("abc.dsps"), Bytes(10, 7));
  ASSERT_EQ(files.SavePresetFile(dir.File("abc.dsps")).status, Status::Saved);
  EXPECT_EQ(ReadAll(dir.File("abc.dsps")).size(), 2809u);

  const PresetFileResult failed = files.SavePresetFile(dir.File("no-such-folder/abc"));
  EXPECT_EQ(failed.status, Status::Failed);
  EXPECT_EQ(failed.message, PresetMessage::SaveMusicFileError);
  EXPECT_EQ(PresetMessageText(*failed.message, Language::English), "Save MusicFile Error!");
  EXPECT_EQ(PresetMessageText(*failed.message, Language::Chinese), "保存音乐文件错误!");
}

TEST_F(PresetFilesOffline, SavingAllSlotsNeedsTheProcessor) {
  const PresetFileResult r = files.SaveAllSlotsFile(dir.File("all"));
  EXPECT_EQ(r.status, Status::NotConnected);
  EXPECT_EQ(sim.view.messages, std::vector<UserMessage>{UserMessage::UnableToConnect});
  EXPECT_FALSE(files.SavePending());
  EXPECT_EQ(files.OnPresetsReadDone().status, Status::Idle);
  EXPECT_FALSE(fs::exists(dir.File("all.dspa")));
}

TEST_F(PresetFilesOffline, LoadingASingleFileOfflineLoadsItAndSaysTheProcessorIsMissing) {
  SimEngine author(SimKind::InProcess);
  SetUpLive(author.engine(), 30, "Away");
  PresetFiles authorFiles(author.engine());
  ASSERT_EQ(authorFiles.SavePresetFile(dir.File("away")).status, Status::Saved);

  const PresetFileResult r = files.LoadFile(dir.File("away.dsps"));
  EXPECT_EQ(r.status, Status::Loaded);
  EXPECT_EQ(r.transfer, SlotOutcome::NotConnected);
  EXPECT_EQ(sim.view.messages, std::vector<UserMessage>{UserMessage::UnableToConnect});
  EXPECT_EQ(NameFromField(sim.engine().Image().live), "Away");
  EXPECT_EQ(sim.engine().Image().live[preset::kMusicSwitch], 1);
}

// The processor stops answering during the read-back: no file is written, then or later.
TEST(PresetFilesLinkLost, ASaveWhoseReadBackFailsWritesNothing) {
  TempDir dir;
  SimEngine sim(SimKind::InProcess);
  // The missing reply fails the link in a fraction of a second; healthy replies come at once.
  LinkTiming timing = sim.engine().Timing();
  timing.replyDeadline = std::chrono::milliseconds(300);
  sim.engine().SetLinkTiming(timing);
  ASSERT_TRUE(sim.Connect());
  PresetFiles& files = sim.files();
  sim.handler = [&](Notice n, std::intptr_t, std::intptr_t) { files.HandleNotice(n, nullptr); };
  sim.processor()->InjectFault(sim::Fault::DropReply, {10, sim::kEveryFrame});
  ASSERT_EQ(files.SaveAllSlotsFile(dir.File("all")).status, Status::ReadingBack);
  ASSERT_TRUE(sim.PumpUntil([&] { return sim.Seen(Notice::LinkFailed) > 0 && !sim.engine().Connected(); }));
  EXPECT_FALSE(files.SavePending());
  EXPECT_EQ(sim.view.messages, std::vector<UserMessage>{UserMessage::UnableToConnect});
  EXPECT_FALSE(fs::exists(dir.File("all.dspa")));
}

TEST(PresetTexts, FileMessagesInBothLanguages) {
  struct Case {
    PresetMessage message;
    const char* zh;
    const char* en;
  };
  const Case cases[] = {
      {PresetMessage::FileError, "文件错误!", "error for file!"},
      {PresetMessage::SaveFileError, "保存文件错误!", "save File Error!"},
      {PresetMessage::ReadAllMusicFileError, "读所有音乐文件错误!", "Read all MusicFile Error"},
      {PresetMessage::BlankName, "组名不能全为空格!", "The name can not be all spaces!"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PresetMessageText(c.message, Language::Chinese), c.zh);
    EXPECT_EQ(PresetMessageText(c.message, Language::English), c.en);
  }
}

}  // namespace
}  // namespace zelto
