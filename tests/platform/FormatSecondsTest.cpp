#include "platform/FormatSeconds.h"

#include <gtest/gtest.h>

#include <limits>

namespace wendmoor::test {
namespace {

TEST(FormatSeconds, HoursOnlyFromOneHourPaddedBelowTen)
{
    const struct {
        std::int32_t seconds;
        const char* text;
    } cases[] = {
        { 0, "00:00" },
        { 59, "00:59" },
        { 60, "01:00" },
        { 65, "01:05" },
        { 754, "12:34" },
        { 3599, "59:59" },
        { 3600, " 1:00:00" },
        { 3605, " 1:00:05" },
        { 3725, " 1:02:05" },
        { 35999, " 9:59:59" },
        { 36000, "10:00:00" },
        { 360000, "100:00:00" },
        { -3, "-00:03" },
        { -3725, "- 1:02:05" },
        { std::numeric_limits<std::int32_t>::min(), "-596523:14:08" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatSeconds(c.seconds), QString::fromLatin1(c.text)) << c.seconds;
}

} // namespace
} // namespace wendmoor::test
