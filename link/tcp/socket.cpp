#include "link/tcp/socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0  // platforms without it use SO_NOSIGPIPE (SuppressSigpipe)
#endif

namespace zelto::net {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kListenBacklog = 8;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until `fd` is ready for `events` or the deadline passes. False on timeout or error.
IoResult WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, RemainingMs(deadline));
    if (r > 0) return IoResult::Ok;
    if (r == 0) return IoResult::TimedOut;
    if (errno != EINTR) return IoResult::Failed;
  }
}

bool SetBlocking(int fd, bool blocking) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  return ::fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

struct AddressList {
  addrinfo* list = nullptr;
  ~AddressList() {
    if (list) ::freeaddrinfo(list);
  }
};

int Resolve(const std::string& host, std::uint16_t port, bool passive, AddressList& out, std::string* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
  const std::string service = std::to_string(port);
  const int r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &out.list);
  if (r != 0 && error) *error = "cannot resolve " + host + ": " + ::gai_strerror(r);
  return r;
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

void Socket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int Socket::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

std::string ErrorText(int err) { return std::strerror(err); }

IoResult SendAll(int fd, std::span<const std::uint8_t> data, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const IoResult w = WaitFor(fd, POLLOUT, deadline);
      if (w != IoResult::Ok) return w;
      continue;
    }
    return (n < 0 && (errno == EPIPE || errno == ECONNRESET)) ? IoResult::Closed : IoResult::Failed;
  }
  return IoResult::Ok;
}

IoResult ReceiveAll(int fd, std::span<std::uint8_t> data, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::recv(fd, data.data() + done, data.size() - done, MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) return IoResult::Closed;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      const IoResult w = WaitFor(fd, POLLIN, deadline);
      if (w != IoResult::Ok) return w;
      continue;
    }
    return errno == ECONNRESET ? IoResult::Closed : IoResult::Failed;
  }
  return IoResult::Ok;
}

void SetNoDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void SuppressSigpipe([[maybe_unused]] int fd) {
#ifdef SO_NOSIGPIPE
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
}

Socket ConnectTcp(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout,
                  std::string* error) {
  AddressList addresses;
  if (Resolve(host, port, false, addresses, error) != 0) return {};
  const auto deadline = Clock::now() + timeout;
  int lastError = ECONNREFUSED;
  for (addrinfo* a = addresses.list; a; a = a->ai_next) {
    Socket s(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
    if (!s.Valid()) {
      lastError = errno;
      continue;
    }
    SetBlocking(s.Fd(), false);
    if (::connect(s.Fd(), a->ai_addr, a->ai_addrlen) != 0) {
      if (errno != EINPROGRESS) {
        lastError = errno;
        continue;
      }
      if (WaitFor(s.Fd(), POLLOUT, deadline) != IoResult::Ok) {
        lastError = ETIMEDOUT;
        continue;
      }
      int soError = 0;
      socklen_t len = sizeof soError;
      ::getsockopt(s.Fd(), SOL_SOCKET, SO_ERROR, &soError, &len);
      if (soError != 0) {
        lastError = soError;
        continue;
      }
    }
    SetBlocking(s.Fd(), true);
    SetNoDelay(s.Fd());
    SuppressSigpipe(s.Fd());
    return s;
  }
  if (error) *error = "cannot connect to " + host + ":" + std::to_string(port) + ": " + ErrorText(lastError);
  return {};
}

Socket ListenTcp(const std::string& host, std::uint16_t port, std::uint16_t* boundPort, std::string* error) {
  AddressList addresses;
  if (Resolve(host, port, true, addresses, error) != 0) return {};
  int lastError = EADDRNOTAVAIL;
  for (addrinfo* a = addresses.list; a; a = a->ai_next) {
    Socket s(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
    if (!s.Valid()) {
      lastError = errno;
      continue;
    }
    const int on = 1;
    ::setsockopt(s.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(s.Fd(), a->ai_addr, a->ai_addrlen) != 0 || ::listen(s.Fd(), kListenBacklog) != 0) {
      lastError = errno;
      continue;
    }
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(s.Fd(), reinterpret_cast<sockaddr*>(&bound), &len);
    if (boundPort) {
      *boundPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                               : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    }
    return s;
  }
  if (error) *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " + ErrorText(lastError);
  return {};
}

}  // namespace zelto::net
