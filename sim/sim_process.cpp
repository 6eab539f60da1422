#include "sim/sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace zelto::sim {
namespace {

constexpr std::string_view kListeningPrefix = "listening on ";
constexpr std::size_t kReadChunk = 4096;
constexpr int kSignalExitBase = 128;

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

SimProcess::~SimProcess() { Stop(SIGKILL); }

std::string SimProcess::DefaultExecutable() {
  namespace fs = std::filesystem;
  if (const char* env = std::getenv("ZELTO_SIM_EXE"); env && *env) return env;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  for (fs::path dir = self.parent_path(); !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
    const fs::path candidate = dir / "sim" / "zelto-sim";
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return {};
}

bool SimProcess::Start(const std::string& executable, const std::vector<std::string>& arguments, std::string* error,
                       std::chrono::milliseconds timeout) {
  if (pid_ > 0) {
    *error = "already started";
    return false;
  }
  int out[2];
  if (::pipe(out) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  ::fcntl(out[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(out[1], F_SETFD, FD_CLOEXEC);

  std::vector<std::string> args = {executable, "--port", "0"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  const int r = ::posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (r != 0) {
    ::close(out[0]);
    pid_ = -1;
    *error = "cannot start " + executable + ": " + std::strerror(r);
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    lines_.clear();
    outputClosed_ = false;
  }
  reader_ = std::thread([this, fd = out[0]] { ReadOutput(fd); });

  std::unique_lock lock(mutex_);
  linesChanged_.wait_for(lock, timeout, [&] { return !lines_.empty() || outputClosed_; });
  port_ = lines_.empty() ? 0 : PortFromLine(lines_.front());
  if (port_ == 0) {
    *error = executable + " did not report its port" + (lines_.empty() ? std::string() : ": " + lines_.front());
    lock.unlock();
    Stop(SIGKILL);
    return false;
  }
  return true;
}

void SimProcess::ReadOutput(int fd) {
  std::string partial;
  char chunk[kReadChunk];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    partial.append(chunk, static_cast<std::size_t>(n));
    std::size_t start = 0;
    std::vector<std::string> complete;
    for (auto nl = partial.find('\n'); nl != std::string::npos; nl = partial.find('\n', start)) {
      complete.push_back(partial.substr(start, nl - start));
      start = nl + 1;
    }
    partial.erase(0, start);
    if (!complete.empty()) {
      std::lock_guard lock(mutex_);
      lines_.insert(lines_.end(), complete.begin(), complete.end());
      linesChanged_.notify_all();
    }
  }
  ::close(fd);
  std::lock_guard lock(mutex_);
  outputClosed_ = true;
  linesChanged_.notify_all();
}

int SimProcess::Stop() { return Stop(SIGTERM); }

int SimProcess::Stop(int signal) {
  if (pid_ <= 0) return -1;
  ::kill(pid_, signal);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (reader_.joinable()) reader_.join();
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return kSignalExitBase + WTERMSIG(status);
  return -1;
}

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
