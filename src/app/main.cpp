#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/DiskWatch.h"
#include "app/Watchdog.h"
#include "recorder/Menu.h"
#include "media/PortAudioSystem.h"
#include "platform/AppPaths.h"
#include "platform/EventLogFile.h"
#include "platform/LoggedMessages.h"
#include "platform/ServiceNotifier.h"
#include "platform/Version.h"
#include "platform/LinuxPortInput.h"
#include "platform/LinuxSystemInfo.h"
#include "platform/Services.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"
#include "windows/MessageWindow.h"
#include "windows/QtPrompt.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QStyleFactory>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

// SIGTERM (a shutdown) and SIGINT end the program the way Exit does, so that the log is closed
// with a finished header; the handler only writes a byte, the event loop does the rest.
void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

void quitOnTermination(QApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QApplication::quit(); });
    struct sigaction action{};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// The run as the service manager sees it: the start and the end in the event log, ready once
// the main window is up, the watchdog and the disk-space forecast on the clock's tick.
int runAsService(wendmoor::Application& wendmoor, wendmoor::Services& services, wendmoor::ServiceNotifier& notifier)
{
    using namespace wendmoor;
    services.events.note(QStringLiteral("Wendmoor %1 started").arg(QLatin1String(kVersion)));
    Watchdog watchdog(notifier, *wendmoor.menu().TmrClock);
    DiskWatch disk(services, wendmoor.settings(), *wendmoor.menu().TmrClock);
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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wendmoor"));
    QApplication::setApplicationVersion(QLatin1String(kVersion));
    // One look on every platform, and one in which a button's back colour shows.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    quitOnTermination(app);

    SystemTimeSource clock;
    SystemVolumes volumes;
    PortAudioSystem audio;
    LinuxPortInput ports;
    QtPrompt prompt;
    LinuxSystemInfo systemInfo;
    MessageWindow window;
    EventLogFile events(clock, window, {EventLogFile::defaultFolder()});
    LoggedMessages messages(window, events);
    Services services{clock, volumes, audio, ports, prompt, systemInfo, messages, AppPaths::system(), events};

    Application wendmoor(services);
    // Exit ends the program at once; the destructors still close the log properly.
    QObject::connect(&wendmoor, &Application::exitRequested, &app, &QApplication::quit, Qt::QueuedConnection);

    if (!audio.initError().isEmpty())
        messages.ShowMessage(Error(ErrorNumber::SoundDeviceOpen, audio.initError()));
    SystemdNotifier notifier;
    return runAsService(wendmoor, services, notifier);
}
