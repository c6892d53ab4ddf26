#include "config/DiskForecast.h"

#include <gtest/gtest.h>

using namespace wendmoor;

TEST(DiskForecast, DaysOfFreeSpaceAndWhetherTheyCoverTheDaysToKeep)
{
    constexpr qint64 gsmDay = 140'400'000; // format 6
    // free and archive bytes, days to keep; days of free space, whether they cover, days until full
    const std::tuple<const char*, qint64, qint64, int, double, bool, std::optional<double>> cases[] = {
        { "room for today and the kept days", 31 * gsmDay, 0, 30, 31, true, std::nullopt },
        { "one day short of today and the kept days", 30 * gsmDay, 0, 30, 30, false, 30 },
        { "logs already kept free their room again", 2 * gsmDay, 29 * gsmDay, 30, 2, true, std::nullopt },
        { "a drive with no space at all", 0, 0, 7, 0, false, 0 },
    };
    for (const auto& [name, free, archive, keep, days, covers, full] : cases) {
        SCOPED_TRACE(name);
        const DiskForecast f = forecastDisk(free, archive, kRecordFormats[6], keep);
        EXPECT_DOUBLE_EQ(f.daysOfFreeSpace, days);
        EXPECT_EQ(f.coversDaysToKeep, covers);
        EXPECT_EQ(f.daysUntilFull, full);
    }
}
