#include "app/zelto_app.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QFile>
#include <QPixmap>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>

#include "app/main_frame.h"
#include "app/qt_settings.h"
#include "app/zelto_view.h"
#include "measure/channel_measurements.h"
#ifdef ZELTO_HAVE_ACOUSTICS
#include "acoustics/ui/auto_tune_dialog.h"
#endif
#include "measure/ui/eq_dialog.h"
#include "measure/ui/measurement_tools.h"
#include "core/platform.h"
#include "core/file_io.h"
#include "transports/device_url.h"

namespace zelto {

namespace {

// The name earlier versions gave their one recovery file, in the data folder.
constexpr const char* kOldRecoveryFile = "recovery.zrec";

}  // namespace

QString RecoveryFolder() {
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
  return QStandardPaths::writableLocation(QStandardPaths::StateLocation);
#elif defined(Q_OS_WIN) || defined(Q_OS_MACOS)
  return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
#else
  // Qt before 6.7 knows no state location: the XDG state folder, laid out as Qt lays out the
  // data folder.
  QString base = qEnvironmentVariable("XDG_STATE_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::home().filePath(QStringLiteral(".local/state"));
  QString folder = base;
  if (!QCoreApplication::organizationName().isEmpty())
    folder = QDir(folder).filePath(QCoreApplication::organizationName());
  if (!QCoreApplication::applicationName().isEmpty())
    folder = QDir(folder).filePath(QCoreApplication::applicationName());
  return folder;
#endif
}

void MoveOldRecoveryFile(const QString& folder) {
  // A crash under an earlier version left its work in the data folder: it moves into a free slot
  // of the state folder, where it is offered like any other left file.
  const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
  if (data.isEmpty()) return;
  const QString old = QDir(data).filePath(QString::fromLatin1(kOldRecoveryFile));
  if (!QFile::exists(old) || !QDir().mkpath(folder)) return;
  const std::string base = folder.toStdString();
  for (int n = 1; n <= recovery::kMaxSlots; ++n) {
    const QString slot = QString::fromStdString(recovery::SlotFile(base, n));
    if (QFile::exists(slot)) continue;
    const auto lock = FileLock::TryLock(PathFromUtf8(recovery::SlotLock(base, n)));
    if (!lock || QFile::exists(slot)) continue;
    QFile::rename(old, slot);
    return;
  }
}

CZeltoApp::CZeltoApp(AppOptions options, std::unique_ptr<Settings> settings, std::unique_ptr<HidTransport> transport)
    : options_(std::move(options)), settings_(std::move(settings)), transport_(std::move(transport)) {}

CZeltoApp::~CZeltoApp() {
  if (view_) view_->Shutdown();
  frame_.reset();
}

bool CZeltoApp::InitInstance(QString* error) {
  // The language: the system locale, unless the command line names one. It is never stored.
  ui_.language = options_.language.value_or(LanguageOfLocale(QLocale::system()));
  ui_.fonts = UiFonts::Create();
  ui_.currentKind = kOutputChannelKind;
  ui_.currentChannel = 0;
  if (!settings_) settings_ = std::make_unique<QtSettings>();

  std::string why;
  const auto usbWrite = ChooseUsbWrite(options_.usbWrite, &why);
  auto transport = transport_ ? std::move(transport_)
                   : usbWrite ? MakeTransport(ChooseDeviceUrl(options_.device), &why, *usbWrite)
                              : nullptr;
  if (!transport) {
    if (error) *error = QString::fromStdString(why);
    return false;
  }

  // The form builds the engine (which initialises the device image), its pages and controls.
  auto* view = new CZeltoView(ui_, *settings_, std::move(transport));
  frame_ = std::make_unique<CMainFrame>(view);
  view_ = view;
  if (!options_.screenshot.isEmpty()) {
    // Nobody is there to close a message box: say it on the terminal instead.
    view_->SetMessageHandler([](const QString& text) { std::fprintf(stderr, "zelto: %s\n", qPrintable(text)); });
  }
  // ZELTO_CONNECT_ANSWER (send or keep) answers the question after a connect that found the
  // processor's settings different from unsent changes.
  const QByteArray connectAnswer = qgetenv("ZELTO_CONNECT_ANSWER");
  if (connectAnswer == "send") view_->SetConnectChoiceAnswer(true);
  if (connectAnswer == "keep") view_->SetConnectChoiceAnswer(false);
  if (options_.screenshot.isEmpty()) {
    // The work is kept in the per-user state folder until a clean exit. ZELTO_RECOVERY_ANSWER
    // (yes or no) answers the restore question where nobody is there to answer it.
    const QByteArray answer = qgetenv("ZELTO_RECOVERY_ANSWER");
    std::optional<bool> preset;
    if (answer == "yes") preset = true;
    if (answer == "no") preset = false;
    const QString folder = RecoveryFolder();
    if (!folder.isEmpty()) {
      MoveOldRecoveryFile(folder);
      view_->EnableRecovery(folder.toStdString(), preset);
    }
  }
  frame_->CentreOnScreen();
  frame_->show();
  view_->InitialUpdate();
  return true;
}

int CZeltoApp::Run() {
  if (options_.screenshot.isEmpty()) return QApplication::exec();
  QString error;
  const bool saved = TakeScreenshot(options_.screenshot, &error);
  if (!saved) std::fprintf(stderr, "zelto: %s\n", qPrintable(error));
  view_->Shutdown();
  return saved ? 0 : 1;
}

void CZeltoApp::ShowMeasurements() {
  MeasurementTools* tools = view_->Measurements();
  for (const AppOptions::ChannelFile& m : options_.measurements) {
    view_->SelectChannel(m.channel);
    if (!tools->LoadMeasurement(m.channel, m.path)) continue;
    if (options_.target.isEmpty()) continue;
    measure::AutoEqSettings s = tools->Held().SettingsOf(m.channel);
    const QString t = options_.target.toLower();
    if (t == QLatin1String("flat")) {
      s.target = measure::TargetChoice::Flat();
    } else if (t == QLatin1String("car")) {
      s.target = measure::TargetChoice::Car();
    } else {
      measure::ReadError error;
      const auto target = measure::ReadMeasurementFile(options_.target.toStdString(), &error);
      if (!target) {
        std::fprintf(stderr, "zelto: %s\n",
                     measure::ReadErrorText(error, options_.target.toStdString(), ui_.language).c_str());
        continue;
      }
      s.target = measure::TargetChoice::FromFile(options_.target.toStdString(), *target);
    }
    tools->Held().SetSettings(m.channel, s);
  }
  if (options_.measurements.empty()) return;
  const int first = options_.measurements.front().channel;
  view_->SelectChannel(first);
  if (tools->Held().Has(first)) tools->OpenEqDialog(first);
}

bool CZeltoApp::TakeScreenshot(const QString& file, QString* error) {
  QElapsedTimer waited;
  waited.start();
  while (!view_->Settled() && waited.elapsed() < kScreenshotTimeout.count()) {
    QEventLoop loop;
    QTimer::singleShot(kScreenshotPoll, &loop, &QEventLoop::quit);
    loop.exec();
  }
  if (!view_->Settled())
    std::fprintf(stderr, "zelto: the processor did not finish its read-back in time; taking the window as it is\n");
  QApplication::processEvents();
  ShowMeasurements();
  QApplication::processEvents();
  QPixmap picture = frame_->grab();
  // The "EQ from measurement" dialog is a window of its own: it is drawn in where it stands.
  if (EqFromMeasurementDlg* dialog = view_->Measurements()->EqDialog()) {
    QPainter painter(&picture);
    painter.drawPixmap(dialog->frameGeometry().topLeft() - frame_->frameGeometry().topLeft(), dialog->grab());
  }
  if (picture.isNull() || !picture.save(file, "PNG")) {
    if (error) *error = QStringLiteral("cannot write the screenshot to %1").arg(file);
    return false;
  }
  // The measuring dialogs are windows of their own: each gets a picture beside the window's.
  const auto saveBeside = [&](QWidget* dialog, const QString& suffix) {
    QApplication::processEvents();
    QString dialogFile = file;
    dialogFile.insert(file.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) ? file.size() - 4 : file.size(),
                      suffix);
    const bool saved = dialog->grab().save(dialogFile, "PNG");
    dialog->close();
    if (!saved && error) *error = QStringLiteral("cannot write the screenshot to %1").arg(dialogFile);
    return saved;
  };
  if (options_.measurePanel) {
    QWidget* panel = view_->OpenMeasurePanel();
    if (!panel) {
      if (error) *error = QStringLiteral("this build has no acoustic measurement");
      return false;
    }
    if (!saveBeside(panel, QStringLiteral("-measure"))) return false;
  }
  if (options_.autoTune) {
#ifdef ZELTO_HAVE_ACOUSTICS
    AutoTuneDialog* dialog = view_->OpenAutoTuneDialog();
    bool verified = true;
    if (options_.autoTuneRun) {
      dialog->Start();
      verified = dialog->Report() && dialog->Report()->verified;
      // Nobody reads the dialog's log: what went wrong goes to the terminal.
      if (!verified)
        for (const QString& line : dialog->LogLines()) std::fprintf(stderr, "zelto: %s\n", qPrintable(line));
    }
    if (!saveBeside(dialog, QStringLiteral("-autotune"))) return false;
    if (!verified) {
      if (error) *error = QStringLiteral("the auto-tune run did not finish with a verified tuning");
      return false;
    }
#else
    if (error) *error = QStringLiteral("this build has no acoustic measurement");
    return false;
#endif
  }
  return true;
}

}  // namespace zelto
