#include "sim/sim_server.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>

#include <algorithm>
#include <array>

#include "core/platform.h"
#include "link/tcp/acceptor.h"
#include "link/tcp/report_stream.h"

namespace zelto::sim {
namespace {

using asio::ip::tcp;

// A host that stops reading for this long is treated as gone.
constexpr std::chrono::milliseconds kSendTimeout{1000};
constexpr std::size_t kReceiveChunk = 4096;

}  // namespace

// Everything runs on the one thread in Run: handlers never overlap, so clients_ and the processor
// need no lock of their own here.
struct SimServer::Io {
  asio::io_context context;
  tcp::acceptor acceptor{context};
};

struct SimServer::Client {
  explicit Client(asio::io_context& io) : socket(io), sendDeadline(io) {}

  tcp::socket socket;
  asio::steady_timer sendDeadline;
  std::uint64_t id = 0;
  std::uint64_t generation = 0;
  bool open = true;
  std::array<std::uint8_t, kReceiveChunk> chunk{};
  std::vector<std::uint8_t> pending;  // request bytes not yet complete
  std::vector<std::uint8_t> outbox;   // replies waiting for the write under way
  std::vector<std::uint8_t> sending;  // replies being written
  std::uint64_t writes = 0;           // tells the deadline of one write from the next
};

SimServer::SimServer(SimProcessor& processor) : processor_(processor), io_(std::make_unique<Io>()) {}

SimServer::~SimServer() {
  Stop();
  if (thread_.joinable()) thread_.join();
}

bool SimServer::Listen(std::uint16_t port, std::string* error, const std::string& host) {
  host_ = host;
  return net::OpenAcceptor(io_->acceptor, host, port, &port_, error);
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
  io_->context.stop();  // also ends a Run that has not started yet: the context stays stopped
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void SimServer::Run() {
  if (stopRequested_ || !io_->acceptor.is_open()) return;
  StartAccept();
  io_->context.run();
  // Handlers still queued keep their client alive until the context goes; the sockets close now.
  for (const ClientPtr& c : clients_) {
    c->open = false;
    std::error_code ignored;
    c->socket.close(ignored);
  }
  clients_.clear();
}

void SimServer::StartAccept() {
  auto client = std::make_shared<Client>(io_->context);
  io_->acceptor.async_accept(client->socket, [this, client](const std::error_code& ec) {
    if (ec == asio::error::operation_aborted) return;
    if (!ec) Accept(client);
    // One client at a time: a waiting connection stays in the backlog until the current one closes.
    if (oneClient_ && !clients_.empty()) {
      acceptPaused_ = true;
      return;
    }
    StartAccept();  // after a transient error too: the next connection may well succeed
  });
}

void SimServer::Accept(const ClientPtr& client) {
  KeepFromChildProcesses(client->socket.native_handle());
  std::error_code ignored;
  // Away: hang up at once, before the hello, so the host sees no device here.
  if (!processor_.Present()) {
    client->socket.close(ignored);
    return;
  }
  client->socket.set_option(tcp::no_delay(true), ignored);
  const auto hello = report_stream::EncodeHello(processor_.UsbAttributes());
  client->outbox.assign(hello.begin(), hello.end());
  client->id = nextClientId_++;
  client->generation = processor_.Generation();
  clients_.push_back(client);
  Flush(client);
  StartRead(client);
}

void SimServer::StartRead(const ClientPtr& client) {
  client->socket.async_read_some(asio::buffer(client->chunk), [this, client](const std::error_code& ec, std::size_t n) {
    if (!client->open) return;
    if (ec || !Serve(*client, n)) {
      Drop(client);
    } else {
      Flush(client);
    }
    // The processor went away while serving: every connection made before is dead.
    const std::uint64_t generation = processor_.Generation();
    const auto stale = clients_;
    for (const ClientPtr& c : stale)
      if (c->generation != generation) Drop(c);
    if (client->open) StartRead(client);
  });
}

bool SimServer::Serve(Client& client, std::size_t received) {
  client.pending.insert(client.pending.end(), client.chunk.begin(), client.chunk.begin() + received);
  return ServeRequests(client);
}

bool SimServer::ServeRequests(Client& client) {
  using report_stream::Op;
  auto& in = client.pending;
  while (!in.empty()) {
    const auto op = static_cast<Op>(in[0]);
    if (op != Op::SetOutputReport && op != Op::GetInputReport) return false;  // not a report stream
    if (op == Op::SetOutputReport && in.size() < report_stream::kSetRequestSize) return true;
    if (op == Op::SetOutputReport) {
      std::array<std::uint8_t, kHidReportSize> report{};
      std::copy_n(in.begin() + 1, kHidReportSize, report.begin());
      in.erase(in.begin(), in.begin() + report_stream::kSetRequestSize);
      if (!processor_.WriteOutputReport(report, client.generation, client.id)) return false;
    } else {
      in.erase(in.begin());
      std::array<std::uint8_t, kHidReportSize> report{};
      if (!processor_.ReadInputReport(report, client.generation, client.id)) return false;
      client.outbox.insert(client.outbox.end(), report.begin(), report.end());
    }
  }
  return true;
}

void SimServer::Flush(const ClientPtr& client) {
  if (!client->open || !client->sending.empty() || client->outbox.empty()) return;
  std::swap(client->sending, client->outbox);
  const std::uint64_t write = ++client->writes;
  client->sendDeadline.expires_after(kSendTimeout);
  client->sendDeadline.async_wait([this, client, write](const std::error_code& ec) {
    if (!ec && client->open && client->writes == write && !client->sending.empty()) Drop(client);
  });
  asio::async_write(client->socket, asio::buffer(client->sending),
                    [this, client](const std::error_code& ec, std::size_t) {
                      client->sending.clear();
                      client->sendDeadline.cancel();
                      if (!client->open) return;
                      if (ec) {
                        Drop(client);
                        return;
                      }
                      Flush(client);
                    });
}

void SimServer::Drop(const ClientPtr& client) {
  if (!client->open) return;
  client->open = false;
  std::error_code ignored;
  client->socket.close(ignored);
  client->sendDeadline.cancel();
  std::erase(clients_, client);
  processor_.ResetLink(client->id);
  if (acceptPaused_ && clients_.empty()) {
    acceptPaused_ = false;
    StartAccept();
  }
}

}  // namespace zelto::sim
