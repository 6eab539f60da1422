#pragma once
// A whole file as the tests compare it: its bytes, untranslated; empty when it cannot be read.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace zelto::testing {

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace zelto::testing
