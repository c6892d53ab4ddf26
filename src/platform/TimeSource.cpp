#include "platform/TimeSource.h"

#include <cmath>

namespace wendmoor {

double TimeSource::secondsSinceMidnight() const
{
    const QDateTime t = now();
    const QTime tod = t.time();
    return tod.msecsSinceStartOfDay() / 1000.0;
}

int TimeSource::roundedSecondsSinceMidnight() const
{
    return static_cast<int>(roundHalfEven(secondsSinceMidnight()));
}

long long roundHalfEven(double value)
{
    return static_cast<long long>(std::nearbyint(value)); // default rounding mode: to nearest even
}

} // namespace wendmoor
