#include "acoustics/ui/sim_microphone.h"

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>
#include <charconv>
#include <chrono>
#include <istream>

namespace zelto {

namespace {

// zelto-sim answers a position line at once; a port that keeps silent is not its control port.
constexpr auto kAnswerTimeout = std::chrono::seconds(2);

}  // namespace

std::optional<std::uint16_t> ParseSimMicrophonePort(const std::string& text) {
  std::string digits = text;
  if (const auto colon = text.rfind(':'); colon != std::string::npos) {
    const std::string host = text.substr(0, colon);
    if (host != "127.0.0.1" && host != "localhost") return std::nullopt;
    digits = text.substr(colon + 1);
  }
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size() || value == 0 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

bool MoveSimMicrophone(std::uint16_t port, int position, std::string* reply) {
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  asio::streambuf answer;
  const std::string line = "position " + std::to_string(position + 1) + "\n";
  std::string error = "no answer from the simulated car's control port";
  bool answered = false;
  socket.async_connect({asio::ip::make_address_v4("127.0.0.1"), port}, [&](const asio::error_code& ec) {
    if (ec) {
      error = ec.message();
      return;
    }
    asio::async_write(socket, asio::buffer(line), [&](const asio::error_code& wec, std::size_t) {
      if (wec) {
        error = wec.message();
        return;
      }
      asio::async_read_until(socket, answer, '\n', [&](const asio::error_code& rec, std::size_t) {
        if (rec) {
          error = rec.message();
          return;
        }
        answered = true;
      });
    });
  });
  io.run_for(kAnswerTimeout);
  if (!answered) {
    if (reply) *reply = error;
    return false;
  }
  std::istream in(&answer);
  std::string text;
  std::getline(in, text);
  if (!text.empty() && text.back() == '\r') text.pop_back();
  if (reply) *reply = text;
  // It names the position it moved to; anything else is its reason for not moving.
  return text.rfind("position ", 0) == 0;
}

}  // namespace zelto
