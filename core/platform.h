#pragma once
// What differs between operating systems, in one place: each function has one implementation in
// platform_posix.cpp and one in platform_windows.cpp, and CMake compiles the one that fits.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zelto {

/// This process's id, as other processes see it.
long CurrentProcessId();
/// Whether a process with this id is running (one owned by another user counts as running).
bool ProcessIsAlive(long pid);

/// The running program's own file; empty when the system cannot say.
std::filesystem::path ExecutablePath();
/// `base` with the suffix programs carry here ("zelto-sim" -> "zelto-sim.exe" on Windows).
std::string ExecutableFileName(std::string_view base);

/// Keeps a socket (its native handle) from being inherited by programs this one starts, so a
/// started zelto-sim or helper never holds a connection open after we close it.
void KeepFromChildProcesses(std::uintptr_t nativeHandle);
/// Whether a listening socket may take an address still in TIME_WAIT: wanted on POSIX (a server
/// restarted on its port), but on Windows the option lets a second program take a port in use.
bool ReuseListeningAddress();

/// Sets (or, with null, removes) a variable of this process's environment.
void SetEnvironmentValue(const char* name, const char* value);

/// Writes to a pipe or socket whose reader has gone fail with an error instead of ending the
/// process.
void IgnoreBrokenPipes();

/// The per-user folder for state a program keeps between runs ($ZELTO_STATE_DIR when set; else
/// $XDG_STATE_HOME/zelto or ~/.local/state/zelto, on Windows %LOCALAPPDATA%\zelto). Empty when the
/// system names none.
std::filesystem::path StateFolder();

/// Whether standard error is a terminal (progress bars only go there).
bool StandardErrorIsTerminal();

/// An exclusive lock on a file, given up by the system when this process ends however it ends
/// (a kill or a crash included), so a lock never outlives its holder.
class FileLock {
 public:
  /// Creates the file when needed and locks it. Nothing when another holder has it locked (in
  /// this process or another) or it cannot be opened.
  static std::optional<FileLock> TryLock(const std::filesystem::path& path);
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

 private:
  explicit FileLock(std::intptr_t handle) : handle_(handle) {}
  void Release();
  std::intptr_t handle_ = -1;
};

/// Writes `bytes` to a new file beside `path`, forces it to the disk, renames it over `path` and
/// forces the folder too, so that after a crash or a power cut either the old file or the new one
/// is there, whole. False with `error` set to the system's words when anything fails; `path` is
/// then untouched and the new file gone.
bool WriteFileDurably(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, std::string* error);

}  // namespace zelto
