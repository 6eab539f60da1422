#include "sim/twin/control_port.h"
#include "core/text.h"

#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>
#include <memory>
#include <charconv>
#include <istream>
#include <optional>

namespace zelto::twin {

namespace {

constexpr std::string_view kCommand = "position";
// A line longer than this is no command; the connection is closed rather than buffered forever.
constexpr std::size_t kMaxLine = 1024;

using text::Trim;

}  // namespace

std::optional<std::size_t> ParsePositionCommand(std::string_view line, const std::vector<std::string>& positions,
                                                std::string* error) {
  const auto fail = [&](const std::string& why) -> std::optional<std::size_t> {
    if (error) *error = why;
    return std::nullopt;
  };
  line = Trim(line);
  if (line.substr(0, kCommand.size()) != kCommand ||
      (line.size() > kCommand.size() && line[kCommand.size()] != ' ' && line[kCommand.size()] != '\t'))
    return fail("unknown command; use \"position N\" with N from 1 to " + std::to_string(positions.size()));
  const std::string_view arg = Trim(line.substr(kCommand.size()));
  if (arg.empty()) return fail("\"position\" needs a number from 1 to " + std::to_string(positions.size()));
  std::size_t n = 0;
  const auto [end, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), n);
  if (ec == std::errc() && end == arg.data() + arg.size()) {
    if (n < 1 || n > positions.size())
      return fail("no position " + std::string(arg) + "; the car has positions 1 to " +
                  std::to_string(positions.size()));
    return n - 1;
  }
  for (std::size_t i = 0; i < positions.size(); ++i)
    if (positions[i] == arg) return i;
  return fail("no position \"" + std::string(arg) + "\"");
}

std::string DescribePosition(std::size_t position, const std::vector<std::string>& positions) {
  std::string s = std::string(kCommand) + " " + std::to_string(position + 1);
  if (position < positions.size() && !positions[position].empty()) s += " " + positions[position];
  return s;
}

struct ControlPort::Io {
  asio::io_context context;
  asio::ip::tcp::acceptor acceptor{context};
};

namespace {

// One connection: reads lines and answers each, until the other end closes.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(asio::ip::tcp::socket socket, const std::function<std::string(std::string_view)>& handle)
      : socket_(std::move(socket)), handle_(handle), buffer_(kMaxLine) {}
  void Read() {
    asio::async_read_until(socket_, buffer_, '\n', [self = shared_from_this()](std::error_code ec, std::size_t) {
      if (ec) return;  // closed, or a line too long to be a command
      std::istream in(&self->buffer_);
      std::string line;
      std::getline(in, line);
      self->answer_ = self->handle_(line) + "\n";
      asio::async_write(self->socket_, asio::buffer(self->answer_), [self](std::error_code wec, std::size_t) {
        if (!wec) self->Read();
      });
    });
  }

 private:
  asio::ip::tcp::socket socket_;
  const std::function<std::string(std::string_view)>& handle_;
  asio::streambuf buffer_;
  std::string answer_;
};

void Accept(asio::ip::tcp::acceptor& acceptor, const std::function<std::string(std::string_view)>& handle) {
  acceptor.async_accept([&acceptor, &handle](std::error_code ec, asio::ip::tcp::socket socket) {
    if (ec) return;  // the acceptor was closed
    std::make_shared<Session>(std::move(socket), handle)->Read();
    Accept(acceptor, handle);
  });
}

}  // namespace

ControlPort::ControlPort(std::function<std::string(std::string_view)> handle)
    : handle_(std::move(handle)), io_(std::make_unique<Io>()) {}

ControlPort::~ControlPort() { Stop(); }

bool ControlPort::Start(std::uint16_t port, std::string* error) {
  std::error_code ec;
  const asio::ip::tcp::endpoint at(asio::ip::make_address_v4("127.0.0.1"), port);
  io_->acceptor.open(at.protocol(), ec);
  if (!ec) io_->acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
  if (!ec) io_->acceptor.bind(at, ec);
  if (!ec) io_->acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    if (error) *error = "control port " + std::to_string(port) + ": " + ec.message();
    return false;
  }
  port_ = io_->acceptor.local_endpoint().port();
  Accept(io_->acceptor, handle_);
  thread_ = std::thread([this] { io_->context.run(); });
  return true;
}

void ControlPort::Stop() {
  if (!thread_.joinable()) return;
  // Stopping the context abandons the open connections; their sockets close when the context
  // goes with this port.
  io_->context.stop();
  thread_.join();
}

}  // namespace zelto::twin
