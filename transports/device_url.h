#pragma once
// Chooses the link of a program from a device URL (--device or $ZELTO_DEVICE):
//   usb            the real processor through hidapi (the default)
//   sim            a simulated processor inside this process
//   tcp:HOST:PORT  a processor served over the report stream, e.g. a running zelto-sim
//
// This is the one place that knows every backend, so it is a library of its own that only the
// programs link: the engine and its tests build without hidapi.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/usb/usb_write.h"

#include "link/hid_transport.h"
#include "link/usb/hidapi_transport.h"

namespace zelto {

inline constexpr std::string_view kDefaultDeviceUrl = "usb";
inline constexpr const char* kDeviceUrlEnvironment = "ZELTO_DEVICE";

/// `commandLine` when not empty, else $ZELTO_DEVICE when set, else "usb".
std::string ChooseDeviceUrl(std::string_view commandLine);

/// How output reports go to a USB processor (--usb-write or $ZELTO_USB_WRITE): "control" (the
/// default: SET_REPORT, as the processor's firmware expects) or "interrupt" (hid_write).
inline constexpr const char* kUsbWriteEnvironment = "ZELTO_USB_WRITE";
std::optional<UsbWrite> ParseUsbWrite(std::string_view word);
/// `commandLine` when not empty, else $ZELTO_USB_WRITE when set, else control. Nothing, with
/// `error` set, for any other word.
std::optional<UsbWrite> ChooseUsbWrite(std::string_view commandLine, std::string* error);

/// False when this build was made without hidapi: "usb" then names no backend.
bool UsbBackendBuilt();

/// The transport for `url`; null with `error` set (in words for the user) for anything else.
/// `usbWrite` matters for usb only.
std::unique_ptr<HidTransport> MakeTransport(std::string_view url, std::string* error,
                                            UsbWrite usbWrite = UsbWrite::Control);

}  // namespace zelto
