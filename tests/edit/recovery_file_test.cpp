#include "edit/recovery_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/bytes.h"
#include "edit/editor.h"
#include "measure/measurements_bytes.h"
#include "model/ktv_data.h"
#include "core/file_io.h"
#include "support/engine_harness.h"
#include "support/temp_dir.h"

namespace zelto {
namespace {

using testing::SimEngine;
using testing::SimKind;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

using TempDir = testing::TestTempDir;

/// A history that keeps its blob as it was handed back.
struct BlobHistory final : RecoveryPart {
  Bytes blob;
  Bytes restored;
  bool accept = true;
  Bytes SaveRecoveryPart() override { return blob; }
  bool RestoreRecoveryPart(std::span<const std::uint8_t> b) override {
    restored.assign(b.begin(), b.end());
    return accept;
  }
};

std::uint16_t OutputGain(const PresetImage& image, int channel) {
  return GetU16(std::span(image).subspan(preset::kOutput + static_cast<std::size_t>(channel) * out::kSize), out::kGain);
}

RecoveryData SampleData() {
  RecoveryData d;
  d.ab.active = AbSide::B;
  d.ab.started = true;
  d.ab.a.fill(0x11);
  d.ab.b.fill(0x22);
  d.history = {1, 2, 3, 4, 5};
  return d;
}

TEST(RecoveryFileBytes, ReadsBackWhatItWrote) {
  const RecoveryData d = SampleData();
  const RecoveryRead r = ParseRecoveryFile(RecoveryFileBytes(d));
  ASSERT_TRUE(r.data);
  EXPECT_EQ(r.error, RecoveryReadError::None);
  EXPECT_EQ(r.data->ab.active, AbSide::B);
  EXPECT_TRUE(r.data->ab.started);
  EXPECT_EQ(r.data->ab.a, d.ab.a);
  EXPECT_EQ(r.data->ab.b, d.ab.b);
  EXPECT_EQ(r.data->history, d.history);
  EXPECT_EQ(r.data->Live(), d.ab.b);
}

TEST(RecoveryFileBytes, BrokenFilesAreRefusedAndSayWhy) {
  const Bytes good = RecoveryFileBytes(SampleData());
  struct Case {
    const char* what;
    Bytes bytes;
    RecoveryReadError error;
  };
  Bytes flipped = good;
  flipped[100] ^= 0x40;
  const std::vector<Case> cases = {
      {"empty", {}, RecoveryReadError::NotRecovery},
      {"another file", Bytes{'K', 'V', 'N', '-', '6', '1', '5', 'T', 0, 0, 0}, RecoveryReadError::NotRecovery},
      {"header only", Bytes(good.begin(), good.begin() + 16), RecoveryReadError::Damaged},
      {"one byte short", Bytes(good.begin(), good.end() - 1), RecoveryReadError::Damaged},
      {"cut in the history", Bytes(good.begin(), good.end() - 7), RecoveryReadError::Damaged},
      {"one byte too many",
       [&] {
         Bytes b = good;
         b.push_back(0);
         return b;
       }(),
       RecoveryReadError::Damaged},
      {"a flipped bit", flipped, RecoveryReadError::Damaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RecoveryRead r = ParseRecoveryFile(c.bytes);
    EXPECT_FALSE(r.data);
    EXPECT_EQ(r.error, c.error);
  }
}

/// `data` as an earlier version wrote it: the first ended after the history, the second after
/// the measurements.
Bytes OlderFile(const RecoveryData& data, std::uint32_t version) {
  RecoveryData d = data;
  d.savedAt = 0;
  d.processor.clear();
  Bytes file = RecoveryFileBytes(d);
  const std::size_t aboutPart = 4 + 9;  // its size, the time and an empty identity
  file.resize(file.size() - 4 - aboutPart);
  if (version == 1) file.resize(file.size() - 4 - d.measurements.size());
  file[recovery::kMagicSize] = static_cast<std::uint8_t>(version);
  const std::uint32_t crc = recovery::Crc32(file);
  for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  return file;
}

TEST(RecoveryFileBytes, EarlierVersionsStillReadAndALaterOneIsNamedNotDamaged) {
  RecoveryData d = SampleData();
  d.measurements = {7, 7, 7};
  d.savedAt = 1765400000;
  d.processor = "KVN-734-31EQ-V3.0";
  const RecoveryRead now = ParseRecoveryFile(RecoveryFileBytes(d));
  ASSERT_TRUE(now.data);
  EXPECT_EQ(now.data->savedAt, d.savedAt);
  EXPECT_EQ(now.data->processor, d.processor);

  const RecoveryRead v1 = ParseRecoveryFile(OlderFile(d, 1));
  ASSERT_TRUE(v1.data);
  EXPECT_EQ(v1.data->ab.b, d.ab.b);
  EXPECT_EQ(v1.data->history, d.history);
  EXPECT_TRUE(v1.data->measurements.empty());
  const RecoveryRead v2 = ParseRecoveryFile(OlderFile(d, 2));
  ASSERT_TRUE(v2.data);
  EXPECT_EQ(v2.data->measurements, d.measurements);
  EXPECT_EQ(v2.data->savedAt, 0);

  // A later version may lay its file out in any way: whatever follows its number, it is newer.
  for (Bytes later : {RecoveryFileBytes(d), Bytes{'Z', 'E', 'L', 'T', 'O', 'R', 'E', 'C', 0, 0, 0, 0}}) {
    later[recovery::kMagicSize] = recovery::kVersion + 1;
    const RecoveryRead r = ParseRecoveryFile(later);
    EXPECT_FALSE(r.data);
    EXPECT_EQ(r.error, RecoveryReadError::Newer);
    EXPECT_EQ(r.version, recovery::kVersion + 1);
  }

  // A part size beyond the file is damage, whichever part it is.
  Bytes v2bad = OlderFile(d, 2);
  const std::size_t measurementSize = v2bad.size() - 4 - 3 - 4;
  v2bad[measurementSize] = 4;
  v2bad.resize(v2bad.size() - 4);
  const std::uint32_t crc2 = recovery::Crc32(v2bad);
  for (int i = 0; i < 4; ++i) v2bad.push_back(static_cast<std::uint8_t>(crc2 >> (8 * i)));
  EXPECT_EQ(ParseRecoveryFile(v2bad).error, RecoveryReadError::Damaged);
}

TEST(RecoveryFileBytes, AMissingFileIsNotAnError) {
  TempDir dir;
  EXPECT_EQ(ReadRecoveryFile(dir.File("none.zrec")).error, RecoveryReadError::Missing);
}

class RecoveryOffline : public ::testing::Test {
 protected:
  RecoveryOffline() : sim(SimKind::InProcess), ab(sim.ab()), file(sim.engine(), ab, dir.File("data/recovery.zrec")) {
    file.SetHistory(&history);
  }
  void SetGain(int channel, int code) {
    sim.engine().Data().Edit([&](CKTV_Data& d) { d.Output(channel).SetGain(code); });
  }

  TempDir dir;
  SimEngine sim;
  AbCompare& ab;
  BlobHistory history;
  RecoveryFile file;
};

TEST_F(RecoveryOffline, WritesAtMostOncePerPeriodWhileEditsHappenAndGoesOnACleanExit) {
  using Clock = RecoveryFile::Clock;
  const Clock::time_point t0{};
  file.MarkWritten();
  EXPECT_FALSE(file.Tick(t0));  // nothing changed since the start
  EXPECT_FALSE(fs::exists(file.Path()));

  SetGain(2, 33);
  EXPECT_TRUE(file.Tick(t0));  // the folder is made on the first write
  ASSERT_TRUE(fs::exists(file.Path()));
  SetGain(2, 34);
  history.blob = {9, 9};
  EXPECT_FALSE(file.Tick(t0 + 1s));
  EXPECT_EQ(OutputGain(ReadRecoveryFile(file.Path()).data->Live(), 2), 33);
  EXPECT_TRUE(file.Tick(t0 + 2s));
  const RecoveryRead r = ReadRecoveryFile(file.Path());
  ASSERT_TRUE(r.data);
  EXPECT_EQ(OutputGain(r.data->Live(), 2), 34);
  EXPECT_EQ(r.data->history, (Bytes{9, 9}));
  EXPECT_FALSE(file.Tick(t0 + 10s));  // nothing new
  // Writing leaves no temporary file behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(file.Path()).parent_path()), fs::directory_iterator()), 1);

  file.Remove();
  EXPECT_FALSE(fs::exists(file.Path()));
}

TEST_F(RecoveryOffline, KeepsBothSidesAndRestoresThemAsOneStep) {
  SetGain(0, 40);
  ab.Switch();
  SetGain(0, 20);
  ASSERT_TRUE(file.WriteNow());

  // Another run: the same file restores B as the live tuning and A as the other side.
  SimEngine next(SimKind::InProcess);
  AbCompare& nextAb = next.ab();
  Editor& nextEditor = next.editor();
  const RecoveryRead r = ReadRecoveryFile(file.Path());
  ASSERT_TRUE(r.data);
  nextEditor.RestoreRecovered(r.data->ab);
  EXPECT_EQ(next.engine().Data().Output(0).GainCode(), 20);
  EXPECT_EQ(nextAb.Active(), AbSide::B);
  EXPECT_EQ(OutputGain(nextAb.OtherTuning(), 0), 40);
  ASSERT_EQ(nextEditor.Steps().Size(), 1u);
  // The restore is undone as a whole: the tuning from before it is back.
  ASSERT_TRUE(nextEditor.Undo());
  EXPECT_EQ(next.engine().Data().Output(0).GainCode(), 60);
  ASSERT_TRUE(nextEditor.Redo());
  EXPECT_EQ(next.engine().Data().Output(0).GainCode(), 20);
}

/// The measurements as the window holds them, without the window.
struct HeldMeasurements final : RecoveryPart {
  measure::ChannelMeasurements held;
  Bytes SaveRecoveryPart() override { return measure::MeasurementsBytes(held); }
  bool RestoreRecoveryPart(std::span<const std::uint8_t> blob) override {
    auto read = measure::MeasurementsFromBytes(blob);
    held = read ? std::move(*read) : measure::ChannelMeasurements{};
    return read || blob.empty();
  }
};

TEST_F(RecoveryOffline, TheHistoryAndTheMeasurementsComeBackWithTheTuning) {
  Editor& editor = sim.editor();
  HeldMeasurements measurements;
  RecoveryFile kept(sim.engine(), ab, dir.File("kept.zrec"));
  kept.SetHistory(&editor);
  kept.SetMeasurements(&measurements);
  editor.SetGain(4, 30);
  editor.SwitchAb();
  editor.SetGain(4, 12);
  measurements.held.Set(4, measure::Measurement{{30, 300, 3000}, {90, 91, 89}}, {}, "door.txt");
  const auto written = RecoveryFile::Clock::now();
  ASSERT_TRUE(kept.WriteNow(written));
  // A change of the measurements alone is a change too.
  measurements.held.SetSmoothing(3);
  EXPECT_TRUE(kept.Tick(written + recovery::kThrottle));

  SimEngine next(SimKind::InProcess);
  AbCompare& nextAb = next.ab();
  Editor& nextEditor = next.editor();
  HeldMeasurements nextMeasurements;
  RecoveryFile nextFile(next.engine(), nextAb, kept.Path());
  nextFile.SetHistory(&nextEditor);
  nextFile.SetMeasurements(&nextMeasurements);
  const RecoveryRead r = ReadRecoveryFile(kept.Path());
  ASSERT_TRUE(r.data);
  const auto restore = [&](const RecoveryData& d) {
    nextFile.RestoreParts(d);
    nextEditor.RestoreRecovered(d.ab);
  };
  restore(*r.data);
  EXPECT_EQ(nextMeasurements.SaveRecoveryPart(), measurements.SaveRecoveryPart());
  EXPECT_EQ(nextMeasurements.held.PathOf(4), "door.txt");
  EXPECT_EQ(nextMeasurements.held.Smoothing(), 3);
  // Each side has its history back with the restore on top of the side heard: undo takes the
  // restore back, then B's edit; A's edit is undone once A is heard.
  ASSERT_EQ(nextAb.Active(), AbSide::B);
  ASSERT_EQ(nextEditor.Steps().Size(), 2u);
  EXPECT_EQ(next.engine().Data().Output(4).GainCode(), 12);
  ASSERT_TRUE(nextEditor.Undo());
  EXPECT_EQ(next.engine().Data().Output(4).GainCode(), 60);
  ASSERT_TRUE(nextEditor.Undo());
  EXPECT_EQ(next.engine().Data().Output(4).GainCode(), 30);
  EXPECT_FALSE(nextEditor.Undo());
  nextEditor.SwitchAb();
  EXPECT_EQ(next.engine().Data().Output(4).GainCode(), 30);
  ASSERT_TRUE(nextEditor.Undo());
  EXPECT_EQ(next.engine().Data().Output(4).GainCode(), 60);

  // A part its owner refuses is left empty; the rest still comes back.
  RecoveryData damaged = *r.data;
  damaged.history.resize(damaged.history.size() - 1);
  damaged.measurements.back() ^= 1;
  damaged.measurements.push_back(0);
  restore(damaged);
  EXPECT_EQ(nextEditor.Steps().Size(), 1u) << "only the restore itself";
  EXPECT_FALSE(nextMeasurements.held.Has(4));
  EXPECT_EQ(next.engine().Data().Output(4).GainCode(), 12);
}

TEST_F(RecoveryOffline, AFailedWriteIsToldOncePerRunOfFailures) {
  const std::string blocker = dir.File("blocker");
  fs::create_directories(fs::path(blocker).parent_path());
  std::ofstream(blocker) << "a file where the folder should be";
  RecoveryFile blocked(sim.engine(), ab, blocker + "/recovery-1.zrec");
  SetGain(1, 5);
  EXPECT_FALSE(blocked.WriteNow());
  EXPECT_EQ(blocked.FailedWrites(), 1);
  const auto told = blocked.TakeFailureToTell();
  ASSERT_TRUE(told);
  EXPECT_NE(told->find("blocker"), std::string::npos) << *told;
  SetGain(1, 6);
  EXPECT_FALSE(blocked.WriteNow());
  EXPECT_FALSE(blocked.TakeFailureToTell()) << "told again while it keeps failing";
  // Once it works again, a new failure is news again.
  fs::remove(blocker);
  EXPECT_TRUE(blocked.WriteNow());
  EXPECT_FALSE(blocked.TakeFailureToTell());
}

TEST(RecoverySlots, EachEditorHasItsOwnFileAndOnlyALeftOneIsOffered) {
  TempDir dir;
  const std::string folder = dir.File("state");
  std::string error;
  auto first = recovery::ClaimOwnSlot(folder, &error);
  ASSERT_TRUE(first) << error;
  auto second = recovery::ClaimOwnSlot(folder, &error);
  ASSERT_TRUE(second) << error;
  EXPECT_NE(first->path, second->path);
  const Bytes work = RecoveryFileBytes(SampleData());
  for (const auto* slot : {&*first, &*second}) ASSERT_TRUE(WriteFileDurably(slot->path, work, &error)) << error;

  // Both editors run: neither file is anybody's to offer.
  EXPECT_FALSE(recovery::ClaimLeftFile(folder, nullptr));
  // The second one is killed: the system drops its lock, and its file is offered, to one editor.
  const std::string secondPath = second->path;
  second.reset();
  auto left = recovery::ClaimLeftFile(folder, nullptr);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->slot.path, secondPath);
  ASSERT_TRUE(left->read.data);
  EXPECT_EQ(left->read.data->history, SampleData().history);
  EXPECT_FALSE(recovery::ClaimLeftFile(folder, nullptr)) << "offered twice";
  // A third editor takes neither the running one's slot nor the left one.
  auto third = recovery::ClaimOwnSlot(folder, &error);
  ASSERT_TRUE(third);
  EXPECT_NE(third->path, first->path);
  EXPECT_NE(third->path, secondPath);
  // The first editor's file went through all of it untouched.
  EXPECT_EQ(ReadWholeFile(first->path, 1 << 20).bytes, work);
}

TEST(RecoverySlots, AFileOfANewerVersionIsLeftUntouchedAndNamed) {
  TempDir dir;
  const std::string folder = dir.File("state");
  fs::create_directories(folder);
  Bytes newer = RecoveryFileBytes(SampleData());
  newer[recovery::kMagicSize] = recovery::kVersion + 1;
  const std::string path = recovery::SlotFile(folder, 1);
  std::string error;
  ASSERT_TRUE(WriteFileDurably(path, newer, &error)) << error;
  std::vector<std::string> named;
  EXPECT_FALSE(recovery::ClaimLeftFile(folder, &named));
  EXPECT_EQ(named, std::vector<std::string>{path});
  auto own = recovery::ClaimOwnSlot(folder, &error);
  ASSERT_TRUE(own);
  EXPECT_NE(own->path, path);
  EXPECT_EQ(ReadWholeFile(path, 1 << 20).bytes, newer);
}

TEST(RecoveryOnline, ATickNeverWaitsForTheLinkAndWritesOnceTheWorkerHasPackedTheTuning) {
  TempDir dir;
  SimEngine sim(SimKind::InProcess);
  ASSERT_TRUE(sim.Connect());
  AbCompare& ab = sim.ab();
  RecoveryFile file(sim.engine(), ab, dir.File("recovery-1.zrec"));
  sim.engine().Data().Edit([](CKTV_Data& d) { d.Output(3).SetGain(21); });

  // A lost reply: the link holds its lock for a whole exchange. The tick must come back while
  // it is held; should it wait, the holder lets go only at its own deadline and says so.
  std::atomic<bool> ticked{false};
  std::atomic<bool> heldToTheEnd{false};
  std::atomic<bool> holding{false};
  std::thread link([&] {
    std::lock_guard lock(sim.engine().Transfer());
    holding = true;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!ticked && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
    heldToTheEnd = !ticked;
  });
  while (!holding) std::this_thread::sleep_for(1ms);
  EXPECT_FALSE(file.Tick(RecoveryFile::Clock::now()));
  ticked = true;
  link.join();
  EXPECT_FALSE(heldToTheEnd) << "the tick waited for the link's lock";

  // The worker packs the tuning between two exchanges; a later tick writes it.
  auto now = RecoveryFile::Clock::now();
  ASSERT_TRUE(sim.PumpUntil(
      [&] {
        now += recovery::kThrottle;
        return file.Tick(now);
      },
      10s));
  const RecoveryRead r = ReadRecoveryFile(file.Path());
  ASSERT_TRUE(r.data);
  EXPECT_EQ(OutputGain(r.data->Live(), 3), 21);
}

TEST(RecoveryOnline, ARestoreIsOneStepThatSendsWhatDiffersAndItsUndoGivesTheProcessorItsOwn) {
  for (SimKind kind : {SimKind::InProcess, SimKind::Tcp}) {
    SCOPED_TRACE(kind == SimKind::InProcess ? "in process" : "over TCP");
    SimEngine sim(kind);
    ASSERT_TRUE(sim.Connect());
    AbCompare& ab = sim.ab();
    Editor& editor = sim.editor();
    const int own = sim.engine().Data().Output(6).GainCode();
    RecoveryData d;
    d.ab = ab.Snapshot();
    PutU16(std::span(d.ab.a).subspan(preset::kOutput + 6 * out::kSize), out::kGain, 17);
    // The output blocks the processor received after `from`, once channel 6's has come.
    const auto outputBlocksFrom = [&](std::size_t from) {
      std::vector<std::string> blocks;
      sim.PumpUntil([&] {
        blocks.clear();
        for (const std::string& line : sim.WaitForFrames(from, 0, 0ms))
          if (line.find("OUTPUT ch") != std::string::npos && line.find("len 296") != std::string::npos)
            blocks.push_back(line);
        return !blocks.empty();
      });
      return blocks;
    };
    const std::vector<std::string> block{"WRITE slot 0 OUTPUT ch 6 len 296 -> ACK"};
    std::size_t before = sim.FrameLineCount();
    editor.RestoreRecovered(d.ab);
    EXPECT_EQ(outputBlocksFrom(before), block) << "only the channel that differs";
    EXPECT_EQ(sim.engine().Data().Output(6).GainCode(), 17);
    if (auto* p = sim.processor()) {
      EXPECT_EQ(GetU16(p->Memory().Block(0, BlockType::Output, 6), out::kGain), 17);
    }

    before = sim.FrameLineCount();
    ASSERT_TRUE(editor.Undo());
    EXPECT_EQ(outputBlocksFrom(before), block);
    EXPECT_EQ(sim.engine().Data().Output(6).GainCode(), own);
    sim.PumpUntil([&] { return false; }, 300ms);
    if (auto* p = sim.processor()) {
      EXPECT_EQ(GetU16(p->Memory().Block(0, BlockType::Output, 6), out::kGain), own);
    }
  }
}

}  // namespace
}  // namespace zelto
