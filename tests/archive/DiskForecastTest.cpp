#include "archive/DiskForecast.h"

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

// A day of each format, worked out by hand: PCM rate x bytes per sample x 86400 (format 5 in its
// two logs); GSM 6.10 65 bytes for every 320 samples; FLAC at 63 % of 16-bit PCM; Opus 32 kbit/s
// and 2 % of Ogg pages.
TEST(DiskForecast, BytesPerDayOfEveryFormat)
{
    const qint64 expected[] = { 691'200'000, 1'382'400'000, 952'560'000, 1'905'120'000, 1'905'120'000, 3'810'240'000,
        140'400'000, 193'488'750, 386'977'500, 2'400'451'200, 352'512'000 };
    ASSERT_EQ(std::size(expected), kRecordFormats.size());
    for (std::size_t i = 0; i < kRecordFormats.size(); ++i) {
        EXPECT_EQ(bytesPerDay(kRecordFormats[i]), expected[i]) << kRecordFormats[i].caption;
        // A second is a day's 86400th, to within one GSM block.
        EXPECT_NEAR(bytesPerSecond(kRecordFormats[i]) * 86400, static_cast<double>(expected[i]), 65.0);
    }
}
