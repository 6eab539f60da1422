#include "sim/sim_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "link/tcp/report_stream.h"

namespace zelto::sim {
namespace {

// A host that stops reading for this long is treated as gone.
constexpr std::chrono::milliseconds kSendTimeout{1000};
constexpr std::size_t kReceiveChunk = 4096;

}  // namespace

SimServer::SimServer(SimProcessor& processor) : processor_(processor) {
  int fds[2];
  if (::pipe(fds) == 0) {
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    for (int fd : fds) {
      ::fcntl(fd, F_SETFD, FD_CLOEXEC);
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
    }
  }
}

SimServer::~SimServer() {
  Stop();
  if (thread_.joinable()) thread_.join();
  if (wakeRead_ >= 0) ::close(wakeRead_);
  if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

bool SimServer::Listen(std::uint16_t port, std::string* error, const std::string& host) {
  host_ = host;
  listener_ = net::ListenTcp(host, port, &port_, error);
  if (!listener_.Valid()) return false;
  ::fcntl(listener_.Fd(), F_SETFL, ::fcntl(listener_.Fd(), F_GETFL, 0) | O_NONBLOCK);
  return true;
}

std::string SimServer::Url() const {
  const bool v6 = host_.find(':') != std::string::npos;
  return "tcp:" + (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
}

void SimServer::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

void SimServer::Stop() {
  stopRequested_ = true;
  if (wakeWrite_ >= 0) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(wakeWrite_, &byte, 1);
  }
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void SimServer::Run() {
  std::vector<pollfd> fds;
  while (!stopRequested_) {
    fds.clear();
    fds.push_back({wakeRead_, POLLIN, 0});
    // One client at a time: a waiting connection stays in the backlog until the current one closes.
    const bool accepting = !oneClient_ || clients_.empty();
    fds.push_back({listener_.Fd(), static_cast<short>(accepting ? POLLIN : 0), 0});
    for (const Client& c : clients_) fds.push_back({c.socket.Fd(), POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    // Serve the clients polled above before accepting, so indices still match.
    std::vector<std::uint64_t> drop;
    for (std::size_t i = 0; i < clients_.size(); ++i) {
      if (fds[i + 2].revents == 0) continue;
      if (!Serve(clients_[i])) drop.push_back(clients_[i].id);
    }
    // The processor went away while serving: every connection made before is dead.
    const std::uint64_t generation = processor_.Generation();
    std::erase_if(clients_, [&](const Client& c) {
      return c.generation != generation || std::find(drop.begin(), drop.end(), c.id) != drop.end();
    });
    if (fds[1].revents != 0 && (!oneClient_ || clients_.empty())) Accept();
  }
  clients_.clear();
}

void SimServer::Accept() {
  for (;;) {
    net::Socket s(::accept(listener_.Fd(), nullptr, nullptr));
    if (!s.Valid()) return;  // nothing more waiting (or a transient error: poll tells us again)
    ::fcntl(s.Fd(), F_SETFD, FD_CLOEXEC);
    // Away: hang up at once, before the hello, so the host sees no device here.
    if (!processor_.Present()) continue;
    net::SetNoDelay(s.Fd());
    net::SuppressSigpipe(s.Fd());
    const auto hello = report_stream::EncodeHello(processor_.UsbAttributes());
    if (net::SendAll(s.Fd(), hello, kSendTimeout) != net::IoResult::Ok) continue;
    clients_.push_back(Client{std::move(s), nextClientId_++, processor_.Generation(), {}});
    if (oneClient_) return;
  }
}

bool SimServer::Serve(Client& client) {
  std::array<std::uint8_t, kReceiveChunk> chunk{};
  const ssize_t n = ::recv(client.socket.Fd(), chunk.data(), chunk.size(), MSG_DONTWAIT);
  if (n == 0) return false;
  if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  client.pending.insert(client.pending.end(), chunk.begin(), chunk.begin() + n);
  return ServeRequests(client);
}

bool SimServer::ServeRequests(Client& client) {
  using report_stream::Op;
  auto& in = client.pending;
  while (!in.empty()) {
    const auto size = report_stream::RequestSize(in);
    if (!size) return false;  // not a report stream
    if (*size == 0) return true;
    const auto op = static_cast<Op>(in[0]);
    // A request from another connection than the last one starts a new host session.
    if (activeClient_ != client.id) {
      processor_.ResetLink();
      activeClient_ = client.id;
    }
    if (op == Op::SetOutputReport) {
      std::array<std::uint8_t, kHidReportSize> report{};
      std::copy_n(in.begin() + 1, kHidReportSize, report.begin());
      in.erase(in.begin(), in.begin() + report_stream::kSetRequestSize);
      if (!processor_.WriteOutputReport(report, client.generation)) return false;
    } else {
      in.erase(in.begin());
      std::array<std::uint8_t, kHidReportSize> report{};
      if (!processor_.ReadInputReport(report, client.generation)) return false;
      if (net::SendAll(client.socket.Fd(), report, kSendTimeout) != net::IoResult::Ok) return false;
    }
  }
  return true;
}

}  // namespace zelto::sim
