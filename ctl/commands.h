#pragma once
// The subcommands of zeltoctl. Each returns the exit status; every message it raises has been
// printed by then. The device commands connect first (identity check and read-back, as the
// editor's connect button) and return only once every frame they caused is acknowledged.

#include <optional>
#include <string>
#include <vector>

#include "ctl/terminal.h"
#include "link/usb/hidapi_transport.h"

namespace zelto::ctl {

struct CommandContext {
  Terminal& term;
  TerminalView& view;
  /// The device URL as chosen by --device, $ZELTO_DEVICE or the default.
  std::string deviceUrl;
  /// How reports reach a USB processor (--usb-write, $ZELTO_USB_WRITE or control).
  UsbWrite usbWrite = UsbWrite::Control;
  Language Lang() const { return term.Lang(); }
};

int InfoCommand(CommandContext& c);
int PullCommand(CommandContext& c, const std::string& path);
int PushCommand(CommandContext& c, const std::string& path);
int StoreCommand(CommandContext& c, int slot, const std::string& name);
int RecallCommand(CommandContext& c, int slot);
int DeleteCommand(CommandContext& c, int slot);
int SetCommand(CommandContext& c, const std::vector<std::string>& settings);
int UpdateCommand(CommandContext& c, const std::string& path);

int ShowCommand(CommandContext& c, const std::string& path, bool json, int slot);
int DiffCommand(CommandContext& c, const std::string& a, const std::string& b, bool exitCode);
int CurveCommand(CommandContext& c, const std::string& path, const std::string& channel, int slot);

}  // namespace zelto::ctl
