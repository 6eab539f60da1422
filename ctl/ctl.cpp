#include "ctl/ctl.h"

#include <CLI/CLI.hpp>

#include "ctl/commands.h"
#include "ctl/edits.h"
#include "ctl/eq_commands.h"
#include "ctl/measure_commands.h"
#include "ctl/autotune_command.h"
#ifdef ZELTO_HAVE_ACOUSTICS
#include "ctl/measure_run_command.h"
#endif
#include "transports/device_url.h"
#include "zelto_version.h"

namespace zelto::ctl {

namespace {

constexpr const char* kDeviceHelp =
    "the processor: usb, sim (simulated, in this process) or tcp:HOST:PORT (e.g. a running zelto-sim); "
    "default $ZELTO_DEVICE, else usb";
constexpr const char* kUsbWriteHelp =
    "how reports reach a USB processor: control (SET_REPORT, the default) or interrupt (the OUT pipe); "
    "default $ZELTO_USB_WRITE, else control";
constexpr const char* kLangHelp = "language of the messages: en (default) or zh";
constexpr int kFirstSlot = 1;
constexpr int kLastSlot = 6;
constexpr int kLastFileSlot = 20;

struct Options {
  std::string device;
  std::string usbWrite;
  std::string lang = "en";
  std::string path;
  std::string other;
  std::string name;
  std::string channel;
  int slot = 0;
  bool json = false;
  bool exitCode = false;
  std::vector<std::string> settings;
};

/// Every command takes --device and --lang, also before the command name (a shell alias or a
/// script may always pass the device); the file commands do not use the device.
void AddCommon(CLI::App* app, Options& o) {
  app->add_option("--device", o.device, kDeviceHelp);
  app->add_option("--usb-write", o.usbWrite, kUsbWriteHelp)->check(CLI::IsMember({"control", "interrupt"}));
  app->add_option("--lang", o.lang, kLangHelp)->check(CLI::IsMember({"en", "zh"}));
}

}  // namespace

int RunZeltoctl(const std::vector<std::string>& args, const CtlStreams& streams) {
  Options o;
  CLI::App app{"zeltoctl: the car-audio processor from the command line (same engine as the zelto editor)", "zeltoctl"};
  // The same options on every system: on Windows too a leading "/" starts a path (the root of
  // the current drive), never an option. Set first, so every subcommand inherits it.
  app.allow_windows_style_options(false);
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("zeltoctl ") + kZeltoVersion);
  AddCommon(&app, o);

  auto* info = app.add_subcommand("info", "connect, read the processor back and print what it holds");
  AddCommon(info, o);

  auto* pull = app.add_subcommand("pull", "read the processor back into FILE: .dsps the live preset, .dspa all slots");
  AddCommon(pull, o);
  pull->add_option("FILE", o.path, "the preset file to write (.dsps or .dspa)")->required();

  auto* push = app.add_subcommand("push", "load FILE and send it to the processor as the editor does after a load");
  AddCommon(push, o);
  push->add_option("FILE", o.path, "the preset file to send (.dsps or .dspa)")->required()->check(CLI::ExistingFile);

  auto* store = app.add_subcommand("store", "store the live settings into device slot N under NAME");
  AddCommon(store, o);
  store->add_option("N", o.slot, "slot 1..6")->required()->check(CLI::Range(kFirstSlot, kLastSlot));
  store->add_option("NAME", o.name, "the slot's name (up to 15 characters)")->required();

  auto* recall = app.add_subcommand("recall", "recall device slot N into the live settings");
  AddCommon(recall, o);
  recall->add_option("N", o.slot, "slot 1..6")->required()->check(CLI::Range(kFirstSlot, kLastSlot));

  auto* del = app.add_subcommand("delete", "delete the name of device slot N (its settings stay on the processor)");
  AddCommon(del, o);
  del->add_option("N", o.slot, "slot 1..6")->required()->check(CLI::Range(kFirstSlot, kLastSlot));

  auto* set = app.add_subcommand("set", "change settings on the processor, e.g. ch3.gain=-6 ch1.hp=80Hz");
  AddCommon(set, o);
  set->add_option("KEY=VALUE", o.settings, "settings to change, in order")->required()->expected(1, -1);
  set->footer(std::string(SettingKeysHelp()));

  auto* update =
      app.add_subcommand("update", "update the firmware from IMAGE (.mva DSP image, .contr controller image)");
  AddCommon(update, o);
  update->add_option("IMAGE", o.path, "the firmware image file")->required();

  auto* show = app.add_subcommand("show", "print a preset file in engineering units");
  AddCommon(show, o);
  show->add_option("FILE", o.path, "the preset file (.dsps or .dspa)")->required();
  show->add_flag("--json", o.json, "JSON for scripts instead of a table");
  show->add_option("--slot", o.slot, "stored slot of a .dspa file to show (1..20; 0 = live, the default)")
      ->check(CLI::Range(0, kLastFileSlot));

  auto* diff = app.add_subcommand("diff", "print what differs between two preset files");
  AddCommon(diff, o);
  diff->add_option("A", o.path, "first preset file")->required();
  diff->add_option("B", o.other, "second preset file")->required();
  diff->add_flag("--exit-code", o.exitCode, "exit with 1 when the files differ");

  auto* curve = app.add_subcommand("curve", "print a channel's response as CSV lines: frequency in Hz, level in dB");
  AddCommon(curve, o);
  curve->add_option("FILE", o.path, "the preset file (.dsps or .dspa)")->required();
  curve->add_option("--channel", o.channel, "output channel: 1..8 or ch1..ch8")->required();
  curve->add_option("--slot", o.slot, "stored slot of a .dspa file (1..20; 0 = live, the default)")
      ->check(CLI::Range(0, kLastFileSlot));

  MeasureCommandLine measure(app, curve, [&o](CLI::App* a) { AddCommon(a, o); });
  MeasureCommandGroup acoustic(app, [&o](CLI::App* a) { AddCommon(a, o); });
  AddSweepAndAnalyse(acoustic);
#ifdef ZELTO_HAVE_ACOUSTICS
  AddMeasureRun(acoustic);
  const auto autotune = AddAutoTune(app, [&o](CLI::App* a) { AddCommon(a, o); });
#endif

  std::vector<const char*> argv;
  argv.reserve(args.size());
  for (const auto& a : args) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, streams.out, streams.err);
    return code == 0 ? kExitOk : kExitUsage;
  }

  Terminal term(streams.out, streams.err, streams.errIsTerminal,
                o.lang == "zh" ? Language::Chinese : Language::English);
  TerminalView view(term);
  std::string usbWriteError;
  const auto usbWrite = ChooseUsbWrite(o.usbWrite, &usbWriteError);
  if (!usbWrite) {
    view.Fail(usbWriteError);
    return kExitUsage;
  }
  CommandContext c{term, view, ChooseDeviceUrl(o.device), *usbWrite};

  if (auto status = measure.Run(c, o.path, o.channel, o.slot)) return *status;
  if (auto status = acoustic.Run(c)) return *status;
#ifdef ZELTO_HAVE_ACOUSTICS
  if (auto status = autotune->Run(c)) return *status;
#endif
  if (info->parsed()) return InfoCommand(c);
  if (pull->parsed()) return PullCommand(c, o.path);
  if (push->parsed()) return PushCommand(c, o.path);
  if (store->parsed()) return StoreCommand(c, o.slot, o.name);
  if (recall->parsed()) return RecallCommand(c, o.slot);
  if (del->parsed()) return DeleteCommand(c, o.slot);
  if (set->parsed()) return SetCommand(c, o.settings);
  if (update->parsed()) return UpdateCommand(c, o.path);
  if (show->parsed()) return ShowCommand(c, o.path, o.json, o.slot);
  if (diff->parsed()) return DiffCommand(c, o.path, o.other, o.exitCode);
  if (curve->parsed()) return CurveCommand(c, o.path, o.channel, o.slot);
  return kExitUsage;
}

}  // namespace zelto::ctl
