#include "platform/ServiceNotifier.h"

#ifdef WENDMOOR_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace wendmoor {

#ifdef WENDMOOR_HAVE_SYSTEMD
void SystemdNotifier::ready()
{
    sd_notify(0, "READY=1");
}

void SystemdNotifier::alive()
{
    sd_notify(0, "WATCHDOG=1");
}

void SystemdNotifier::stopping()
{
    sd_notify(0, "STOPPING=1");
}

std::chrono::milliseconds SystemdNotifier::watchdogPeriod() const
{
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0)
        return std::chrono::milliseconds(0);
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::microseconds(usec));
}
#else
void SystemdNotifier::ready()
{
}
void SystemdNotifier::alive()
{
}
void SystemdNotifier::stopping()
{
}
std::chrono::milliseconds SystemdNotifier::watchdogPeriod() const
{
    return std::chrono::milliseconds(0);
}
#endif

} // namespace wendmoor
