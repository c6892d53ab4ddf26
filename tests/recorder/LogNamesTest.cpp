#include "recorder/LogNames.h"
#include "config/Settings.h"
#include "recorder/PurgeOldLogs.h"

#include "TestServices.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

TEST(LogNames, HalfDaySuffixOnlyForTheLargestFormatAndTurnsAtNoon)
{
    struct Case {
        int format;
        int second;
        const char* name;
    };
    const Case cases[] = {
        { 5, 43200, "L120626P.wav" },
        { 5, 43199, "L120626A.wav" },
        { 5, 0, "L120626A.wav" },
        { 5, 86399, "L120626P.wav" },
        { 4, 50000, "L120626.wav" },
        { 0, 100, "L120626.wav" },
        { 8, 43200, "L120626.wav" },
        { 9, 43200, "L120626.flac" },
        { 10, 0, "L120626.opus" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(logFileName(QDate(2026, 12, 6), c.second, c.format), QLatin1String(c.name))
            << c.format << " " << c.second;
}

TEST(LogNames, RenumberingTakesTheFirstFreeNumberFromTheSameBase)
{
    struct Case {
        const char* path;
        QSet<QString> taken;
        const char* expected;
    };
    QSet<QString> oneToNine;
    for (int n = 1; n <= 9; ++n)
        oneToNine.insert(QStringLiteral("/a/L1206260%1.wav").arg(n));
    const Case cases[] = {
        { "/a/L120626.wav", {}, "/a/L12062601.wav" },
        { "/a/L120626.wav", oneToNine, "/a/L12062610.wav" },
        { "/a/L120626.wav", { QStringLiteral("/a/L12062601.wav"), QStringLiteral("/a/L12062603.wav") },
            "/a/L12062602.wav" },
        { "/a/L120626A.wav", {}, "/a/L120626A01.wav" },
        { "/a/L120626.flac", { QStringLiteral("/a/L12062601.flac") }, "/a/L12062602.flac" },
        { "/a.b/L120626", {}, "/a.b/L12062601" },
    };
    for (const Case& c : cases) {
        const QString got
            = renumberedLogPath(QLatin1String(c.path), [&](const QString& p) { return c.taken.contains(p); });
        EXPECT_EQ(got, QLatin1String(c.expected));
    }
}

TEST(LogNames, PurgeNamesOnlyTheDayThatFellOut)
{
    const QDate today(2026, 12, 6);
    EXPECT_EQ(purgePattern(today, 1), QStringLiteral("L120426*"));
    EXPECT_EQ(purgePattern(today, 30), QStringLiteral("L110526*"));
    EXPECT_EQ(purgePattern(QDate(2027, 1, 1), 1), QStringLiteral("L123026*"));
    // Keep all; a count that overflows 16 bits; counts that would name today or later.
    for (std::int16_t days : { std::int16_t { 0 }, std::int16_t { 32767 }, std::int16_t { -1 }, std::int16_t { -5 } })
        EXPECT_FALSE(purgePattern(today, days).has_value()) << days;
}

class PurgeOldLogsTest : public ::testing::Test {
protected:
    TestServices ts;
    Settings settings;
    QString archive = ts.makeArchive();
    PurgeOldLogsTest()
    {
        settings.LogDrive = QLatin1Char('C');
        ts.clock.set(QDate(2026, 12, 6), QTime(0, 0, 31));
    }
    void touch(const QString& name) const
    {
        QFile f(archive + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    [[nodiscard]] QStringList left() const { return QDir(archive).entryList(QDir::Files, QDir::Name); }
};

TEST_F(PurgeOldLogsTest, OneDayToKeepDeletesTheDayBeforeYesterdayWithAllItsFiles)
{
    for (const char* n : { "L120426.wav", "L120426A.wav", "L120426P.wav", "L12042601.wav", "L120426.flac",
             "L12042601.opus", "L120526.flac", "L120626.wav", "L110426.wav", "notes.txt" })
        touch(QLatin1String(n));
    settings.DaysToKeep = 1;
    PurgeOldLogs(ts.volumes, settings, ts.clock);
    EXPECT_EQ(left(), (QStringList { "L110426.wav", "L120526.flac", "L120626.wav", "notes.txt" }));
}

} // namespace
