#pragma once
// Starts zelto-sim as a child process and learns its port: for tests and benchmarks that must
// reach the simulated processor the way a user does, over the report stream of a real process.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zelto::sim {

inline constexpr std::chrono::milliseconds kSimStartTimeout{5000};

class SimProcess {
 public:
  SimProcess();
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  /// The zelto-sim to start: $ZELTO_SIM_EXE when set, otherwise the one beside the running
  /// program or the one of the build tree it belongs to (build/sim/zelto-sim, found from
  /// build/<dir>/ and build/tests/<dir>/). Empty when none is found.
  static std::string DefaultExecutable();

  /// Starts `executable` with `--port 0` and `arguments`, and waits until it reports its port.
  /// When `executable` is not there, the program of that name beside the running one is started
  /// (tests copied into one folder with their programs, as the Windows build ships them).
  bool Start(const std::string& executable, const std::vector<std::string>& arguments, std::string* error,
             std::chrono::milliseconds timeout = kSimStartTimeout);
  /// Sends `signal` and waits for the process. Its exit code (128 + signal when killed by one),
  /// or -1 when nothing was running. Windows has no signals to send: the process is ended at
  /// once with the code 128 + signal.
  int Stop(int signal);
  int Stop();  // SIGTERM

  std::uint16_t Port() const { return port_; }
  /// "tcp:127.0.0.1:PORT".
  std::string Url() const;

  /// Lines the process has printed so far (the first is the "listening on" line).
  std::vector<std::string> Lines() const;
  /// Waits until at least `count` lines have been printed. False on timeout.
  bool WaitForLines(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  struct Child;  // the started process and its output pipe, as the system knows them

  // The file to start for `executable` (see Start); empty when there is none.
  static std::string Resolve(const std::string& executable);
  // Reads the child's output until it closes (on reader_).
  void ReadOutput();
  // Adds output to the lines printed so far; `partial` keeps an unfinished last line.
  void AddOutput(std::string_view chunk, std::string& partial);
  void OutputClosed();
  // Waits for the "listening on" line after a start. False (process stopped) without one.
  bool AwaitPort(const std::string& executable, std::string* error, std::chrono::milliseconds timeout);

  std::unique_ptr<Child> child_;
  std::uint16_t port_ = 0;
  std::thread reader_;
  mutable std::mutex mutex_;
  mutable std::condition_variable linesChanged_;
  std::vector<std::string> lines_;
  bool outputClosed_ = false;
};

}  // namespace zelto::sim
