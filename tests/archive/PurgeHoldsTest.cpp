#include "archive/PurgeOldLogs.h"

#include "catalog/ArchiveHolds.h"
#include "catalog/Catalog.h"
#include "config/Settings.h"

#include "Fakes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace wendmoor {
namespace {

UtcMs localMs(const QDate& day, int hour)
{
    return QDateTime(day, QTime(hour, 0)).toMSecsSinceEpoch();
}

// Logs copied in by hand (the catalog knows none of them) and holds placed before any log was
// recorded on this machine: each log counts as its whole day, or half day.
TEST(PurgeHolds, AHoldKeepsADayPastDaysToKeepUntilItIsReleased)
{
    QTemporaryDir root;
    const QString logs = root.filePath(QStringLiteral("Wendmoor/logs"));
    ASSERT_TRUE(QDir().mkpath(logs));
    test::FakeVolumes volumes;
    volumes.list = { Drive { QLatin1Char('C'), root.path() } };
    test::FakeTimeSource clock;
    clock.set(QDate(2026, 12, 6), QTime(0, 0, 30));
    Settings settings;
    settings.LogDrive = QLatin1Char('C');
    settings.DaysToKeep = 30;
    const QDate expired = QDate(2026, 12, 6).addDays(-31);
    const QString day = expired.toString(QStringLiteral("MMddyy"));
    const QStringList names
        = { QStringLiteral("L%1.wav").arg(day), QStringLiteral("L") + day + QStringLiteral("01.wav"),
              QStringLiteral("L%1A.wav").arg(day), QStringLiteral("L%1P.wav").arg(day) };
    for (const QString& name : names) {
        QFile f(QDir(logs).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    std::int64_t hold = 0;
    {
        auto catalog = Catalog::open(logs, Catalog::Mode::ReadWrite);
        // 14:00 to 15:00 of the expired day: the whole-day logs and the afternoon's.
        hold = catalog->addHold(localMs(expired, 14), localMs(expired, 15), QStringLiteral("complaint"),
            QStringLiteral("ops"), localMs(expired, 16));
        // Another day's hold keeps nothing here.
        (void)catalog->addHold(localMs(expired.addDays(1), 0), localMs(expired.addDays(1), 1), QStringLiteral("other"),
            QStringLiteral("ops"), localMs(expired, 16));
    }
    QStringList kept;
    QStringList deleted = PurgeOldLogs(volumes, settings, clock, &kept);
    EXPECT_EQ(deleted.join(u' ').toStdString(), QDir(logs).filePath(names[2]).toStdString());
    EXPECT_EQ(kept.size(), 3);
    for (const QString& name : { names[0], names[1], names[3] })
        EXPECT_TRUE(QFile::exists(QDir(logs).filePath(name))) << name.toStdString();
    EXPECT_TRUE(kept.join(u' ').contains(QStringLiteral("complaint")));

    // The next day's purge takes what the released hold kept.
    {
        auto catalog = Catalog::open(logs, Catalog::Mode::ReadWrite);
        ASSERT_TRUE(catalog->releaseHold(hold, localMs(QDate(2026, 12, 6), 9)));
    }
    clock.set(QDate(2026, 12, 7), QTime(0, 0, 30));
    kept.clear();
    deleted = PurgeOldLogs(volumes, settings, clock, &kept);
    deleted.sort();
    QStringList expected
        = { QDir(logs).filePath(names[0]), QDir(logs).filePath(names[1]), QDir(logs).filePath(names[3]) };
    expected.sort();
    EXPECT_EQ(deleted.join(u' ').toStdString(), expected.join(u' ').toStdString());
    EXPECT_TRUE(kept.isEmpty());
}

// The forecast the disk watch and the preferences show: a held log older than the days to keep
// gives no room back, a held recent one or a released hold changes nothing.
TEST(PurgeHolds, TheDiskForecastCountsHeldLogsPastTheirDays)
{
    QTemporaryDir root;
    const RecordFormat& format = *recordFormat(6);
    const qint64 day = bytesPerDay(format);
    const QDate today(2026, 3, 10);
    // Nine days of logs before today (sparse files of a day's size each) and half a day free.
    for (int d = 1; d <= 9; ++d) {
        QFile log(root.filePath(QStringLiteral("L03%1").arg(d, 2, 10, QLatin1Char('0')) + QStringLiteral("26.wav")));
        ASSERT_TRUE(log.open(QIODevice::WriteOnly) && log.resize(day));
    }
    const DriveSpace measured { day / 2, measureDrive(root.path(), root.path())->archiveBytes };
    ASSERT_EQ(measured.archiveBytes, 9 * day);
    const struct {
        const char* name;
        QDate from;
        QDate to; // exclusive
        bool released;
        bool covers;
    } cases[] = {
        { "no hold", {}, {}, false, true },
        { "the six days past three held", QDate(2026, 3, 1), QDate(2026, 3, 7), false, false },
        { "the same hold released", QDate(2026, 3, 1), QDate(2026, 3, 7), true, true },
        { "the days kept anyway held", QDate(2026, 3, 7), QDate(2026, 3, 10), false, true },
    };
    for (const auto& c : cases) {
        QFile::remove(root.filePath(QLatin1String(Catalog::kFileName)));
        if (c.from.isValid()) {
            auto catalog = Catalog::open(root.path(), Catalog::Mode::ReadWrite);
            const std::int64_t id = catalog->addHold(
                localMs(c.from, 0), localMs(c.to, 0), QStringLiteral("complaint"), QStringLiteral("test"), 0);
            ASSERT_TRUE(!c.released || catalog->releaseHold(id, 0));
        }
        const DiskForecast f = forecastArchive(measured, root.path(), format, 3, today);
        EXPECT_EQ(f.coversDaysToKeep, c.covers) << c.name;
        EXPECT_EQ(f.daysUntilFull.has_value(), !c.covers) << c.name;
    }
}

} // namespace
} // namespace wendmoor
