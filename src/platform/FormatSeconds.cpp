#include "platform/FormatSeconds.h"

#include <cstdlib>

namespace wendmoor {

namespace {

QString twoDigits(std::int64_t value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString FormatSeconds(std::int32_t seconds)
{
    // Widened first: the magnitude of the most negative 32-bit value does not fit in 32 bits.
    const std::int64_t s = std::llabs(static_cast<std::int64_t>(seconds));
    const std::int64_t h = s / 3600;
    const std::int64_t m = (s % 3600) / 60;
    const std::int64_t c = s % 60;
    QString text;
    if (seconds < 0)
        text += QLatin1Char('-');
    if (h > 0) {
        if (h < 10)
            text += QLatin1Char(' ');
        text += QString::number(h) + QLatin1Char(':');
    }
    return text + twoDigits(m) + QLatin1Char(':') + twoDigits(c);
}

} // namespace wendmoor
