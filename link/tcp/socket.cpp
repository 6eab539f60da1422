#include "link/tcp/socket.h"

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>

#include <atomic>

#include "core/platform.h"
#include "link/tcp/acceptor.h"

namespace zelto::net {
namespace {

using asio::ip::tcp;

constexpr int kListenBacklog = 8;

IoResult ToResult(const std::error_code& ec) {
  if (!ec) return IoResult::Ok;
  if (ec == asio::error::operation_aborted) return IoResult::TimedOut;  // cancelled at the deadline
  if (ec == asio::error::eof || ec == asio::error::connection_reset || ec == asio::error::broken_pipe ||
      ec == asio::error::connection_aborted)
    return IoResult::Closed;
  return IoResult::Failed;
}

}  // namespace

// Each socket runs its own io_context only while one of its calls waits, so a blocking call with
// a deadline is an asynchronous operation run for at most that long.
struct Socket::Impl {
  asio::io_context io;
  tcp::socket socket{io};

  // Runs the started operation until it completes or `timeout` passes; then cancels it and
  // waits for its handler, which reports operation_aborted.
  void RunFor(std::chrono::milliseconds timeout) {
    io.restart();
    io.run_for(timeout);
    if (io.stopped()) return;
    std::error_code ignored;
    socket.cancel(ignored);
    io.run();
  }
};

struct Listener::Impl {
  asio::io_context io;
  tcp::acceptor acceptor{io};
  std::atomic<bool> interrupted{false};
};

Socket::Socket() = default;
Socket::Socket(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Socket::~Socket() = default;
Socket::Socket(Socket&& other) noexcept = default;
Socket& Socket::operator=(Socket&& other) noexcept = default;

bool Socket::Valid() const { return impl_ && impl_->socket.is_open(); }

void Socket::Close() {
  if (!impl_) return;
  std::error_code ignored;
  impl_->socket.shutdown(tcp::socket::shutdown_both, ignored);
  impl_->socket.close(ignored);
}

IoResult Socket::SendAll(std::span<const std::uint8_t> data, std::chrono::milliseconds timeout) {
  if (!Valid()) return IoResult::Failed;
  std::error_code result = asio::error::would_block;
  asio::async_write(impl_->socket, asio::buffer(data.data(), data.size()),
                    [&](const std::error_code& ec, std::size_t) { result = ec; });
  impl_->RunFor(timeout);
  return ToResult(result);
}

IoResult Socket::ReceiveAll(std::span<std::uint8_t> data, std::chrono::milliseconds timeout) {
  if (!Valid()) return IoResult::Failed;
  std::error_code result = asio::error::would_block;
  asio::async_read(impl_->socket, asio::buffer(data.data(), data.size()),
                   [&](const std::error_code& ec, std::size_t) { result = ec; });
  impl_->RunFor(timeout);
  return ToResult(result);
}

Listener::Listener() = default;
Listener::Listener(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Listener::~Listener() = default;
Listener::Listener(Listener&& other) noexcept = default;
Listener& Listener::operator=(Listener&& other) noexcept = default;

bool Listener::Valid() const { return impl_ && impl_->acceptor.is_open(); }

Socket Listener::Accept(std::chrono::milliseconds timeout) {
  if (!Valid() || impl_->interrupted) return {};
  auto peer = std::make_unique<Socket::Impl>();
  std::error_code result = asio::error::would_block;
  impl_->acceptor.async_accept(peer->io, [&](const std::error_code& ec, tcp::socket accepted) {
    result = ec;
    if (!ec) peer->socket = std::move(accepted);
  });
  impl_->io.restart();
  impl_->io.run_for(timeout);
  if (!impl_->io.stopped()) {
    std::error_code ignored;
    impl_->acceptor.cancel(ignored);
    impl_->io.run();
  }
  if (result) return {};
  KeepFromChildProcesses(peer->socket.native_handle());
  std::error_code ignored;
  peer->socket.set_option(tcp::no_delay(true), ignored);
  return Socket(std::move(peer));
}

void Listener::Interrupt() {
  if (!impl_) return;
  impl_->interrupted = true;
  // Run by the thread in Accept, the only one touching the acceptor (or by the next Accept).
  asio::post(impl_->io, [impl = impl_.get()] {
    std::error_code ignored;
    impl->acceptor.cancel(ignored);
  });
}

Socket ConnectTcp(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout, std::string* error) {
  auto impl = std::make_unique<Socket::Impl>();
  std::error_code ec;
  tcp::resolver resolver(impl->io);
  const auto endpoints = resolver.resolve(host, std::to_string(port), tcp::resolver::numeric_service, ec);
  if (ec) {
    if (error) *error = "cannot resolve " + host + ": " + ec.message();
    return {};
  }
  std::error_code result = asio::error::would_block;
  asio::async_connect(impl->socket, endpoints, [&](const std::error_code& e, const tcp::endpoint&) { result = e; });
  impl->RunFor(timeout);
  if (result) {
    if (result == asio::error::operation_aborted) result = asio::error::timed_out;
    if (error) *error = "cannot connect to " + host + ":" + std::to_string(port) + ": " + result.message();
    return {};
  }
  KeepFromChildProcesses(impl->socket.native_handle());
  impl->socket.set_option(tcp::no_delay(true), ec);
  return Socket(std::move(impl));
}

bool OpenAcceptor(tcp::acceptor& acceptor, const std::string& host, std::uint16_t port, std::uint16_t* boundPort,
                  std::string* error) {
  std::error_code ec;
  tcp::resolver resolver(acceptor.get_executor());
  const auto endpoints =
      resolver.resolve(host, std::to_string(port), tcp::resolver::numeric_service | tcp::resolver::passive, ec);
  if (ec) {
    if (error) *error = "cannot resolve " + host + ": " + ec.message();
    return false;
  }
  std::error_code last = std::make_error_code(std::errc::address_not_available);
  for (const auto& entry : endpoints) {
    std::error_code e;
    acceptor.close(e);
    acceptor.open(entry.endpoint().protocol(), e);
    if (e) {
      last = e;
      continue;
    }
    KeepFromChildProcesses(acceptor.native_handle());
    if (ReuseListeningAddress()) acceptor.set_option(tcp::acceptor::reuse_address(true), e);
    acceptor.bind(entry.endpoint(), e);
    if (!e) acceptor.listen(kListenBacklog, e);
    if (e) {
      last = e;
      continue;
    }
    if (boundPort) *boundPort = acceptor.local_endpoint(e).port();
    return true;
  }
  acceptor.close(ec);
  if (error) *error = "cannot listen on " + host + ":" + std::to_string(port) + ": " + last.message();
  return false;
}

Listener ListenTcp(const std::string& host, std::uint16_t port, std::uint16_t* boundPort, std::string* error) {
  auto impl = std::make_unique<Listener::Impl>();
  if (!OpenAcceptor(impl->acceptor, host, port, boundPort, error)) return {};
  return Listener(std::move(impl));
}

}  // namespace zelto::net
