#include "acoustics/wav_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/temp_dir.h"

namespace zelto::acoustics {
namespace {

using testing::TestTempDir;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

const std::string& ErrorOf(const AudioOrError& r) {
  static const std::string none = "(no error)";
  return std::holds_alternative<std::string>(r) ? std::get<std::string>(r) : none;
}

Audio Stereo() {
  Audio a;
  a.sampleRate = 48000;
  a.channels = 2;
  for (int i = 0; i < 1000; ++i) {
    a.samples.push_back(static_cast<float>(0.9 * std::sin(i * 0.01)));
    a.samples.push_back(static_cast<float>(-0.5 * std::cos(i * 0.02)));
  }
  return a;
}

TEST(WavFile, RoundTripsEachFormatWithinItsResolution) {
  TestTempDir dir;
  const struct {
    SampleFormat format;
    double tolerance;
  } cases[] = {
      {SampleFormat::Float32, 0.0}, {SampleFormat::Pcm24, 1.0 / (1 << 22)}, {SampleFormat::Pcm16, 1.0 / (1 << 14)}};
  const Audio original = Stereo();
  for (const auto& c : cases) {
    const std::string path = dir.File("a.wav");
    ASSERT_FALSE(WriteWav(path, original, c.format).has_value());
    const AudioOrError read = ReadSoundFile(path);
    ASSERT_TRUE(std::holds_alternative<Audio>(read)) << ErrorOf(read);
    const Audio& a = std::get<Audio>(read);
    EXPECT_EQ(a.sampleRate, 48000);
    EXPECT_EQ(a.channels, 2);
    ASSERT_EQ(a.samples.size(), original.samples.size());
    for (std::size_t i = 0; i < a.samples.size(); ++i) ASSERT_NEAR(a.samples[i], original.samples[i], c.tolerance) << i;
    EXPECT_EQ(ChannelOf(a, 1).size(), 1000u);
    EXPECT_NEAR(ChannelOf(a, 1)[0], -0.5, c.tolerance);
  }
}

TEST(WavFile, IntegerFormatsClipInsteadOfWrappingAround) {
  TestTempDir dir;
  const std::string path = dir.File("loud.wav");
  ASSERT_FALSE(WriteWav(path, MonoAudio(48000, {1.5f, -1.5f, 0.25f}), SampleFormat::Pcm16).has_value());
  const Audio a = std::get<Audio>(ReadSoundFile(path));
  EXPECT_GT(a.samples[0], 0.99f);
  EXPECT_LT(a.samples[1], -0.99f);
}

TEST(WavFile, BadFilesAreRefusedWithTheirReason) {
  TestTempDir dir;
  // A real file cut short after its header, and one whose float samples are not numbers.
  ASSERT_FALSE(WriteWav(dir.File("good.wav"), Stereo()).has_value());
  const std::string good = ReadAll(dir.File("good.wav"));
  ASSERT_FALSE(WriteWav(dir.File("nan.wav"), MonoAudio(48000, {0.1f, std::nanf(""), 0.2f})).has_value());
  ASSERT_FALSE(WriteWav(dir.File("header-only.wav"), MonoAudio(48000, {})).has_value());
  const struct {
    std::string path;
    std::string expected;
  } cases[] = {
      {dir.File("missing.wav"), "cannot read the file"},
      {dir.Write("empty.wav", ""), "the file is empty"},
      {dir.Write("text.wav", "frequency SPL phase\n20 80 0\n"), "not a sound file"},
      {dir.Write("cut.wav", good.substr(0, 30)), "not a sound file"},
      {dir.File("header-only.wav"), "holds no sound"},
      {dir.File("nan.wav"), "not numbers"},
  };
  for (const auto& c : cases) {
    const AudioOrError r = ReadSoundFile(c.path);
    EXPECT_NE(ErrorOf(r).find(c.expected), std::string::npos) << c.path << ": " << ErrorOf(r);
    EXPECT_NE(ErrorOf(r).find(c.path), std::string::npos) << "the message names the file";
  }
  // The Chinese message for the same fault.
  EXPECT_NE(ErrorOf(ReadSoundFile(dir.File("empty.wav"), Language::Chinese)).find("文件为空"), std::string::npos);
}

TEST(WavFile, AFailedWriteLeavesTheOldFileAlone) {
  TestTempDir dir;
  const std::string path = dir.Write("keep.wav", "old contents");
  Audio broken = Stereo();
  broken.samples.pop_back();  // not a whole frame
  EXPECT_TRUE(WriteWav(path, broken).has_value());
  EXPECT_TRUE(WriteWav(dir.File("no/such/folder/x.wav"), Stereo()).has_value());
  EXPECT_EQ(ReadAll(path), "old contents");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("")), {}), 1) << "no temporary file left";
}

}  // namespace
}  // namespace zelto::acoustics
