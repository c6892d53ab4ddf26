#include "web/ByteRange.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace wendmoor {

namespace {

// Digits as a number; numbers too large for 63 bits saturate, so that a huge start is beyond
// the end instead of wrapping to a small one.
std::optional<std::int64_t> number(std::string_view text)
{
    if (text.empty() || text.size() > 1000)
        return std::nullopt;
    std::int64_t value = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return value;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

ByteRange resolveRange(std::string_view header, std::int64_t length)
{
    const ByteRange whole { ByteRange::Kind::Whole, 0, length - 1 };
    header = trimmed(header);
    constexpr std::string_view kUnit = "bytes=";
    if (header.substr(0, kUnit.size()) != kUnit)
        return whole;
    const std::string_view spec = trimmed(header.substr(kUnit.size()));
    const std::size_t dash = spec.find('-');
    if (dash == std::string_view::npos || spec.find(',') != std::string_view::npos)
        return whole;
    const std::string_view from = trimmed(spec.substr(0, dash));
    const std::string_view to = trimmed(spec.substr(dash + 1));
    const ByteRange refused { ByteRange::Kind::Unsatisfiable, 0, -1 };
    if (from.empty()) {
        // The last n bytes.
        const std::optional<std::int64_t> suffix = number(to);
        if (!suffix)
            return whole;
        if (*suffix == 0 || length == 0)
            return refused;
        return { ByteRange::Kind::Part, length - std::min(*suffix, length), length - 1 };
    }
    const std::optional<std::int64_t> first = number(from);
    const std::optional<std::int64_t> last = to.empty() ? first : number(to);
    if (!first || !last || *last < *first)
        return whole;
    if (*first >= length)
        return refused;
    if (to.empty())
        return { ByteRange::Kind::Part, *first, length - 1 };
    return { ByteRange::Kind::Part, *first, std::min(*last, length - 1) };
}

} // namespace wendmoor
