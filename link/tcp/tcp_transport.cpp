#include "link/tcp/tcp_transport.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "link/tcp/socket.h"

namespace zelto {
namespace {

constexpr std::string_view kPathPrefix = "tcp:";
// The report stream carries report ID 0 only: the processor uses no numbered reports.
constexpr std::uint8_t kReportId = 0;

template <class State>
class TcpDevice final : public HidDevice {
 public:
  TcpDevice(net::Socket socket, std::shared_ptr<State> state) : socket_(std::move(socket)), state_(std::move(state)) {
    std::lock_guard lock(state_->mutex);
    state_->open = state_->alive = true;
  }
  ~TcpDevice() override {
    std::lock_guard lock(state_->mutex);
    state_->open = state_->alive = false;
  }
  TcpDevice(const TcpDevice&) = delete;
  TcpDevice& operator=(const TcpDevice&) = delete;

  bool WriteOutputReport(std::span<const std::uint8_t, kHidReportSize> report) override {
    if (!socket_.Valid()) return false;
    std::array<std::uint8_t, report_stream::kSetRequestSize> request{};
    request[0] = static_cast<std::uint8_t>(report_stream::Op::SetOutputReport);
    std::copy(report.begin(), report.end(), request.begin() + 1);
    request[1] = kReportId;
    return Check(net::SendAll(socket_, request, kTcpReportTimeout));
  }

  bool ReadInputReport(std::span<std::uint8_t, kHidReportSize> report) override {
    std::fill(report.begin(), report.end(), 0);
    if (!socket_.Valid()) return false;
    const std::array<std::uint8_t, 1> request = {static_cast<std::uint8_t>(report_stream::Op::GetInputReport)};
    if (!Check(net::SendAll(socket_, request, kTcpReportTimeout))) return false;
    if (!Check(net::ReceiveAll(socket_, report, kTcpReportTimeout))) {
      std::fill(report.begin(), report.end(), 0);
      return false;
    }
    return true;
  }

 private:
  // Any failure ends the connection for good: a half-sent request would leave the stream out of
  // step. The closed connection is the removal of the device: the enumeration no longer shows it.
  bool Check(net::IoResult r) {
    if (r == net::IoResult::Ok) return true;
    socket_.Close();
    std::lock_guard lock(state_->mutex);
    state_->alive = false;
    return false;
  }

  net::Socket socket_;
  std::shared_ptr<State> state_;
};

}  // namespace

struct TcpTransport::Connection {
  net::Socket socket;
  report_stream::Attributes attributes;
};

std::optional<TcpEndpoint> ParseTcpEndpoint(std::string_view hostPort) {
  std::string_view host;
  std::string_view port;
  if (hostPort.starts_with('[')) {
    const auto close = hostPort.find(']');
    if (close == std::string_view::npos || close + 1 >= hostPort.size() || hostPort[close + 1] != ':')
      return std::nullopt;
    host = hostPort.substr(1, close - 1);
    port = hostPort.substr(close + 2);
  } else {
    const auto colon = hostPort.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    host = hostPort.substr(0, colon);
    port = hostPort.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) return std::nullopt;  // IPv6 needs brackets
  }
  if (host.empty() || port.empty()) return std::nullopt;
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (ec != std::errc{} || end != port.data() + port.size() || value == 0 || value > 0xFFFF) return std::nullopt;
  return TcpEndpoint{std::string(host), static_cast<std::uint16_t>(value)};
}

std::string TcpDevicePath(const TcpEndpoint& endpoint) {
  const bool v6 = endpoint.host.find(':') != std::string::npos;
  return std::string(kPathPrefix) + (v6 ? "[" + endpoint.host + "]" : endpoint.host) + ":" +
         std::to_string(endpoint.port);
}

TcpTransport::TcpTransport(TcpEndpoint endpoint) : endpoint_(std::move(endpoint)), path_(TcpDevicePath(endpoint_)) {}

std::optional<TcpTransport::Connection> TcpTransport::Connect() {
  std::string error;
  net::Socket socket = net::ConnectTcp(endpoint_.host, endpoint_.port, kTcpConnectTimeout, &error);
  if (!socket.Valid()) {
    SetError(std::move(error));
    return std::nullopt;
  }
  std::array<std::uint8_t, report_stream::kHelloSize> hello{};
  switch (net::ReceiveAll(socket, hello, kTcpHelloTimeout)) {
    case net::IoResult::Ok: break;
    case net::IoResult::TimedOut: SetError(path_ + ": no hello from the device side"); return std::nullopt;
    default: SetError(path_ + ": the device side closed the connection before its hello"); return std::nullopt;
  }
  const auto attributes = report_stream::DecodeHello(hello);
  if (!attributes) {
    SetError(path_ + ": not a report stream (the hello does not start with ZHID)");
    return std::nullopt;
  }
  SetError({});
  return Connection{std::move(socket), *attributes};
}

std::vector<HidDeviceInfo> TcpTransport::Enumerate() {
  std::lock_guard connecting(connectMutex_);
  {
    std::lock_guard lock(openState_->mutex);
    if (openState_->open) {
      if (openState_->alive) return {openState_->info};
      return {};
    }
  }
  auto connection = Connect();
  if (!connection) return {};
  const auto& a = connection->attributes;
  return {HidDeviceInfo{path_, a.vendorId, a.productId, a.versionNumber}};
}

std::unique_ptr<HidDevice> TcpTransport::Open(const std::string& path) {
  if (path != path_) {
    SetError(path + ": this transport reaches only " + path_);
    return nullptr;
  }
  std::lock_guard connecting(connectMutex_);
  auto connection = Connect();
  if (!connection) return nullptr;
  const auto& a = connection->attributes;
  {
    std::lock_guard lock(openState_->mutex);
    openState_->info = HidDeviceInfo{path_, a.vendorId, a.productId, a.versionNumber};
  }
  return std::make_unique<TcpDevice<OpenState>>(std::move(connection->socket), openState_);
}

std::string TcpTransport::LastError() const {
  std::lock_guard lock(errorMutex_);
  return lastError_;
}

void TcpTransport::SetError(std::string text) {
  std::lock_guard lock(errorMutex_);
  lastError_ = std::move(text);
}

}  // namespace zelto
