#pragma once
// zeltoctl: the command-line tool on the engine. RunZeltoctl is the whole program behind main(),
// so tests run every subcommand in their own process with their own streams.

#include <ostream>
#include <string>
#include <vector>

namespace zelto::ctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the device or a file failed; the message is on stderr
inline constexpr int kExitUsage = 2;    // the command line was wrong

struct CtlStreams {
  std::ostream& out;
  std::ostream& err;
  /// Draw the progress bar (only when stderr is a terminal).
  bool errIsTerminal = false;
};

/// Runs one command line (`args[0]` is the program name). Returns the exit status.
int RunZeltoctl(const std::vector<std::string>& args, const CtlStreams& streams);

}  // namespace zelto::ctl
