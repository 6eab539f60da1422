#include "core/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zelto {

long CurrentProcessId() { return static_cast<long>(::getpid()); }

bool ProcessIsAlive(long pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : self;
}

std::string ExecutableFileName(std::string_view base) { return std::string(base); }

void KeepFromChildProcesses(std::uintptr_t nativeHandle) {
  const int fd = static_cast<int>(nativeHandle);
  ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

bool ReuseListeningAddress() { return true; }

void SetEnvironmentValue(const char* name, const char* value) {
  if (value)
    ::setenv(name, value, 1);
  else
    ::unsetenv(name);
}

std::filesystem::path StateFolder() {
  if (const char* own = std::getenv("ZELTO_STATE_DIR"); own && *own) return own;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg) return std::filesystem::path(xdg) / "zelto";
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".local" / "state" / "zelto";
  }
  return {};
}

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

}  // namespace zelto
