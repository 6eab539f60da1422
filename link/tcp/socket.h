#pragma once
// Small POSIX socket helpers shared by the report-stream client (link/tcp) and the simulated
// processor's server (sim/). Every wait is bounded by a deadline so that a silent peer can never
// hang the link worker.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace zelto::net {

/// Owns one socket descriptor.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : fd_(other.Release()) {}
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int Fd() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Close();
  int Release();

 private:
  int fd_ = -1;
};

enum class IoResult { Ok, Closed, TimedOut, Failed };

/// Sends every byte of `data` within `timeout`.
IoResult SendAll(int fd, std::span<const std::uint8_t> data, std::chrono::milliseconds timeout);
/// Receives exactly `data.size()` bytes within `timeout`.
IoResult ReceiveAll(int fd, std::span<std::uint8_t> data, std::chrono::milliseconds timeout);

/// Both ends of the report stream disable Nagle: every report is a small request that waits
/// for its answer, so batching would only add latency.
void SetNoDelay(int fd);
/// Writes on a socket whose peer has gone must fail with an error, not kill the process.
void SuppressSigpipe(int fd);

/// Connects to `host`:`port` (name or numeric address) within `timeout`.
Socket ConnectTcp(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout,
                  std::string* error);
/// Listens on `host`:`port`; port 0 picks a free one, returned in `boundPort`.
Socket ListenTcp(const std::string& host, std::uint16_t port, std::uint16_t* boundPort, std::string* error);

std::string ErrorText(int err);

}  // namespace zelto::net
