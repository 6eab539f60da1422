#include "core/platform.h"

#include <windows.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace zelto {

long CurrentProcessId() { return static_cast<long>(::GetCurrentProcessId()); }

bool ProcessIsAlive(long pid) {
  if (pid <= 0) return false;
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to look at
  DWORD code = 0;
  const bool alive = ::GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  ::CloseHandle(process);
  return alive;
}

std::filesystem::path ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return std::filesystem::path(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableFileName(std::string_view base) { return std::string(base) + ".exe"; }

void KeepFromChildProcesses(std::uintptr_t nativeHandle) {
  ::SetHandleInformation(reinterpret_cast<HANDLE>(nativeHandle), HANDLE_FLAG_INHERIT, 0);
}

bool ReuseListeningAddress() { return false; }

void SetEnvironmentValue(const char* name, const char* value) {
  // The C runtime keeps its own copy of the environment: getenv reads that one.
  ::_putenv_s(name, value ? value : "");
}

std::filesystem::path StateFolder() {
  if (const char* own = std::getenv("ZELTO_STATE_DIR"); own && *own) return own;
  if (const char* local = std::getenv("LOCALAPPDATA"); local && *local) return std::filesystem::path(local) / "zelto";
  return {};
}

void IgnoreBrokenPipes() {}  // Windows has no SIGPIPE: such writes fail with an error already

bool StandardErrorIsTerminal() { return ::_isatty(::_fileno(stderr)) != 0; }

std::optional<FileLock> FileLock::TryLock(const std::filesystem::path& path) {
  // Opened without sharing: nobody else opens the file while this handle lives, and the system
  // closes the handle when the process ends.
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  return FileLock(reinterpret_cast<std::intptr_t>(h));
}

FileLock::FileLock(FileLock&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

FileLock::~FileLock() { Release(); }

void FileLock::Release() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

bool WriteFileDurably(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, std::string* error) {
  std::filesystem::path temp = path;
  temp += L".new";
  const auto fail = [&](const std::filesystem::path& what) {
    if (error) *error = what.string() + ": system error " + std::to_string(::GetLastError());
    return false;
  };
  HANDLE h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail(temp);
  bool ok = true;
  std::size_t at = 0;
  while (ok && at < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 20));
    ok = ::WriteFile(h, bytes.data() + at, chunk, &written, nullptr) && written > 0;
    at += written;
  }
  ok = ok && ::FlushFileBuffers(h);
  if (!ok) {
    fail(temp);
    ::CloseHandle(h);
    ::DeleteFileW(temp.c_str());
    return false;
  }
  ::CloseHandle(h);
  // Write-through: the rename is on the disk when the call returns.
  if (!::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    fail(path);
    ::DeleteFileW(temp.c_str());
    return false;
  }
  if (error) error->clear();
  return true;
}

}  // namespace zelto
