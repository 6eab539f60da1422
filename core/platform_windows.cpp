#include "core/platform.h"

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

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

}  // namespace zelto
