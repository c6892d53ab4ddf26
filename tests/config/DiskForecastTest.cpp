#include "config/DiskForecast.h"

#include <gtest/gtest.h>

using namespace wendmoor;

// One day of each format, worked out by hand: PCM rate x bytes per sample x 86400; GSM 6.10
// 65 bytes for every 320 samples of the day; FLAC and Opus at their average rates.
TEST(DiskForecast, BytesPerDayOfEveryFormat)
{
    const std::array<qint64, 11> expected = {
        691'200'000,   // 8000 Hz, 8 bit
        1'382'400'000, // 8000 Hz, 16 bit
        952'560'000,   // 11025 Hz, 8 bit
        1'905'120'000, // 11025 Hz, 16 bit
        1'905'120'000, // 22050 Hz, 8 bit
        3'810'240'000, // 22050 Hz, 16 bit (two logs a day, the same bytes)
        140'400'000,   // GSM 8000 Hz: 2 160 000 blocks
        193'488'750,   // GSM 11025 Hz: 2 976 750 blocks
        386'977'500,   // GSM 22050 Hz: 5 953 500 blocks
        2'400'451'200, // FLAC 22050 Hz: 63 % of 44 100 bytes a second
        352'512'000,   // Opus 32 kbit/s and 2 % of Ogg pages: 4 080 bytes a second
    };
    for (std::size_t i = 0; i < kRecordFormats.size(); ++i)
        EXPECT_EQ(bytesPerDay(kRecordFormats[i]), expected[i]) << kRecordFormats[i].caption;
}

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
        {"never deleting fills the drive", 10 * gsmDay, 50 * gsmDay, 0, 10, false, 10},
        {"room for today and the kept days", 31 * gsmDay, 0, 30, 31, true, std::nullopt},
        {"one day short of today and the kept days", 30 * gsmDay, 0, 30, 30, false, 30},
        {"logs already kept free their room again", 2 * gsmDay, 29 * gsmDay, 30, 2, true, std::nullopt},
        {"a drive with no space at all", 0, 0, 7, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DiskForecast f = forecastDisk(c.free, c.archive, kRecordFormats[6], c.keep);
        EXPECT_DOUBLE_EQ(f.daysOfFreeSpace, c.days);
        EXPECT_EQ(f.coversDaysToKeep, c.covers);
        EXPECT_EQ(f.daysUntilFull, c.full);
    }
}
