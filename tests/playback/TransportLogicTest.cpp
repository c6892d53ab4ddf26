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

TEST(Transport, RangeOptionsNeedAFileStrictlyLonger)
{
    const struct {
        int option;
        std::int32_t length;
        bool enabled;
    } cases[] = {
        { 0, 0, true }, { 1, 7000, false }, { 1, 10000, false }, { 1, 10001, true }, { 2, 60000, false },
        { 2, 60001, true }, { 3, 300000, false }, { 3, 300001, true }, { 4, 1800000, false }, { 4, 1800001, true },
        { 5, 3600000, false }, { 5, 3600001, true },
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

} // namespace
} // namespace wendmoor::test
