#include "platform/ShutdownSignals.h"

#include <QObject>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace wendmoor {

namespace {

int g_signalSocket[2] = { -1, -1 };

void onSignalReceived(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalSocket[0], &byte, 1);
}

} // namespace

void onShutdownSignals(QObject* context, std::function<void()> onSignal)
{
    if (g_signalSocket[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalSocket) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalSocket[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onSignal = std::move(onSignal)] {
        char bytes[16];
        [[maybe_unused]] const ssize_t n = ::read(g_signalSocket[1], bytes, sizeof bytes);
        onSignal();
    });
    struct sigaction action { };
    action.sa_handler = onSignalReceived;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        sigaction(signal, &action, nullptr);
}

} // namespace wendmoor
