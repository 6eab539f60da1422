#pragma once
// Serves a SimProcessor over the report stream (link/tcp/report_stream.h). Several host
// connections may be open at once (a device watcher probes with short-lived ones while the tool
// holds its own, and a second tool may connect while the first works); they all reach the one
// processor's parameter memory, each with a link of its own, so one never loses another's replies. While the processor
// is away, connections are closed and new ones are hung up on before the hello, which is what removal looks like here.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_processor.h"

namespace zelto::sim {

inline constexpr const char* kLoopbackHost = "127.0.0.1";

class SimServer {
 public:
  explicit SimServer(SimProcessor& processor);
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  /// Binds `host`:`port` (port 0 picks a free one). False with `error` set when that fails.
  bool Listen(std::uint16_t port, std::string* error, const std::string& host = kLoopbackHost);
  std::uint16_t Port() const { return port_; }
  /// The device URL a tool uses to reach this server, e.g. "tcp:127.0.0.1:40123".
  std::string Url() const;

  /// Serves one connection at a time, as a bridge to a single USB device does: the next one is
  /// accepted only after the current one has closed. Set before Run.
  void SetOneClient(bool on) { oneClient_ = on; }

  /// Serves until Stop(); closes every connection before it returns.
  void Run();
  /// Runs the server on a thread of its own (joined by Stop or the destructor).
  void Start();
  /// Ends Run from any thread (a signal-waiting one too).
  void Stop();

 private:
  struct Client;
  struct Io;
  using ClientPtr = std::shared_ptr<Client>;

  void StartAccept();
  void Accept(const ClientPtr& client);
  void StartRead(const ClientPtr& client);
  // Takes what the client sent and carries out every complete request. False: drop the client.
  bool Serve(Client& client, std::size_t received);
  bool ServeRequests(Client& client);
  // Hands the replies waiting in the client's outbox to the socket, unless a write is under way.
  void Flush(const ClientPtr& client);
  void Drop(const ClientPtr& client);

  SimProcessor& processor_;
  std::string host_ = kLoopbackHost;
  std::unique_ptr<Io> io_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopRequested_{false};
  bool oneClient_ = false;
  bool acceptPaused_ = false;  // one-client mode: the next connection waits in the backlog
  std::vector<ClientPtr> clients_;
  std::uint64_t nextClientId_ = 1;
  std::thread thread_;
};

}  // namespace zelto::sim
