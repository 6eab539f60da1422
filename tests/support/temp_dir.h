#pragma once
// A folder of its own for each test, removed afterwards. The process id is part of its name, so
// two runs of the same test at once (two build folders on one machine) never share a folder.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace zelto::testing {

class TestTempDir {
 public:
  TestTempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "-" + info->name() : std::string("test");
    for (char& c : name)
      if (c == '/') c = '-';
    path_ = std::filesystem::temp_directory_path() / ("zelto-test-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TestTempDir() {
    std::error_code ec;  // a folder a test left busy is not worth a crash at its end
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }
  /// How many files and folders the folder holds.
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(path_), {}));
  }
  std::string Write(const std::string& name, std::string_view bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace zelto::testing
