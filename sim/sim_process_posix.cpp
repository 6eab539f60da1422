#include "sim/sim_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace zelto::sim {
namespace {

constexpr std::size_t kReadChunk = 4096;
constexpr int kSignalExitBase = 128;

}  // namespace

struct SimProcess::Child {
  pid_t pid = -1;
  int output = -1;  // read end of the child's stdout
};

SimProcess::SimProcess() = default;
SimProcess::~SimProcess() { Stop(SIGKILL); }

bool SimProcess::Start(const std::string& executable, const std::vector<std::string>& arguments, std::string* error,
                       std::chrono::milliseconds timeout) {
  if (child_) {
    *error = "already started";
    return false;
  }
  const std::string program = Resolve(executable);
  if (program.empty()) {
    *error = "cannot start " + executable + ": " + std::strerror(ENOENT);
    return false;
  }
  int out[2];
  if (::pipe(out) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  ::fcntl(out[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(out[1], F_SETFD, FD_CLOEXEC);

  std::vector<std::string> args = {program, "--port", "0"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  auto child = std::make_unique<Child>();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  const int r = ::posix_spawn(&child->pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (r != 0) {
    ::close(out[0]);
    *error = "cannot start " + executable + ": " + std::strerror(r);
    return false;
  }
  child->output = out[0];
  child_ = std::move(child);
  {
    std::lock_guard lock(mutex_);
    lines_.clear();
    outputClosed_ = false;
  }
  reader_ = std::thread([this] { ReadOutput(); });
  if (AwaitPort(executable, error, timeout)) return true;
  Stop(SIGKILL);
  return false;
}

void SimProcess::ReadOutput() {
  const int fd = child_->output;
  std::string partial;
  char chunk[kReadChunk];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    AddOutput(std::string_view(chunk, static_cast<std::size_t>(n)), partial);
  }
  OutputClosed();
}

int SimProcess::Stop(int signal) {
  if (!child_) return -1;
  ::kill(child_->pid, signal);
  int status = 0;
  while (::waitpid(child_->pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (reader_.joinable()) reader_.join();
  ::close(child_->output);
  child_.reset();
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return kSignalExitBase + WTERMSIG(status);
  return -1;
}

}  // namespace zelto::sim
