#include "archive/LogNames.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace wendmoor;

namespace {

// The simulated week and the midnight continuity test record the largest format's halves and
// FLAC; here the second the afternoon begins and the formats without a half-day suffix.
TEST(LogNames, HalfDaySuffixOnlyForTheLargestFormatAndTurnsAtNoon)
{
    const std::tuple<int, int, const char*> cases[] = { { 5, 43199, "L120626A.wav" }, { 5, 43200, "L120626P.wav" },
        { 4, 50000, "L120626.wav" }, { 8, 43200, "L120626.wav" }, { 10, 0, "L120626.opus" } };
    for (const auto& [format, second, name] : cases)
        EXPECT_EQ(logFileName(QDate(2026, 12, 6), second, format), QLatin1String(name)) << format << " " << second;
}

// Every name the recorder builds (and its renumbered copies) reads back as its day, half and
// copy; names that are no log's are not taken for one.
TEST(LogNames, WhatIsBuiltReadsBackAndNothingElseIsALog)
{
    const QDate day(2026, 12, 6);
    for (int format = 0; format < 11; ++format) {
        for (const int second : { 0, 43200 }) {
            const QString name = logFileName(day, second, format);
            const QString copy = renumberedLogPath(name, [](const QString&) { return false; });
            for (const QString& n : { name, copy }) {
                const std::optional<LogName> log = parseLogName(n.toLower());
                ASSERT_TRUE(log.has_value()) << n.toStdString();
                EXPECT_EQ(log->date, day);
                EXPECT_EQ(log->afternoon, format == 5 && second == 43200) << n.toStdString();
                EXPECT_EQ(log->copy, n == copy ? 1 : 0);
                EXPECT_TRUE(n.endsWith(log->extension));
            }
        }
    }
    for (const char* other : { "notes.wav", "L123226.wav", "L120626.mp3", "L120626X.wav", "L1206261.wav.part" })
        EXPECT_FALSE(parseLogName(QLatin1String(other)).has_value()) << other;
}

TEST(LogNames, RenumberingTakesTheFirstFreeNumberFromTheSameBase)
{
    QSet<QString> oneToNine;
    for (int n = 1; n <= 9; ++n)
        oneToNine.insert(QStringLiteral("/a/L1206260%1.wav").arg(n));
    const std::tuple<const char*, QSet<QString>, const char*> cases[] = {
        { "/a/L120626.wav", {}, "/a/L12062601.wav" },
        { "/a/L120626.wav", oneToNine, "/a/L12062610.wav" },
        { "/a/L120626.wav", { QStringLiteral("/a/L12062601.wav"), QStringLiteral("/a/L12062603.wav") },
            "/a/L12062602.wav" },
        { "/a/L120626A.wav", {}, "/a/L120626A01.wav" },
        { "/a/L120626.flac", { QStringLiteral("/a/L12062601.flac") }, "/a/L12062602.flac" },
        { "/a.b/L120626", {}, "/a.b/L12062601" },
    };
    for (const auto& [path, taken, expected] : cases) {
        const auto isTaken = [&taken = taken](const QString& p) { return taken.contains(p); };
        EXPECT_EQ(renumberedLogPath(QLatin1String(path), isTaken), QLatin1String(expected));
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

} // namespace
