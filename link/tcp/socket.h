#pragma once
// Small blocking socket helpers shared by the report-stream client (link/tcp) and the tests'
// scripted device sides, on standalone Asio so the same code runs on every platform. Every wait
// is bounded by a deadline so that a silent peer can never hang the link worker. Asio itself
// stays inside socket.cpp.

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zelto::net {

enum class IoResult { Ok, Closed, TimedOut, Failed };

/// One connected TCP stream. Not shared between threads.
class Socket {
 public:
  Socket();
  ~Socket();
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool Valid() const;
  void Close();

  /// Sends every byte of `data` within `timeout`.
  IoResult SendAll(std::span<const std::uint8_t> data, std::chrono::milliseconds timeout);
  /// Receives exactly `data.size()` bytes within `timeout`.
  IoResult ReceiveAll(std::span<std::uint8_t> data, std::chrono::milliseconds timeout);

  struct Impl;

 private:
  explicit Socket(std::unique_ptr<Impl> impl);
  friend class Listener;
  friend Socket ConnectTcp(const std::string&, std::uint16_t, std::chrono::milliseconds, std::string*);

  std::unique_ptr<Impl> impl_;
};

inline IoResult SendAll(Socket& socket, std::span<const std::uint8_t> data, std::chrono::milliseconds timeout) {
  return socket.SendAll(data, timeout);
}
inline IoResult ReceiveAll(Socket& socket, std::span<std::uint8_t> data, std::chrono::milliseconds timeout) {
  return socket.ReceiveAll(data, timeout);
}

/// A listening TCP socket.
class Listener {
 public:
  Listener();
  ~Listener();
  Listener(Listener&& other) noexcept;
  Listener& operator=(Listener&& other) noexcept;
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  bool Valid() const;
  /// The next connection within `timeout`; an invalid socket on timeout, error or Interrupt.
  Socket Accept(std::chrono::milliseconds timeout);
  /// Ends an Accept waiting on another thread, and every later one. Safe from any thread.
  void Interrupt();

  struct Impl;

 private:
  explicit Listener(std::unique_ptr<Impl> impl);
  friend Listener ListenTcp(const std::string&, std::uint16_t, std::uint16_t*, std::string*);

  std::unique_ptr<Impl> impl_;
};

/// Connects to `host`:`port` (name or numeric address) within `timeout`. Both ends of the report
/// stream disable Nagle: every report is a small request that waits for its answer, so batching
/// would only add latency.
Socket ConnectTcp(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout, std::string* error);
/// Listens on `host`:`port`; port 0 picks a free one, returned in `boundPort`.
Listener ListenTcp(const std::string& host, std::uint16_t port, std::uint16_t* boundPort, std::string* error);

}  // namespace zelto::net
