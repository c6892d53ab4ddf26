#include "app/Watchdog.h"

#include "platform/ServiceNotifier.h"

namespace wendmoor {

Watchdog::Watchdog(
    ServiceNotifier& notifier, QTimer& tick, std::function<std::uint64_t()> workerProgress, QObject* parent)
    : QObject(parent)
    , m_notifier(notifier)
    , m_tick(tick)
    , m_gap(notifier.watchdogPeriod() / 3)
    , m_workerProgress(std::move(workerProgress))
{
    if (m_workerProgress)
        m_lastProgress = m_workerProgress();
    if (notifier.watchdogPeriod().count() <= 0)
        return;
    connect(&tick, &QTimer::timeout, this, [this] { ++m_ticks; });
    connect(&m_timer, &QTimer::timeout, this, &Watchdog::onTimer);
    m_timer.start(std::max(std::chrono::milliseconds(1), m_gap / 2));
}

void Watchdog::onTimer()
{
    if (m_sinceLastPing.isValid() && m_sinceLastPing.elapsed() < m_gap.count())
        return;
    if (m_tick.isActive()) {
        if (m_ticks == m_lastTicks)
            return;
        if (m_workerProgress) {
            const std::uint64_t progress = m_workerProgress();
            if (progress == m_lastProgress)
                return;
            m_lastProgress = progress;
        }
        m_lastTicks = m_ticks;
    }
    m_notifier.alive();
    m_sinceLastPing.start();
}

} // namespace wendmoor
