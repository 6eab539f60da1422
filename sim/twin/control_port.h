#pragma once
// The microphone is moved from outside, as a person moves it: a line-based TCP port on loopback
// that takes "position N" (1 = the car's first position) or "position NAME" and answers each line
// with the position now in use ("position 2 left") or with "error: " and the reason.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zelto::twin {

/// Reads one command line against the car's `positions`: the 0-based position it names, or the
/// reason it names none in `error`.
std::optional<std::size_t> ParsePositionCommand(std::string_view line, const std::vector<std::string>& positions,
                                                std::string* error);
/// "position 2 left" for 0-based position 1.
std::string DescribePosition(std::size_t position, const std::vector<std::string>& positions);

class ControlPort {
 public:
  /// `handle` gets every line (without its line end) and returns the answer (without one). It runs
  /// on the port's own thread.
  explicit ControlPort(std::function<std::string(std::string_view)> handle);
  ~ControlPort();
  ControlPort(const ControlPort&) = delete;
  ControlPort& operator=(const ControlPort&) = delete;

  /// Binds 127.0.0.1:`port` (0 picks a free one) and starts serving. False with `error` set.
  bool Start(std::uint16_t port, std::string* error);
  std::uint16_t Port() const { return port_; }
  void Stop();

 private:
  struct Io;
  std::function<std::string(std::string_view)> handle_;
  std::unique_ptr<Io> io_;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

}  // namespace zelto::twin
