#pragma once
// Opening a listening socket, shared by net::ListenTcp and servers that accept asynchronously on
// their own io_context (the simulated processor's). The only socket header that shows Asio.

#include <asio/ip/tcp.hpp>
#include <cstdint>
#include <string>

namespace zelto::net {

/// Binds `acceptor` to `host`:`port` and listens; port 0 picks a free one, returned in
/// `boundPort`. False with `error` set (in words for the user) when that fails.
bool OpenAcceptor(asio::ip::tcp::acceptor& acceptor, const std::string& host, std::uint16_t port,
                  std::uint16_t* boundPort, std::string* error);

}  // namespace zelto::net
