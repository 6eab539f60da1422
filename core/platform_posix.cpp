#include "core/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

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

std::optional<FileLock> FileLock::TryLock(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return std::nullopt;
  // flock belongs to the open file: a second open of the same file, even in this process, is
  // refused, and the kernel drops the lock with the last descriptor when the process dies.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return FileLock(fd);
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, -1);
  }
  return *this;
}

FileLock::~FileLock() { Release(); }

void FileLock::Release() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

namespace {

std::string SystemError(const std::string& what, int code) { return what + ": " + std::strerror(code); }

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool WriteFileDurably(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, std::string* error) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::filesystem::path temp = path;
  temp += ".new";
  const auto fail = [&](const std::string& what, int code) {
    if (error) *error = SystemError(what, code);
    return false;
  };
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return fail(temp.string(), errno);
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
    const int code = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(temp.string(), code);
  }
  if (::close(fd) != 0) {
    const int code = errno;
    ::unlink(temp.c_str());
    return fail(temp.string(), code);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int code = errno;
    ::unlink(temp.c_str());
    return fail(path.string(), code);
  }
  // The rename is only on the disk once the folder is.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return fail(folder.string(), errno);
  const int synced = ::fsync(dir);
  const int code = errno;
  ::close(dir);
  if (synced != 0) return fail(folder.string(), code);
  if (error) error->clear();
  return true;
}

}  // namespace zelto
