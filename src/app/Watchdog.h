#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

namespace wendmoor {

class ServiceNotifier;

// Tells the service manager that the program is alive, from a timer of its own on the UI thread,
// and only while the clock's tick and the recording thread move on too: when a handler hangs,
// neither timer fires; when the recording thread hangs, its heartbeat stops; either way the pings
// stop and the manager restarts the program. Once the clock has been stopped for good (the
// recorder ended with the main window while another window stays open), the timer firing is all
// there is to watch: the pings go on until the last window closes. A ping goes out at most every
// third of the watchdog period, so that a slow tick is not a hang.
class Watchdog final : public QObject {
    Q_OBJECT
public:
    // `workerProgress`: a count that another thread moves on while it works (the recording
    // thread's heartbeat); no ping while it stands still and the clock runs.
    Watchdog(ServiceNotifier& notifier, QTimer& tick, std::function<std::uint64_t()> workerProgress = {},
        QObject* parent = nullptr);

private:
    void onTimer();

    ServiceNotifier& m_notifier;
    QTimer& m_tick;
    QTimer m_timer;
    std::chrono::milliseconds m_gap;
    QElapsedTimer m_sinceLastPing;
    std::function<std::uint64_t()> m_workerProgress;
    std::uint64_t m_lastProgress = 0;
    std::uint64_t m_ticks = 0;
    std::uint64_t m_lastTicks = 0;
};

} // namespace wendmoor
