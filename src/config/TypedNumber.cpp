#include "config/TypedNumber.h"

#include "platform/Error.h"
#include "platform/TimeSource.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace wendmoor {

namespace {
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
}
} // namespace

double leadingNumber(const QString& text)
{
    std::string digits; // digits and at most one point, without the sign
    bool negative = false;
    bool seenPoint = false;
    bool seenAnything = false;
    for (const QChar c : text) {
        if (isBlank(c))
            continue;
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9') {
            digits.push_back(static_cast<char>(u));
        } else if (u == u'.' && !seenPoint) {
            seenPoint = true;
            digits.push_back('.');
        } else if ((u == u'-' || u == u'+') && !seenAnything) {
            negative = u == u'-';
        } else {
            break;
        }
        seenAnything = true;
    }
    if (!digits.empty() && digits.back() == '.')
        digits.pop_back();
    if (digits.empty())
        return 0.0;
    // from_chars, unlike strtod, does not depend on the decimal point of the user's locale.
    double value = 0.0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec == std::errc::result_out_of_range)
        value = HUGE_VAL;
    return negative ? -value : value;
}

std::int16_t typedInteger16(const QString& text, const QString& boxName)
{
    const double value = leadingNumber(text);
    // Decided on the unrounded value first, so that huge texts never reach the integer rounding.
    if (!(std::fabs(value) < 1e9))
        throw Error(ErrorNumber::Overflow,
            QStringLiteral("The number \"%1\" in %2 is outside -32768 to 32767.").arg(text.trimmed(), boxName));
    const long long rounded = roundHalfEven(value);
    if (rounded < -32768 || rounded > 32767)
        throw Error(ErrorNumber::Overflow,
            QStringLiteral("The number \"%1\" in %2 is outside -32768 to 32767.").arg(text.trimmed(), boxName));
    return static_cast<std::int16_t>(rounded);
}

} // namespace wendmoor
