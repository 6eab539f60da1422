#include "edit/recovery_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/bytes.h"
#include "edit/editor.h"
#include "measure/measurements_bytes.h"
#include "model/ktv_data.h"
#include "presets/file_io.h"
#include "support/engine_harness.h"

namespace zelto {
namespace {

using testing::SimEngine;
using testing::SimKind;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name)
      if (c == '/') c = '-';
    path_ = fs::temp_directory_path() / ("zelto-recovery-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

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

TEST(RecoveryFileBytes, AFileOfTheFirstVersionStillReadsWithoutMeasurements) {
  RecoveryData d = SampleData();
  Bytes file = RecoveryFileBytes(d);
  // The first version ended after the history: no measurement part.
  file.resize(file.size() - 8);
  file[recovery::kMagicSize] = 1;
  const std::uint32_t crc = recovery::Crc32(file);
  for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  const RecoveryRead r = ParseRecoveryFile(file);
  ASSERT_TRUE(r.data);
  EXPECT_EQ(r.data->ab.b, d.ab.b);
  EXPECT_EQ(r.data->history, d.history);
  EXPECT_TRUE(r.data->measurements.empty());

  // A part size beyond the file is damage, whichever part it is.
  d.measurements = {7, 7, 7};
  Bytes v2 = RecoveryFileBytes(d);
  const std::size_t measurementSize = v2.size() - 4 - 3 - 4;
  v2[measurementSize] = 4;
  v2.resize(v2.size() - 4);
  const std::uint32_t crc2 = recovery::Crc32(v2);
  for (int i = 0; i < 4; ++i) v2.push_back(static_cast<std::uint8_t>(crc2 >> (8 * i)));
  EXPECT_EQ(ParseRecoveryFile(v2).error, RecoveryReadError::Damaged);
}

TEST(RecoveryFileBytes, AMissingFileIsNotAnError) {
  TempDir dir;
  EXPECT_EQ(ReadRecoveryFile(dir.File("none.zrec")).error, RecoveryReadError::Missing);
}

class RecoveryOffline : public ::testing::Test {
 protected:
  RecoveryOffline()
      : sim(SimKind::InProcess), ab(sim.engine()), file(sim.engine(), ab, dir.File("data/recovery.zrec")) {
    file.SetHistory(&history);
  }
  void SetGain(int channel, int code) {
    sim.engine().Data().Edit([&](CKTV_Data& d) { d.Output(channel).SetGain(code); });
  }

  TempDir dir;
  SimEngine sim;
  AbCompare ab;
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

TEST_F(RecoveryOffline, KeepsBothSidesAndRestoresThem) {
  SetGain(0, 40);
  ab.Switch();
  SetGain(0, 20);
  ASSERT_TRUE(file.WriteNow());

  // Another run: the same file restores B as the live tuning and A as the other side.
  SimEngine next(SimKind::InProcess);
  AbCompare nextAb(next.engine());
  BlobHistory nextHistory;
  RecoveryFile nextFile(next.engine(), nextAb, file.Path());
  nextFile.SetHistory(&nextHistory);
  history.blob = {};
  const RecoveryRead r = ReadRecoveryFile(file.Path());
  ASSERT_TRUE(r.data);
  nextFile.Restore(*r.data);
  EXPECT_EQ(next.engine().Data().Output(0).GainCode(), 20);
  EXPECT_EQ(nextAb.Active(), AbSide::B);
  EXPECT_EQ(OutputGain(nextAb.OtherTuning(), 0), 40);
  nextAb.Switch();
  EXPECT_EQ(next.engine().Data().Output(0).GainCode(), 40);
  // Restored work counts as written: no write until something changes.
  nextAb.Switch();
  EXPECT_FALSE(nextFile.Tick(RecoveryFile::Clock::now()));
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
  Editor editor(sim.engine());
  editor.SetAb(&ab);
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
  AbCompare nextAb(next.engine());
  Editor nextEditor(next.engine());
  nextEditor.SetAb(&nextAb);
  HeldMeasurements nextMeasurements;
  RecoveryFile nextFile(next.engine(), nextAb, kept.Path());
  nextFile.SetHistory(&nextEditor);
  nextFile.SetMeasurements(&nextMeasurements);
  const RecoveryRead r = ReadRecoveryFile(kept.Path());
  ASSERT_TRUE(r.data);
  nextFile.Restore(*r.data);
  EXPECT_EQ(nextMeasurements.SaveRecoveryPart(), measurements.SaveRecoveryPart());
  EXPECT_EQ(nextMeasurements.held.PathOf(4), "door.txt");
  EXPECT_EQ(nextMeasurements.held.Smoothing(), 3);
  // Each side has its history back: B's edit is undone on B, A's once A is heard.
  ASSERT_EQ(nextAb.Active(), AbSide::B);
  ASSERT_EQ(nextEditor.Steps().Size(), 1u);
  EXPECT_EQ(next.engine().Data().Output(4).GainCode(), 12);
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
  nextFile.Restore(damaged);
  EXPECT_EQ(nextEditor.Steps().Size(), 0u);
  EXPECT_FALSE(nextMeasurements.held.Has(4));
  EXPECT_EQ(next.engine().Data().Output(4).GainCode(), 12);
}

TEST_F(RecoveryOffline, AFolderThatCannotBeMadeFailsTheWriteQuietly) {
  const std::string blocker = dir.File("blocker");
  fs::create_directories(fs::path(blocker).parent_path());
  std::ofstream(blocker) << "a file where the folder should be";
  RecoveryFile blocked(sim.engine(), ab, blocker + "/recovery.zrec");
  SetGain(1, 5);
  EXPECT_FALSE(blocked.WriteNow());
  EXPECT_EQ(blocked.FailedWrites(), 1);
}

TEST(RecoveryOnline, ARestoreSendsTheTuningAsAFileLoadDoes) {
  for (SimKind kind : {SimKind::InProcess, SimKind::Tcp}) {
    SCOPED_TRACE(kind == SimKind::InProcess ? "in process" : "over TCP");
    SimEngine sim(kind);
    ASSERT_TRUE(sim.Connect());
    AbCompare ab(sim.engine());
    RecoveryFile file(sim.engine(), ab, "unused");
    RecoveryData d;
    d.ab = ab.Snapshot();
    PutU16(std::span(d.ab.a).subspan(preset::kOutput + 6 * out::kSize), out::kGain, 17);
    const std::size_t before = sim.FrameLineCount();
    file.Restore(d);
    std::vector<std::string> expected{"WRITE slot 0 SYSTEM PRESET_NAME len 16 -> ACK"};
    for (int c = 0; c < kOutputChannels; ++c)
      expected.push_back("WRITE slot 0 OUTPUT ch " + std::to_string(c) + " len 296 -> ACK");
    EXPECT_EQ(sim.WaitForFrames(before, expected.size()), expected);
    EXPECT_EQ(sim.engine().Data().Output(6).GainCode(), 17);
    if (auto* p = sim.processor()) {
      EXPECT_EQ(GetU16(p->Memory().Block(0, BlockType::Output, 6), out::kGain), 17);
    }
  }
}

}  // namespace
}  // namespace zelto
