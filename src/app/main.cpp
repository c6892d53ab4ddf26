#include "app/Application.h"
#include "app/DiskWatch.h"
#include "app/StatusFile.h"
#include "app/Watchdog.h"
#include "cli/CommandLine.h"
#include "mainwindow/Menu.h"
#include "media/PortAudioSystem.h"
#include "platform/AppPaths.h"
#include "platform/ClockSync.h"
#include "platform/EscapedFailures.h"
#include "platform/EventLogFile.h"
#include "platform/LinuxPortInput.h"
#include "platform/LinuxSystemInfo.h"
#include "platform/LoggedMessages.h"
#include "platform/ServiceNotifier.h"
#include "platform/Services.h"
#include "platform/ShutdownSignals.h"
#include "platform/SingleInstance.h"
#include "platform/TimeSource.h"
#include "platform/Version.h"
#include "platform/Volumes.h"
#include "windows/MessageWindow.h"
#include "windows/QtPrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>

namespace {

// A failure that no handler caught would end the program through std::terminate (SIGABRT) once
// it reaches the event loop; it is reported instead.
class GuardedApplication final : public QApplication {
public:
    using QApplication::QApplication;
    void setMessages(wendmoor::MessageSink* messages) { m_messages = messages; }

    bool notify(QObject* receiver, QEvent* event) override
    {
        return wendmoor::deliverReportingFailures([&] { return QApplication::notify(receiver, event); }, m_messages);
    }

private:
    wendmoor::MessageSink* m_messages = nullptr;
};

// A second instance would record into the same day's log: it says so (the running one has been
// brought to the front) and ends. The box closes by itself, so that a second autostart leaves
// nothing behind on an unattended machine.
void tellAlreadyRunning()
{
    using wendmoor::SingleInstance;
    std::fprintf(stderr, "%s\n", qPrintable(SingleInstance::alreadyRunningText()));
    QMessageBox box(
        QMessageBox::Information, QStringLiteral("Wendmoor"), SingleInstance::alreadyRunningText(), QMessageBox::Ok);
    QTimer::singleShot(15000, &box, &QMessageBox::accept);
    box.exec();
}

// The run as the service manager sees it: the start and the end in the event log, ready once
// the main window is up, the watchdog and the disk-space forecast on the clock's tick.
int runAsService(wendmoor::Application& wendmoor, wendmoor::Services& services, wendmoor::ServiceNotifier& notifier)
{
    using namespace wendmoor;
    services.events.note(QStringLiteral("Wendmoor %1 started").arg(QLatin1String(kVersion)));
    Watchdog watchdog(
        notifier, wendmoor.recorder().clockTimer(), [&wendmoor] { return wendmoor.recorder().chain().heartbeat(); });
    DiskWatch disk(services, wendmoor.settings(), wendmoor.recorder().clockTimer());
    QObject::connect(&disk, &DiskWatch::forecastMade, &wendmoor.alarms(), &Alarms::setDiskDaysUntilFull);
    StatusFile status(services, wendmoor.state(), wendmoor.recorder());
    QObject::connect(&disk, &DiskWatch::forecastText, &status, &StatusFile::setForecast);
    wendmoor.start();
    notifier.ready();
    const int code = QApplication::exec();
    notifier.stopping();
    services.events.note(QStringLiteral("Wendmoor ended"));
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace wendmoor;
    if (const std::optional<int> code = answerCommandLine(argc, argv))
        return *code;
    // Before any thread: it names the zone in the environment.
    SystemTimeSource clock;
    GuardedApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wendmoor"));
    QApplication::setApplicationVersion(QLatin1String(kVersion));
    // One look on every platform, and one in which a button's back colour shows.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // A shutdown ends the program the way Exit does, without the question Exit asks while
    // recording; exit(), unlike quit(), sends no close events that could ask it.
    onShutdownSignals(&app, [] { QApplication::exit(0); });

    SingleInstance instance;
    const SingleInstance::Claim claim = instance.claim();
    if (claim == SingleInstance::Claim::AlreadyRunning) {
        tellAlreadyRunning();
        return 0;
    }

    const AppPaths paths = AppPaths::system();
    MessageWindow window;
    EventLogFile events(clock, window, { EventLogFile::defaultFolder() });
    LoggedMessages messages(window, events);
    app.setMessages(&messages);
    // The window goes before the application; nothing may report into it after that.
    struct Unset {
        GuardedApplication& app;
        ~Unset() { app.setMessages(nullptr); }
    } unsetMessages { app };
    SystemVolumes volumes(paths.driveLettersFile, &messages);
    // The drive list is kept current from a thread of its own; the window and the recorder read
    // the last one found and never wait on a file system that does not answer.
    volumes.watch(std::chrono::seconds(3));
    PortAudioSystem audio;
    LinuxPortInput ports;
    QtPrompt prompt;
    LinuxSystemInfo systemInfo;
    KernelClockSync clockSync;
    Services services { clock, volumes, audio, ports, prompt, systemInfo, messages, paths, events, clockSync };

    Application wendmoor(services);
    // Exit and the main window's close box end the program; the destructors close the log
    // properly and every other window goes with the main one.
    QObject::connect(
        &wendmoor, &Application::exitRequested, &app, [] { QApplication::exit(0); }, Qt::QueuedConnection);
    QObject::connect(&instance, &SingleInstance::raiseRequested, &wendmoor, [&wendmoor] {
        Menu& window = wendmoor.menu();
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    if (claim == SingleInstance::Claim::Unavailable)
        messages.ShowMessage(Error(ErrorNumber::PathFileAccess, instance.description()));

    if (!audio.initError().isEmpty())
        messages.ShowMessage(Error(ErrorNumber::SoundDeviceOpen, audio.initError()));
    SystemdNotifier notifier;
    return runAsService(wendmoor, services, notifier);
}
