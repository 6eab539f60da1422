#include "update/update_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace zelto {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

class RecordingUpdateView final : public UpdateView {
 public:
  void ShowUpdateMessage(UpdateMessage m) override { messages.push_back(m); }
  std::vector<UpdateMessage> messages;
};

class UpdateFileTest : public ::testing::Test {
 protected:
  UpdateFileTest() {
    dir_ = fs::temp_directory_path() / ("zelto-update-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~UpdateFileTest() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  fs::path dir_;
  RecordingUpdateView view;
  UpdateImageFile file;
};

Bytes Counting(std::size_t n) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), std::uint8_t{0});
  return b;
}

TEST(UpdateChecksum, SeedXorEveryByteFromOffsetFour) {
  EXPECT_EQ(DspChecksum(Bytes(100, 0)), 0x12);
  EXPECT_EQ(DspChecksum(Bytes{0xFF, 0xEE, 0xDD, 0xCC, 0, 0, 0}), 0x12);  // bytes 0..3 never count
  EXPECT_EQ(DspChecksum(Bytes{0, 0, 0, 0, 0x01, 0x02, 0x40}), 0x12 ^ 0x01 ^ 0x02 ^ 0x40);
  EXPECT_EQ(DspChecksum(Bytes{0xAB}), 0x12);
  EXPECT_EQ(DspChecksum(Bytes{}), 0x12);
}

TEST(UpdateImageKind, ExtensionOfTheFileNameWithExactCase) {
  struct Case {
    const char* path;
    std::optional<UpdateImageKind> kind;
  };
  const Case cases[] = {
      {"/fw/dsp.mva", UpdateImageKind::Dsp},
      {"/fw/dsp.v2.mva", UpdateImageKind::Dsp},
      {"/fw/hand.contr", UpdateImageKind::Controller},
      {"/fw/dsp.MVA", std::nullopt},
      {"/fw/hand.Contr", std::nullopt},
      {"/fw/dsp.mva.bin", std::nullopt},
      {"/fw/mva", UpdateImageKind::Dsp},  // no dot: the whole name is the extension
      {"/fw.mva/image", std::nullopt},    // a dot in the folder does not count
  };
  for (const auto& c : cases) EXPECT_EQ(UpdateImageKindOf(c.path), c.kind) << c.path;
}

TEST_F(UpdateFileTest, DspImageLoadsWithItsCheckValueAndBlockCount) {
  file.updateFilePath = Write("main.mva", Counting(1000));
  ASSERT_TRUE(file.Load(view));
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(file.dspLoaded);
  EXPECT_FALSE(file.controllerLoaded);
  EXPECT_EQ(file.dspImage.Remaining(), 1000u);
  EXPECT_TRUE(file.controllerImage.Empty());
  EXPECT_EQ(file.updateBlockCount, 1000 / 296 + 6);
  EXPECT_EQ(file.dspChecksum, DspChecksum(Counting(1000)));
}

TEST_F(UpdateFileTest, ControllerImageWarnsFirstAndGetsACheckValueByTheSameRule) {
  file.updateFilePath = Write("hand.contr", Counting(1000));
  ASSERT_TRUE(file.Load(view));
  EXPECT_EQ(view.messages, std::vector<UpdateMessage>{UpdateMessage::ControllerWarning});
  EXPECT_TRUE(file.controllerLoaded);
  EXPECT_FALSE(file.dspLoaded);
  EXPECT_EQ(file.updateBlockCount, 1000 / 48 + 6);
  EXPECT_EQ(file.dspChecksum, DspChecksum(Counting(1000)));
  // The warning is Chinese in both interface languages.
  EXPECT_EQ(UpdateMessageText(UpdateMessage::ControllerWarning, Language::English),
            UpdateMessageText(UpdateMessage::ControllerWarning, Language::Chinese));
}

TEST_F(UpdateFileTest, OnlyOneImageIsEverLoaded) {
  file.updateFilePath = Write("hand.contr", Counting(100));
  ASSERT_TRUE(file.Load(view));
  file.updateFilePath = Write("main.mva", Counting(300));
  ASSERT_TRUE(file.Load(view));
  EXPECT_TRUE(file.controllerImage.Empty());
  EXPECT_FALSE(file.controllerLoaded);
  EXPECT_EQ(file.dspImage.Remaining(), 300u);
}

TEST_F(UpdateFileTest, RefusedFilesSayWhy) {
  struct Case {
    const char* what;
    std::string path;
    UpdateMessage message;
    bool pathKept;
  };
  const Case cases[] = {
      {"missing", (dir_ / "none.mva").string(), UpdateMessage::HexFileError, false},
      {"empty DSP image", Write("empty.mva", {}), UpdateMessage::HexFileError, true},
      {"empty controller image", Write("empty.contr", {}), UpdateMessage::HexFileError, true},
      {"capital extension", Write("main.MVA", Counting(10)), UpdateMessage::WrongFileType, true},
      {"other extension", Write("main.bin", Counting(10)), UpdateMessage::WrongFileType, true},
  };
  for (const auto& c : cases) {
    // A loaded image from before is forgotten whatever happens.
    file.updateFilePath = Write("old.mva", Counting(10));
    ASSERT_TRUE(file.Load(view));
    view.messages.clear();
    file.updateFilePath = c.path;
    EXPECT_FALSE(file.Load(view)) << c.what;
    EXPECT_EQ(view.messages, std::vector<UpdateMessage>{c.message}) << c.what;
    EXPECT_EQ(file.updateFilePath, c.pathKept ? c.path : std::string()) << c.what;
    if (c.message != UpdateMessage::HexFileError || c.pathKept) {
      EXPECT_TRUE(file.dspImage.Empty()) << c.what;
      EXPECT_FALSE(file.dspLoaded) << c.what;
    }
  }
  EXPECT_EQ(UpdateMessageText(UpdateMessage::HexFileError, Language::Chinese), "固件文件错误!");
  EXPECT_EQ(UpdateMessageText(UpdateMessage::HexFileError, Language::English), "Hex File error!");
  EXPECT_EQ(UpdateMessageText(UpdateMessage::WrongFileType, Language::English), "升级文件类型错误！");
}

TEST_F(UpdateFileTest, ChoosingRemembersTheFileAndCancellingChangesNothing) {
  MemorySettings settings;
  EXPECT_FALSE(file.ChooseUpdateFile(settings, std::nullopt));
  EXPECT_FALSE(settings.Get(update_file::kSettingsKey, update_file::kNameValue));

  ASSERT_TRUE(file.ChooseUpdateFile(settings, "/fw/main.mva"));
  EXPECT_EQ(file.updateFilePath, "/fw/main.mva");
  EXPECT_EQ(settings.Get("Software\\QRT-271-ULT.exe\\USB", "Name"), "/fw/main.mva");
  const auto folder = settings.Get("Software\\QRT-271-ULT.exe\\USB", "Path");
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, (fs::current_path() / "DataFile" / "*.bin").string());

  ASSERT_TRUE(file.ChooseUpdateFile(settings, "/fw/hand.contr"));
  EXPECT_FALSE(file.ChooseUpdateFile(settings, std::nullopt));
  EXPECT_EQ(settings.Get(update_file::kSettingsKey, update_file::kNameValue), "/fw/hand.contr");

  UpdateImageFile next;
  next.RestoreFromSettings(settings);
  EXPECT_EQ(next.updateFilePath, "/fw/hand.contr");
}

}  // namespace
}  // namespace zelto
