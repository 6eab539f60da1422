#include "sim/sim_process.h"

#include <windows.h>

#include <csignal>

namespace zelto::sim {
namespace {

constexpr DWORD kReadChunk = 4096;
constexpr int kSignalExitBase = 128;
constexpr int kKilled = 9;  // what SIGKILL is on POSIX: the exit code says "ended by the tool"

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

// One argument as the C runtime of the started program splits it again: quoted when it holds a
// blank or a quote, backslashes doubled only where a quote follows them.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::string ErrorText(DWORD code) {
  char* text = nullptr;
  ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = text ? text : "error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace

struct SimProcess::Child {
  HANDLE process = nullptr;
  HANDLE output = nullptr;  // read end of the child's stdout
};

SimProcess::SimProcess() = default;
SimProcess::~SimProcess() { Stop(kKilled); }

bool SimProcess::Start(const std::string& executable, const std::vector<std::string>& arguments, std::string* error,
                       std::chrono::milliseconds timeout) {
  if (child_) {
    *error = "already started";
    return false;
  }
  const std::string program = Resolve(executable);
  if (program.empty()) {
    *error = "cannot start " + executable + ": " + ErrorText(ERROR_FILE_NOT_FOUND);
    return false;
  }
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
    *error = "pipe: " + ErrorText(::GetLastError());
    return false;
  }
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  std::wstring commandLine = Quoted(Wide(program)) + L" --port 0";
  for (const auto& a : arguments) commandLine += L" " + Quoted(Wide(a));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  const std::wstring application = Wide(program);
  const BOOL started = ::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &info);
  const DWORD startError = ::GetLastError();
  ::CloseHandle(writeEnd);
  if (!started) {
    ::CloseHandle(readEnd);
    *error = "cannot start " + executable + ": " + ErrorText(startError);
    return false;
  }
  ::CloseHandle(info.hThread);
  auto child = std::make_unique<Child>();
  child->process = info.hProcess;
  child->output = readEnd;
  child_ = std::move(child);
  {
    std::lock_guard lock(mutex_);
    lines_.clear();
    outputClosed_ = false;
  }
  reader_ = std::thread([this] { ReadOutput(); });
  if (AwaitPort(executable, error, timeout)) return true;
  Stop(kKilled);
  return false;
}

void SimProcess::ReadOutput() {
  std::string partial;
  char chunk[kReadChunk];
  DWORD n = 0;
  while (::ReadFile(child_->output, chunk, kReadChunk, &n, nullptr) && n > 0)
    AddOutput(std::string_view(chunk, n), partial);
  OutputClosed();
}

int SimProcess::Stop(int signal) {
  if (!child_) return -1;
  ::TerminateProcess(child_->process, static_cast<UINT>(kSignalExitBase + signal));
  ::WaitForSingleObject(child_->process, INFINITE);
  DWORD code = 0;
  const bool known = ::GetExitCodeProcess(child_->process, &code);
  if (reader_.joinable()) reader_.join();
  ::CloseHandle(child_->output);
  ::CloseHandle(child_->process);
  child_.reset();
  return known ? static_cast<int>(code) : -1;
}

}  // namespace zelto::sim
