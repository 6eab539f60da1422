#include "transports/device_url.h"

#include <cstdlib>

#include "link/tcp/tcp_transport.h"
#include "sim/sim_transport.h"

#if ZELTO_HAVE_USB
#include "link/usb/hidapi_transport.h"
#endif

namespace zelto {
namespace {

constexpr std::string_view kUsb = "usb";
constexpr std::string_view kSim = "sim";
constexpr std::string_view kTcpPrefix = "tcp:";

}  // namespace

std::string ChooseDeviceUrl(std::string_view commandLine) {
  if (!commandLine.empty()) return std::string(commandLine);
  if (const char* env = std::getenv(kDeviceUrlEnvironment); env && *env) return env;
  return std::string(kDefaultDeviceUrl);
}

std::optional<UsbWrite> ParseUsbWrite(std::string_view word) {
  if (word == "control") return UsbWrite::Control;
  if (word == "interrupt") return UsbWrite::Interrupt;
  return std::nullopt;
}

std::optional<UsbWrite> ChooseUsbWrite(std::string_view commandLine, std::string* error) {
  std::string_view word = commandLine;
  const char* env = std::getenv(kUsbWriteEnvironment);
  if (word.empty() && env && *env) word = env;
  if (word.empty()) return UsbWrite::Control;
  if (auto mode = ParseUsbWrite(word)) return mode;
  if (error) *error = "bad USB write \"" + std::string(word) + "\": use control or interrupt";
  return std::nullopt;
}

bool UsbBackendBuilt() { return ZELTO_HAVE_USB != 0; }

std::unique_ptr<HidTransport> MakeTransport(std::string_view url, std::string* error,
                                            [[maybe_unused]] UsbWrite usbWrite) {
  if (url == kUsb) {
#if ZELTO_HAVE_USB
    return std::make_unique<HidapiTransport>(usbWrite);
#else
    if (error)
      *error = "this build has no USB backend (hidapi was not found when it was built): use sim or tcp:HOST:PORT";
    return nullptr;
#endif
  }
  if (url == kSim) return std::make_unique<sim::SimTransport>();
  if (url.starts_with(kTcpPrefix)) {
    if (auto endpoint = ParseTcpEndpoint(url.substr(kTcpPrefix.size())))
      return std::make_unique<TcpTransport>(std::move(*endpoint));
    if (error) *error = "bad device \"" + std::string(url) + "\": expected tcp:HOST:PORT with a port from 1 to 65535";
    return nullptr;
  }
  if (error) *error = "unknown device \"" + std::string(url) + "\": use usb, sim or tcp:HOST:PORT";
  return nullptr;
}

}  // namespace zelto
