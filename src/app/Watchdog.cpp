#include "app/Watchdog.h"

#include "platform/ServiceNotifier.h"

#include <QTimer>

namespace wendmoor {

Watchdog::Watchdog(
    ServiceNotifier& notifier, QTimer& tick, std::function<std::uint64_t()> workerProgress, QObject* parent)
    : QObject(parent)
    , m_notifier(notifier)
    , m_gap(notifier.watchdogPeriod() / 3)
    , m_workerProgress(std::move(workerProgress))
{
    if (m_workerProgress)
        m_lastProgress = m_workerProgress();
    if (notifier.watchdogPeriod().count() > 0)
        connect(&tick, &QTimer::timeout, this, &Watchdog::onTick);
}

void Watchdog::onTick()
{
    if (m_sinceLastPing.isValid() && m_sinceLastPing.elapsed() < m_gap.count())
        return;
    if (m_workerProgress) {
        const std::uint64_t progress = m_workerProgress();
        if (progress == m_lastProgress)
            return;
        m_lastProgress = progress;
    }
    m_notifier.alive();
    m_sinceLastPing.start();
}

} // namespace wendmoor
