#pragma once
// What the command line asks of the editor: the interface language, the link, and whether to
// leave a picture of the window behind and exit instead of running.

#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "core/encodings.h"

namespace zelto {

struct AppOptions {
  std::optional<Language> language;  // --lang zh|en; otherwise the system locale decides
  std::string device;                // --device URL; empty: $ZELTO_DEVICE or usb
  std::string usbWrite;              // --usb-write control|interrupt; empty: $ZELTO_USB_WRITE or control
  QString screenshot;                // --screenshot FILE.png
  /// --measurement chN=FILE (repeatable): measurements a screenshot shows, with the "EQ from
  /// measurement" proposal for the first; --target flat|car|FILE the target they are compared with.
  struct ChannelFile {
    int channel = 0;  // 0-based
    QString path;
  };
  std::vector<ChannelFile> measurements;
  QString target;
  bool measurePanel = false;  // --measure-panel: with --screenshot, the measurement panel too
  bool autoTune = false;      // --auto-tune: with --screenshot, the auto-tune dialog too
  bool autoTuneRun = false;   // --auto-tune-run: ... after a run with the environment's choices
  bool help = false;
  bool version = false;  // --version: print the version and exit
  QString error;         // set when the command line cannot be used
};

/// Reads the arguments after the program name. Unknown words are refused, except the component
/// server switches "RegServer" / "UnregServer" (after "-" or "/", any case), which are accepted and
/// ignored: this program registers nothing.
AppOptions ParseAppOptions(const QStringList& arguments);

/// The usage text printed for --help and after a refused command line.
QString UsageText();

/// "zelto VERSION", printed for --version.
QString VersionText();

/// Chinese for a Chinese (China) locale, English for every other one.
Language LanguageOfLocale(const QLocale& locale);

}  // namespace zelto
