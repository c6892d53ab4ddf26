#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <chrono>

class QTimer;

namespace wendmoor {

class ServiceNotifier;

// Tells the service manager that the UI thread is alive, from the clock's own tick: when a
// handler hangs, the tick stops, the pings stop, and the manager restarts the program. A ping
// goes out at most every third of the watchdog period, so that a slow tick is not a hang.
class Watchdog final : public QObject {
    Q_OBJECT
public:
    Watchdog(ServiceNotifier& notifier, QTimer& tick, QObject* parent = nullptr);

private:
    void onTick();

    ServiceNotifier& m_notifier;
    std::chrono::milliseconds m_gap;
    QElapsedTimer m_sinceLastPing;
};

} // namespace wendmoor
