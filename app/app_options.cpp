#include "app/app_options.h"

#include "core/device_image.h"

#include "zelto_version.h"

namespace zelto {

namespace {

bool IsServerSwitch(const QString& word) {
  if (word.size() < 2 || (word[0] != QLatin1Char('-') && word[0] != QLatin1Char('/'))) return false;
  const QString name = word.mid(1);
  return name.compare(QLatin1String("RegServer"), Qt::CaseInsensitive) == 0 ||
         name.compare(QLatin1String("UnregServer"), Qt::CaseInsensitive) == 0;
}

}  // namespace

AppOptions ParseAppOptions(const QStringList& arguments) {
  AppOptions options;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& word = arguments[i];
    auto value = [&](QString* out) {
      if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
        options.error = QStringLiteral("%1 needs a value").arg(word);
        return false;
      }
      *out = arguments[++i];
      return true;
    };
    QString v;
    if (word == QLatin1String("--lang")) {
      if (!value(&v)) break;
      if (v == QLatin1String("zh")) {
        options.language = Language::Chinese;
      } else if (v == QLatin1String("en")) {
        options.language = Language::English;
      } else {
        options.error = QStringLiteral("--lang takes zh or en, not \"%1\"").arg(v);
        break;
      }
    } else if (word == QLatin1String("--device")) {
      if (!value(&v)) break;
      options.device = v.toStdString();
    } else if (word == QLatin1String("--usb-write")) {
      if (!value(&v)) break;
      if (v != QLatin1String("control") && v != QLatin1String("interrupt")) {
        options.error = QStringLiteral("--usb-write takes control or interrupt, not \"%1\"").arg(v);
        break;
      }
      options.usbWrite = v.toStdString();
    } else if (word == QLatin1String("--screenshot")) {
      if (!value(&v)) break;
      options.screenshot = v;
    } else if (word == QLatin1String("--measurement")) {
      if (!value(&v)) break;
      // "ch2=FILE" or "2=FILE".
      const qsizetype eq = v.indexOf(QLatin1Char('='));
      QString name = eq > 0 ? v.left(eq).toLower() : QString();
      if (name.startsWith(QLatin1String("ch"))) name.remove(0, 2);
      bool ok = false;
      const int channel = name.toInt(&ok);
      if (!ok || channel < 1 || channel > kOutputChannels || eq + 1 >= v.size()) {
        options.error =
            QStringLiteral("--measurement takes chN=FILE with N from 1 to %1, not \"%2\"").arg(kOutputChannels).arg(v);
        break;
      }
      options.measurements.push_back({channel - 1, v.mid(eq + 1)});
    } else if (word == QLatin1String("--target")) {
      if (!value(&v)) break;
      options.target = v;
    } else if (word == QLatin1String("--measure-panel")) {
      options.measurePanel = true;
    } else if (word == QLatin1String("--auto-tune")) {
      options.autoTune = true;
    } else if (word == QLatin1String("--auto-tune-run")) {
      options.autoTune = true;
      options.autoTuneRun = true;
    } else if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
      options.help = true;
    } else if (word == QLatin1String("--version")) {
      options.version = true;
    } else if (IsServerSwitch(word)) {
      continue;
    } else {
      options.error = QStringLiteral("unknown argument \"%1\"").arg(word);
      break;
    }
  }
  return options;
}

QString UsageText() {
  return QStringLiteral(
      "usage: zelto [--device URL] [--usb-write control|interrupt] [--lang zh|en] [--screenshot FILE.png\n"
      "             [--measurement chN=FILE]... [--target flat|car|FILE] [--measure-panel]\n"
      "             [--auto-tune | --auto-tune-run]]\n"
      "       zelto --help | --version\n"
      "Tunes the eight-output car-audio processor live over USB.\n"
      "\n"
      "  --device URL         usb (default), sim (simulated processor), tcp:HOST:PORT\n"
      "                       (also taken from $ZELTO_DEVICE)\n"
      "  --usb-write MODE     how reports reach a USB processor: control (default,\n"
      "                       SET_REPORT) or interrupt (the OUT pipe); also $ZELTO_USB_WRITE\n"
      "  --lang zh|en         interface language (default: from the system locale)\n"
      "  --screenshot FILE    save a picture of the window once it is up (and read back\n"
      "                       from a processor that answers), then exit\n"
      "  --measurement chN=FILE  with --screenshot: show this measurement of output N,\n"
      "                       and the EQ from measurement proposal for the first one\n"
      "  --target T           with --measurement: flat, car or a target file\n"
      "  --measure-panel      with --screenshot: open the measurement panel and save it\n"
      "                       beside the picture (FILE-measure.png)\n"
      "  --auto-tune          with --screenshot: open the auto-tune dialog and save it\n"
      "                       beside the picture (FILE-autotune.png)\n"
      "  --auto-tune-run      the same after running it with the choices of the environment\n"
      "                       (ZELTO_AUDIO_OUT, ZELTO_AUDIO_IN, ZELTO_TUNE_*; README)\n"
      "  -h, --help           print this text and exit\n"
      "  --version            print the version and exit\n");
}

QString VersionText() { return QStringLiteral("zelto ") + QString::fromUtf8(kZeltoVersion) + QLatin1Char('\n'); }

Language LanguageOfLocale(const QLocale& locale) {
  return locale.language() == QLocale::Chinese && locale.territory() == QLocale::China ? Language::Chinese
                                                                                       : Language::English;
}

}  // namespace zelto
