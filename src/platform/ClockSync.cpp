#include "platform/ClockSync.h"

#include <sys/timex.h>

namespace wendmoor {

std::optional<bool> KernelClockSync::synchronised() const
{
    struct timex tx { };
    const int state = ::ntp_adjtime(&tx);
    if (state < 0)
        return std::nullopt;
    return state != TIME_ERROR && (tx.status & STA_UNSYNC) == 0;
}

} // namespace wendmoor
