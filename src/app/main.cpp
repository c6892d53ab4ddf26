#include "app/Application.h"
#include "media/PortAudioSystem.h"
#include "platform/AppPaths.h"
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

} // namespace

int main(int argc, char** argv)
{
    using namespace wendmoor;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wendmoor"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(WENDMOOR_VERSION_MAJOR)
                                            .arg(WENDMOOR_VERSION_MINOR)
                                            .arg(WENDMOOR_VERSION_PATCH));
    // One look on every platform, and one in which a button's back colour shows.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    quitOnTermination(app);

    SystemTimeSource clock;
    SystemVolumes volumes;
    PortAudioSystem audio;
    LinuxPortInput ports;
    QtPrompt prompt;
    LinuxSystemInfo systemInfo;
    MessageWindow messages;
    Services services{clock, volumes, audio, ports, prompt, systemInfo, messages, AppPaths::system()};

    Application wendmoor(services);
    // Exit ends the program at once; the destructors still close the log properly.
    QObject::connect(&wendmoor, &Application::exitRequested, &app, &QApplication::quit, Qt::QueuedConnection);

    if (!audio.initError().isEmpty())
        messages.ShowMessage(Error(ErrorNumber::SoundDeviceOpen, audio.initError()));
    wendmoor.start();
    return QApplication::exec();
}
