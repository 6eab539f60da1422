#pragma once
// The report-stream backend: a processor reached over TCP (a running zelto-sim, or any other
// device side that speaks the stream of link/tcp/report_stream.h). The one device it can see is
// the one listening at HOST:PORT; its path is "tcp:HOST:PORT".

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/hid_transport.h"
#include "link/tcp/report_stream.h"

namespace zelto {

/// Durations of the report stream. A get-input-report request is answered at once by any device
/// side, so a peer silent for kReportTimeout is treated like a removed device.
inline constexpr std::chrono::milliseconds kTcpConnectTimeout{1000};
inline constexpr std::chrono::milliseconds kTcpHelloTimeout{1000};
inline constexpr std::chrono::milliseconds kTcpReportTimeout{2000};

struct TcpEndpoint {
  std::string host;
  std::uint16_t port = 0;
};

/// Splits "HOST:PORT" (IPv6 hosts in brackets: "[::1]:5000"). Nothing for anything else.
std::optional<TcpEndpoint> ParseTcpEndpoint(std::string_view hostPort);
/// "tcp:HOST:PORT", the device path of an endpoint.
std::string TcpDevicePath(const TcpEndpoint& endpoint);

class TcpTransport final : public HidTransport {
 public:
  explicit TcpTransport(TcpEndpoint endpoint);

  /// While a device of this transport is open, its connection is the device: present while the
  /// connection lives, gone once it has failed, and no new connection is made (a device side
  /// that serves one client at a time would never answer it). Otherwise: connects, reads the
  /// hello and hangs up: one device with the hello's attributes, or none when nothing answers at
  /// the endpoint or the hello is not a report-stream hello.
  std::vector<HidDeviceInfo> Enumerate() override;
  /// Connects and keeps the connection as the open device; null for another path, a refused
  /// connection or a bad hello (LastError says which).
  std::unique_ptr<HidDevice> Open(const std::string& path) override;
  std::string LastError() const override;

  const std::string& Path() const { return path_; }

 private:
  struct Connection;
  /// What the transport knows of the device it opened; shared with that device.
  struct OpenState {
    std::mutex mutex;
    bool open = false;   // a device of this transport exists
    bool alive = false;  // and its connection has not failed
    HidDeviceInfo info;
  };
  std::optional<Connection> Connect();
  void SetError(std::string text);

  TcpEndpoint endpoint_;
  // A probe and an open never connect at the same time: a one-client device side would hold the
  // second in its backlog until the first hangs up.
  std::mutex connectMutex_;
  std::shared_ptr<OpenState> openState_ = std::make_shared<OpenState>();
  std::string path_;
  mutable std::mutex errorMutex_;
  std::string lastError_;
};

}  // namespace zelto
