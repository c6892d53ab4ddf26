#include "playback/TransportLogic.h"
#include "platform/Error.h"
#include "playback/LogList.h"

#include "TestServices.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <limits>

namespace wendmoor::test {
namespace {

using transport::SliderWindow;

TEST(LogList, BothOrdersSelectTheGreatestName)
{
    const QStringList ascending { QStringLiteral("L120403.wav"), QStringLiteral("L120503A.wav"),
        QStringLiteral("L120503P.wav") };
    const LogListView newest = orderLogs(ascending, 0);
    EXPECT_EQ(newest.entries,
        (QStringList {
            QStringLiteral("L120503P.wav"), QStringLiteral("L120503A.wav"), QStringLiteral("L120403.wav") }));
    EXPECT_EQ(newest.selected, 0);
    const LogListView oldest = orderLogs(ascending, 1);
    EXPECT_EQ(oldest.entries, ascending);
    EXPECT_EQ(oldest.selected, 2);

    for (int order : { 0, 1 })
        EXPECT_EQ(orderLogs({}, order).selected, -1) << order;
    EXPECT_TRUE(orderLogs(ascending, 2).entries.isEmpty());
    EXPECT_EQ(orderLogs(ascending, -1).selected, -1);
}

TEST(LogList, OnlyVisibleWaveFilesInNameOrder)
{
    TestServices t;
    const QString folder = t.makeArchive();
    for (const char* name : { "L123104.wav", "L010105.wav", "notes.txt", ".hidden.wav", "L020205.wav.bak" }) {
        QFile f(folder + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QDir(folder).mkdir(QStringLiteral("L999999.wav")); // a folder is not a log
    // Names begin with month and day, so the later day L010105 sorts first.
    EXPECT_EQ(logFileNames(folder), (QStringList { QStringLiteral("L010105.wav"), QStringLiteral("L123104.wav") }));
}

TEST(LogList, MissingFolderIsPathNotFoundNamingIt)
{
    try {
        (void)logFileNames(QStringLiteral("/nonexistent-drive-Q:/Wendmoor/logs"));
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathNotFound);
        EXPECT_TRUE(e.description().contains(QStringLiteral("/nonexistent-drive-Q:/Wendmoor/logs")));
    }
}

TEST(Transport, LoadingSetsTheWindowByRangeIndex)
{
    const struct {
        int index;
        std::int32_t width, length;
        SliderWindow window;
        std::optional<std::int32_t> start;
    } cases[] = {
        { 0, 0, 80000, { 0, 80000 }, std::nullopt },
        { 1, 10000, 7000, { 0, 10000 }, std::nullopt }, // wider than the file
        { 2, 60000, 600000, { 0, 60000 }, std::nullopt }, { 6, 5000, 600000, { 595000, 600000 }, 595000 },
        { 8, 20000, 600000, { 580000, 600000 }, 580000 },
        { 8, 20000, 9000, { -11000, 9000 }, -11000 }, // shorter than N: the player starts at 0
    };
    for (const auto& c : cases) {
        const transport::LoadPlan plan = transport::planLoad(c.index, c.width, c.length);
        EXPECT_EQ(plan.window, c.window) << c.index << " " << c.length;
        EXPECT_EQ(plan.startAt, c.start) << c.index << " " << c.length;
    }
}

TEST(Transport, RangeOptionsNeedAFileStrictlyLonger)
{
    const struct {
        int option;
        std::int32_t length;
        bool enabled;
    } cases[] = {
        { 0, 0, true },
        { 1, 7000, false },
        { 1, 10000, false },
        { 1, 10001, true },
        { 2, 60000, false },
        { 2, 60001, true },
        { 3, 300000, false },
        { 3, 300001, true },
        { 4, 1800000, false },
        { 4, 1800001, true },
        { 5, 3600000, false },
        { 5, 3600001, true },
    };
    for (const auto& c : cases)
        EXPECT_EQ(transport::rangeOptionEnabled(c.option, c.length), c.enabled) << c.option << " " << c.length;
}

TEST(Transport, StepsAreRefusedAtTheEdgesNotClipped)
{
    EXPECT_EQ(transport::fastForward(30000, 60000, 80000), std::nullopt);
    EXPECT_EQ(transport::fastForward(20000, 60000, 80000), std::nullopt); // would land on the end
    EXPECT_EQ(transport::fastForward(10000, 60000, 80000), 70000);
    EXPECT_EQ(transport::rewind(10000, 10000), std::nullopt);
    EXPECT_EQ(transport::rewind(10001, 10000), 1);
    EXPECT_EQ(transport::fastForward(
                  std::numeric_limits<std::int32_t>::max() - 5, 20000, std::numeric_limits<std::int32_t>::max()),
        std::nullopt);
}

TEST(Transport, PagingStartsANewWindowAtThePlayer)
{
    EXPECT_EQ(transport::page(59999, { 0, 60000 }, 60000), std::nullopt);
    EXPECT_EQ(transport::page(60000, { 0, 60000 }, 60000), (SliderWindow { 60000, 120000 }));
    EXPECT_EQ(transport::page(60040, { 0, 60000 }, 60000), (SliderWindow { 60040, 120040 }));
    EXPECT_EQ(transport::page(std::numeric_limits<std::int32_t>::max(), { 0, 60000 }, 60000)->maximum,
        std::numeric_limits<std::int32_t>::max());
}

TEST(Transport, TimeLabelsRoundHalfToEven)
{
    const struct {
        std::int32_t position, length, elapsed, remaining;
    } cases[] = {
        { 59500, 120000, 60, 60 }, // 60.5 s left goes down to 60
        { 58500, 120000, 58, 62 }, // 61.5 s left goes up to 62
        { 2500, 2500, 2, 0 },
        { 3500, 3000, 4, 0 }, // -0.5 rounds to 0
        { 4600, 3000, 5, -2 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(transport::elapsedSeconds(c.position), c.elapsed) << c.position;
        EXPECT_EQ(transport::remainingSeconds(c.length, c.position), c.remaining) << c.position;
    }
}

TEST(Transport, PopupItemsForTenAndTwentyUseTheOtherEntries)
{
    const struct {
        transport::LastN command;
        int index;
        std::int32_t width;
    } cases[] = {
        { transport::endButton(1), 6, 5000 },
        { transport::endButton(2), 7, 10000 },
        { transport::endButton(3), 8, 20000 },
        { transport::popupItem(5), 6, 5000 },
        { transport::popupItem(10), 8, 10000 },
        { transport::popupItem(20), 7, 20000 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.command.rangeIndex, c.index);
        EXPECT_EQ(c.command.width, c.width) << c.index;
    }
}

} // namespace
} // namespace wendmoor::test
