#include "sim/sim_process.h"

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "core/platform.h"

namespace zelto::sim {
namespace {

constexpr std::string_view kListeningPrefix = "listening on ";
constexpr std::string_view kSimProgram = "zelto-sim";

// "listening on 127.0.0.1:40123" -> 40123.
std::uint16_t PortFromLine(const std::string& line) {
  if (!line.starts_with(kListeningPrefix)) return 0;
  const auto colon = line.rfind(':');
  if (colon == std::string::npos) return 0;
  unsigned port = 0;
  const auto [end, ec] = std::from_chars(line.data() + colon + 1, line.data() + line.size(), port);
  if (ec != std::errc{} || port == 0 || port > 0xFFFF) return 0;
  return static_cast<std::uint16_t>(port);
}

}  // namespace

std::string SimProcess::DefaultExecutable() {
  namespace fs = std::filesystem;
  if (const char* env = std::getenv("ZELTO_SIM_EXE"); env && *env) return env;
  const fs::path self = ExecutablePath();
  if (self.empty()) return {};
  const std::string name = ExecutableFileName(kSimProgram);
  std::error_code ec;
  if (fs::is_regular_file(self.parent_path() / name, ec)) return (self.parent_path() / name).string();
  for (fs::path dir = self.parent_path(); !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
    const fs::path candidate = dir / "sim" / name;
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return {};
}

std::string SimProcess::Resolve(const std::string& executable) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::is_regular_file(executable, ec)) return executable;
  const fs::path self = ExecutablePath();
  if (self.empty()) return {};
  const std::string stem = fs::path(executable).stem().string();
  const fs::path beside = self.parent_path() / ExecutableFileName(stem);
  return fs::is_regular_file(beside, ec) ? beside.string() : std::string();
}

bool SimProcess::AwaitPort(const std::string& executable, std::string* error, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  linesChanged_.wait_for(lock, timeout, [&] { return !lines_.empty() || outputClosed_; });
  port_ = lines_.empty() ? 0 : PortFromLine(lines_.front());
  if (port_ != 0) return true;
  *error = executable + " did not report its port" + (lines_.empty() ? std::string() : ": " + lines_.front());
  return false;
}

void SimProcess::AddOutput(std::string_view chunk, std::string& partial) {
  partial.append(chunk);
  std::size_t start = 0;
  std::vector<std::string> complete;
  for (auto nl = partial.find('\n'); nl != std::string::npos; nl = partial.find('\n', start)) {
    std::string line = partial.substr(start, nl - start);
    if (line.ends_with('\r')) line.pop_back();  // text-mode output on Windows
    complete.push_back(std::move(line));
    start = nl + 1;
  }
  partial.erase(0, start);
  if (complete.empty()) return;
  std::lock_guard lock(mutex_);
  lines_.insert(lines_.end(), complete.begin(), complete.end());
  linesChanged_.notify_all();
}

void SimProcess::OutputClosed() {
  std::lock_guard lock(mutex_);
  outputClosed_ = true;
  linesChanged_.notify_all();
}

int SimProcess::Stop() { return Stop(SIGTERM); }

std::string SimProcess::Url() const { return "tcp:127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> SimProcess::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

bool SimProcess::WaitForLines(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return linesChanged_.wait_for(lock, timeout, [&] { return lines_.size() >= count; });
}

}  // namespace zelto::sim
