#include "archive/PurgeOldLogs.h"

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

} // namespace
} // namespace wendmoor
