#include "config/DiskForecast.h"

#include <gtest/gtest.h>

using namespace wendmoor;

TEST(DiskForecast, DaysOfFreeSpaceAndWhetherTheyCoverTheDaysToKeep)
{
    constexpr qint64 gsmDay = 140'400'000; // format 6
    struct Case {
        const char* name;
        qint64 free;
        qint64 archive;
        int keep;
        double days;
        bool covers;
        std::optional<double> full;
    };
    const Case cases[] = {
        { "never deleting fills the drive", 10 * gsmDay, 50 * gsmDay, 0, 10, false, 10 },
        { "room for today and the kept days", 31 * gsmDay, 0, 30, 31, true, std::nullopt },
        { "one day short of today and the kept days", 30 * gsmDay, 0, 30, 30, false, 30 },
        { "logs already kept free their room again", 2 * gsmDay, 29 * gsmDay, 30, 2, true, std::nullopt },
        { "a drive with no space at all", 0, 0, 7, 0, false, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DiskForecast f = forecastDisk(c.free, c.archive, kRecordFormats[6], c.keep);
        EXPECT_DOUBLE_EQ(f.daysOfFreeSpace, c.days);
        EXPECT_EQ(f.coversDaysToKeep, c.covers);
        EXPECT_EQ(f.daysUntilFull, c.full);
    }
}
