#include "app/Watchdog.h"

#include "platform/ServiceNotifier.h"

#include <QTimer>

namespace wendmoor {

Watchdog::Watchdog(ServiceNotifier& notifier, QTimer& tick, QObject* parent)
    : QObject(parent)
    , m_notifier(notifier)
    , m_gap(notifier.watchdogPeriod() / 3)
{
    if (notifier.watchdogPeriod().count() > 0)
        connect(&tick, &QTimer::timeout, this, &Watchdog::onTick);
}

void Watchdog::onTick()
{
    if (m_sinceLastPing.isValid() && m_sinceLastPing.elapsed() < m_gap.count())
        return;
    m_notifier.alive();
    m_sinceLastPing.start();
}

} // namespace wendmoor
