#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>

class QTimer;

namespace wendmoor {

class ServiceNotifier;

// Tells the service manager that the program is alive, from the clock's own tick and only while
// the recording thread moves on too: when a handler hangs, the tick stops; when the recording
// thread hangs, its heartbeat stops; either way the pings stop and the manager restarts the
// program. A ping
// goes out at most every third of the watchdog period, so that a slow tick is not a hang.
class Watchdog final : public QObject {
    Q_OBJECT
public:
    // `workerProgress`: a count that another thread moves on while it works (the recording
    // thread's heartbeat); no ping while it stands still.
    Watchdog(ServiceNotifier& notifier, QTimer& tick, std::function<std::uint64_t()> workerProgress = {},
        QObject* parent = nullptr);

private:
    void onTick();

    ServiceNotifier& m_notifier;
    std::chrono::milliseconds m_gap;
    QElapsedTimer m_sinceLastPing;
    std::function<std::uint64_t()> m_workerProgress;
    std::uint64_t m_lastProgress = 0;
};

} // namespace wendmoor
