#include "edit/recovery_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/bytes.h"
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
struct BlobHistory final : RecoveryHistory {
  Bytes blob;
  Bytes restored;
  bool accept = true;
  Bytes SaveHistory() override { return blob; }
  bool RestoreHistory(std::span<const std::uint8_t> b) override {
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
