#pragma once
// A program the tests start as its own process, as a user or a shell starts it, so that it can be
// answered, interrupted and killed as they would. Its standard output and error go to two files
// beside each other, read whenever the test wants to see what it said; its standard input is
// either nothing or a stream the test writes to. POSIX only.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelto::testing {

class ChildProcess {
 public:
  /// What the child reads on its standard input.
  enum class Input { Nothing, Stream };
  /// Changes to the test's own environment for the child: a value sets a variable, none removes it.
  using Environment = std::map<std::string, std::optional<std::string>>;
  /// The exit status of a child ended by `signal`, as a shell reports it.
  static constexpr int Killed(int signal) { return 128 + signal; }

  /// Starts `program` with `arguments`; its output goes to `output` + ".out" and ".err". Whether
  /// it started is Started().
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& output, Input input = Input::Nothing, const Environment& environment = {});
  /// Kills a child still running and waits for it, so no test leaves a process behind.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return started_; }
  /// Writes `text` to the child's standard input (see Input); nothing once the child has ended.
  void Write(std::string_view text);
  void Signal(int signal);
  /// True while the child runs; takes its exit status once it ended.
  bool Running();
  /// Waits for the child to end: its exit status, or Killed(signal). -1 when it never started.
  int Wait();
  /// As Wait, but gives up after `limit` and leaves the child running (nothing returned).
  std::optional<int> WaitFor(std::chrono::milliseconds limit);
  /// SIGKILL, then Wait.
  int Kill();

  /// What the child has written so far.
  std::string Out() const;
  std::string Err() const;

 private:
  // Takes the status waitpid reported: the child is gone.
  void Reaped(int status);

  std::filesystem::path out_;
  std::filesystem::path err_;
  pid_t pid_ = -1;
  int stdin_ = -1;
  int exit_ = -1;
  bool started_ = false;
};

}  // namespace zelto::testing
