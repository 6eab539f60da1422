#include "presets/preset_file.h"

#include <gtest/gtest.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "support/temp_dir.h"

namespace zelto {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// Every byte of the image a PC file can carry, in one comparable run.
Bytes FileAreas(const DeviceImage& image) {
  Bytes b(image.systemArea.begin(), image.systemArea.end());
  for (const auto& slot : image.presetSlots) b.insert(b.end(), slot.begin(), slot.end());
  b.insert(b.end(), image.live.begin(), image.live.end());
  b.insert(b.end(), image.delayMemory.begin(), image.delayMemory.end());
  return b;
}

// An image whose every file byte differs from a freshly initialised one.
DeviceImage PatternImage(std::uint8_t seed) {
  DeviceImage image;
  InitDeviceImage(image);
  std::uint8_t v = seed;
  auto fill = [&](std::span<std::uint8_t> s) {
    for (auto& b : s) b = v++;
  };
  fill(image.systemArea);
  for (auto& slot : image.presetSlots) fill(slot);
  fill(image.live);
  fill(image.delayMemory);
  image.delayMemory[kDelaySelector] = 2;
  return image;
}

using TempDir = testing::TestTempDir;

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(PresetFile, SinglePresetFileIsTheIdentificationThenTheLiveImage) {
  DeviceImage image = PatternImage(7);
  const Bytes file = SinglePresetFileBytes(image);
  ASSERT_EQ(file.size(), 2809u);
  EXPECT_EQ(file[0], 0x10);
  EXPECT_EQ(std::string(file.begin() + 1, file.begin() + 17), "KVN-615T-MAX-1.0");
  EXPECT_TRUE(std::equal(image.live.begin(), image.live.end(), file.begin() + 17));
}

TEST(PresetFile, AllSlotsFileHoldsEveryAreaInItsPlace) {
  DeviceImage image = PatternImage(3);
  const Bytes file = AllSlotsFileBytes(image);
  ASSERT_EQ(file.size(), 58731u);
  EXPECT_EQ(file[0], 0x10);
  EXPECT_TRUE(std::equal(image.systemArea.begin(), image.systemArea.end(), file.begin() + 17));
  // Each stored slot is saved with its music input switched on.
  for (int slot = 1; slot <= 20; ++slot) {
    const auto at = file.begin() + 49 + (slot - 1) * 2792;
    EXPECT_EQ(at[371], 1) << slot;
    EXPECT_TRUE(std::equal(image.presetSlots[slot - 1].begin(), image.presetSlots[slot - 1].end(), at)) << slot;
  }
  EXPECT_TRUE(std::equal(image.live.begin(), image.live.end(), file.begin() + 55889));
  EXPECT_TRUE(std::equal(image.delayMemory.begin(), image.delayMemory.end(), file.begin() + 58681));
}

TEST(PresetFile, BothFormatsRoundTripByteForByte) {
  DeviceImage source = PatternImage(11);
  const Bytes all = AllSlotsFileBytes(source);
  DeviceImage target;
  InitDeviceImage(target);
  ASSERT_TRUE(ReadAllSlotsFile(all, target));
  EXPECT_EQ(FileAreas(target), FileAreas(source));
  EXPECT_EQ(AllSlotsFileBytes(target), all);

  const Bytes single = SinglePresetFileBytes(source);
  DeviceImage other;
  InitDeviceImage(other);
  ASSERT_TRUE(ReadSinglePresetFile(single, other));
  EXPECT_EQ(other.live, source.live);
  EXPECT_EQ(SinglePresetFileBytes(other), single);
}

TEST(PresetFile, LoadingLimitsTheDelayMemorySelectorToThree) {
  DeviceImage source = PatternImage(5);
  source.delayMemory[kDelaySelector] = 7;
  DeviceImage target;
  InitDeviceImage(target);
  ASSERT_TRUE(ReadAllSlotsFile(AllSlotsFileBytes(source), target));
  EXPECT_EQ(target.delayMemory[kDelaySelector], 3);
}

// Each broken file is refused whole: not one byte of the image changes.
TEST(PresetFile, ABrokenFileChangesNothing) {
  DeviceImage source = PatternImage(1);
  const Bytes single = SinglePresetFileBytes(source);
  const Bytes all = AllSlotsFileBytes(source);
  auto changed = [](Bytes b, std::size_t at) {
    b[at] ^= 0x01;
    return b;
  };
  struct Case {
    const char* what;
    Bytes bytes;
    PresetFileKind kind;
  };
  const Case cases[] = {
      {"single one byte short", Bytes(single.begin(), single.end() - 1), PresetFileKind::Single},
      {"single one byte long",
       [&] {
         auto b = single;
         b.push_back(0);
         return b;
       }(),
       PresetFileKind::Single},
      {"single empty", Bytes{}, PresetFileKind::Single},
      {"single length byte", changed(single, 0), PresetFileKind::Single},
      {"single first character", changed(single, 1), PresetFileKind::Single},
      {"single last character", changed(single, 16), PresetFileKind::Single},
      {"all-slots file as single", all, PresetFileKind::Single},
      {"all one byte short", Bytes(all.begin(), all.end() - 1), PresetFileKind::AllSlots},
      {"all only the identification", Bytes(all.begin(), all.begin() + 17), PresetFileKind::AllSlots},
      {"all middle character", changed(all, 9), PresetFileKind::AllSlots},
      {"single file as all-slots", single, PresetFileKind::AllSlots},
  };
  for (const auto& c : cases) {
    DeviceImage target = PatternImage(200);
    const Bytes before = FileAreas(target);
    const bool read =
        c.kind == PresetFileKind::Single ? ReadSinglePresetFile(c.bytes, target) : ReadAllSlotsFile(c.bytes, target);
    EXPECT_FALSE(read) << c.what;
    EXPECT_EQ(FileAreas(target), before) << c.what;
  }
}

TEST(PresetFile, FormatComesFromTheTextAfterTheLastDot) {
  struct Case {
    const char* path;
    std::optional<PresetFileKind> kind;
  };
  const Case cases[] = {
      {"/home/u/club.dsps", PresetFileKind::Single},
      {"/home/u/all.dspa", PresetFileKind::AllSlots},
      {"/home/u/v1.2.dsps", PresetFileKind::Single},
      {"/home/u/club.DSPS", std::nullopt},
      {"/home/u/club.dsps.bak", std::nullopt},
      {"/home/u/club.txt", std::nullopt},
      {"/home/u/club", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(PresetFileKindOf(c.path), c.kind) << c.path;
}

TEST(PresetFile, SavesAppendTheirExtensionOnlyWhenMissing) {
  EXPECT_EQ(WithPresetExtension("/tmp/abc", PresetFileKind::Single), "/tmp/abc.dsps");
  EXPECT_EQ(WithPresetExtension("/tmp/abc.dsps", PresetFileKind::Single), "/tmp/abc.dsps");
  EXPECT_EQ(WithPresetExtension("/tmp/abc.dsps", PresetFileKind::AllSlots), "/tmp/abc.dsps.dspa");
  EXPECT_EQ(WithPresetExtension("/tmp/abc", PresetFileKind::AllSlots), "/tmp/abc.dspa");
}

TEST(PresetFile, TitleIsTheNameCutToThirteenCharacters) {
  EXPECT_EQ(PresetFileTitle("/data/presets/abc.dsps"), "abc.dsps");
  EXPECT_EQ(PresetFileTitle("/data/presets/summer-night-2.dspa"), "summer-night-");
  // Characters, not bytes: eleven CJK characters and ".d".
  EXPECT_EQ(PresetFileTitle("/d/\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80"
                            "\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80.dsps"),
            "\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80"
            "\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80\xE4\xB8\x80.d");
}

TEST(PresetFileIo, ReplacingWriteOverwritesAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("abc.dsps");
  ASSERT_TRUE(WriteFileReplacing(path, Bytes{1, 2, 3}));
  ASSERT_TRUE(WriteFileReplacing(path, Bytes{4, 5}));
  EXPECT_EQ(ReadAll(path), (Bytes{4, 5}));
  EXPECT_EQ(dir.Entries(), 1u);
}

TEST(PresetFileIo, AWriteThatCannotBeginChangesNothing) {
  TempDir dir;
  EXPECT_FALSE(WriteFileReplacing(dir.File("missing/abc.dsps"), Bytes{1}));
  // A folder of that name is never replaced by a file.
  fs::create_directory(dir.File("taken.dsps"));
  EXPECT_FALSE(WriteFileReplacing(dir.File("taken.dsps"), Bytes{1}));
  EXPECT_TRUE(fs::is_directory(dir.File("taken.dsps")));
  EXPECT_EQ(dir.Entries(), 1u);
}

// The disk fills up half-way through a save (a file-size limit stands in for it): the file that
// was there keeps every byte and no temporary file is left behind. Runs in a child process
// because the limit holds for the whole process. Windows has no such limit to set.
#ifndef _WIN32
TEST(PresetFileIo, AWriteThatFailsHalfWayKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.File("all.dspa");
  const Bytes old(1000, 0x5A);
  ASSERT_TRUE(WriteFileReplacing(path, old));
  const Bytes big(58731, 0x11);
  const auto saveUnderLimit = [&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::exit(WriteFileReplacing(path, big) ? 1 : 0);
  };
  EXPECT_EXIT(saveUnderLimit(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadAll(path), old);
  EXPECT_EQ(dir.Entries(), 1u);
}
#endif

TEST(PresetFileIo, ReadingStopsAtTheLimit) {
  TempDir dir;
  const std::string path = dir.File("x.dsps");
  ASSERT_TRUE(WriteFileReplacing(path, Bytes(100, 1)));
  EXPECT_EQ(ReadWholeFile(path, 100).bytes.size(), 100u);
  EXPECT_EQ(ReadWholeFile(path, 99).status, FileBytes::Status::TooLarge);
  EXPECT_EQ(ReadWholeFile(dir.File("none.dsps"), 100).status, FileBytes::Status::CannotOpen);
}

}  // namespace
}  // namespace zelto
