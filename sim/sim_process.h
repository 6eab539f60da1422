#pragma once
// Starts zelto-sim as a child process and learns its port: for tests and benchmarks that must
// reach the simulated processor the way a user does, over the report stream of a real process.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelto::sim {

inline constexpr std::chrono::milliseconds kSimStartTimeout{5000};

class SimProcess {
 public:
  SimProcess() = default;
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  /// The zelto-sim to start: $ZELTO_SIM_EXE when set, otherwise the one of the build tree the
  /// running program belongs to (build/sim/zelto-sim, found from build/<dir>/ and
  /// build/tests/<dir>/). Empty when none is found.
  static std::string DefaultExecutable();

  /// Starts `executable` with `--port 0` and `arguments`, and waits until it reports its port.
  bool Start(const std::string& executable, const std::vector<std::string>& arguments, std::string* error,
             std::chrono::milliseconds timeout = kSimStartTimeout);
  /// Sends `signal` and waits for the process. Its exit code (128 + signal when killed by one),
  /// or -1 when nothing was running.
  int Stop(int signal);
  int Stop();  // SIGTERM

  std::uint16_t Port() const { return port_; }
  /// "tcp:127.0.0.1:PORT".
  std::string Url() const;
  pid_t Pid() const { return pid_; }

  /// Lines the process has printed so far (the first is the "listening on" line).
  std::vector<std::string> Lines() const;
  /// Waits until at least `count` lines have been printed. False on timeout.
  bool WaitForLines(std::size_t count, std::chrono::milliseconds timeout) const;

 private:
  void ReadOutput(int fd);

  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
  std::thread reader_;
  mutable std::mutex mutex_;
  mutable std::condition_variable linesChanged_;
  std::vector<std::string> lines_;
  bool outputClosed_ = false;
};

}  // namespace zelto::sim
