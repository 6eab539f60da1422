#pragma once
// Runs zeltoctl in this process with its own streams, and a scratch folder per test.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "ctl/ctl.h"
#include "support/temp_dir.h"

namespace zelto::ctl::testing {

struct CtlRun {
  int code = -1;
  std::string out;
  std::string err;
};

inline CtlRun RunCtl(std::vector<std::string> args) {
  args.insert(args.begin(), "zeltoctl");
  std::ostringstream out;
  std::ostringstream err;
  CtlRun r;
  r.code = RunZeltoctl(args, {out, err, false});
  r.out = out.str();
  r.err = err.str();
  return r;
}

inline std::ostream& operator<<(std::ostream& os, const CtlRun& r) {
  return os << "exit " << r.code << "\n--- stdout\n" << r.out << "--- stderr\n" << r.err;
}

/// A folder of its own for one test, removed afterwards.
using ScratchDir = ::zelto::testing::TestTempDir;

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::string KnownFile() { return std::string(ZELTO_CTL_DATA) + "/known.dsps"; }

}  // namespace zelto::ctl::testing
