#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "support/file_text.h"

extern char** environ;

namespace zelto::testing {
namespace {

// How often WaitFor looks whether the child ended: short beside any limit a test sets.
constexpr std::chrono::milliseconds kPollInterval{10};

// "NAME=value" entries of this process's environment with `changes` made.
std::vector<std::string> ChildEnvironment(const ChildProcess::Environment& changes) {
  std::vector<std::string> entries;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    const std::string name(entry.substr(0, entry.find('=')));
    if (!changes.contains(name)) entries.emplace_back(entry);
  }
  for (const auto& [name, value] : changes)
    if (value) entries.push_back(name + "=" + *value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::filesystem::path& output, Input input, const Environment& environment)
    : out_(output.string() + ".out"), err_(output.string() + ".err") {
  std::vector<std::string> args{program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = Pointers(args);
  std::vector<std::string> env = ChildEnvironment(environment);
  std::vector<char*> envp = Pointers(env);

  // A socket rather than a pipe, so that writing to a child that has ended fails instead of
  // raising SIGPIPE in the test. Our end is ours alone: a child started later must not hold it
  // open, or this child never sees the end of its input.
  int in[2] = {-1, -1};
  if (input == Input::Stream && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input == Input::Stream)
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  started_ = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (!started_) pid_ = -1;
  if (input == Input::Stream) {
    ::close(in[0]);
    if (started_)
      stdin_ = in[1];
    else
      ::close(in[1]);
  }
}

ChildProcess::~ChildProcess() {
  if (stdin_ >= 0) ::close(stdin_);
  Kill();
}

void ChildProcess::Write(std::string_view text) {
  if (stdin_ < 0) return;
  while (!text.empty()) {
    const ssize_t n = ::send(stdin_, text.data(), text.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  Reaped(status);
  return false;
}

int ChildProcess::Wait() {
  if (pid_ > 0) {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    Reaped(status);
  }
  return exit_;
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (Running()) {
    if (std::chrono::steady_clock::now() >= end) return std::nullopt;
    std::this_thread::sleep_for(kPollInterval);
  }
  return exit_;
}

int ChildProcess::Kill() {
  Signal(SIGKILL);
  return Wait();
}

std::string ChildProcess::Out() const { return ReadText(out_); }
std::string ChildProcess::Err() const { return ReadText(err_); }

void ChildProcess::Reaped(int status) {
  pid_ = -1;
  exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? Killed(WTERMSIG(status)) : -1;
}

}  // namespace zelto::testing
