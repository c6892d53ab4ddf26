#pragma once

#include "platform/LocalZone.h"

#include <QDateTime>

namespace wendmoor {

// The local date and time of day. Everything that acts by time of day reads it through this
// interface so that tests can stand at 23:59:59.
class TimeSource {
public:
    virtual ~TimeSource() = default;
    [[nodiscard]] virtual QDateTime now() const = 0;

    // Seconds since local midnight, with the fraction of the second.
    [[nodiscard]] double secondsSinceMidnight() const;
    // The same, rounded to a whole number with a half going to the even neighbour.
    [[nodiscard]] int roundedSecondsSinceMidnight() const;
};

// The system's clock in the system's zone, which it follows (see LocalZone): make it before other
// threads run.
class SystemTimeSource final : public TimeSource {
public:
    [[nodiscard]] QDateTime now() const override
    {
        m_zone.follow();
        return QDateTime::currentDateTime();
    }

private:
    mutable LocalZone m_zone;
};

// Rounds to the nearest whole number, an exact half going to the even neighbour.
[[nodiscard]] long long roundHalfEven(double value);

} // namespace wendmoor
