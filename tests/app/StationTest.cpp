#include "app/DiskWatch.h"
#include "app/Watchdog.h"
#include "config/Settings.h"
#include "platform/ServiceNotifier.h"

#include "TestServices.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

using namespace wendmoor;
using namespace std::chrono_literals;

namespace {

struct CountingNotifier final : ServiceNotifier {
    int pings = 0;
    void ready() override { }
    void alive() override { ++pings; }
    void stopping() override { }
    std::chrono::milliseconds watchdogPeriod() const override { return 30ms; }
};

} // namespace

// The pings come from the tick of the UI thread itself: while that thread is held, none go out,
// so that the service manager sees a hang; when it runs again, they resume.
TEST(Watchdog, PingsOnTheTickAndStopsWhileTheUiThreadIsBlocked)
{
    CountingNotifier notifier;
    QTimer tick;
    tick.setInterval(10);
    Watchdog watchdog(notifier, tick);
    tick.start();
    QSignalSpy ticks(&tick, &QTimer::timeout);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.size() >= 5; }, 2000));
    EXPECT_GE(notifier.pings, 2);

    const int before = notifier.pings;
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(notifier.pings, before);

    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.pings > before; }, 2000));
}

TEST(DiskWatch, WarnsOnceADayWhileTheDriveFillsWithinThreeDays)
{
    test::TestServices t;
    Settings settings;
    settings.LogDrive = QLatin1Char('C');
    settings.RecordFormat = 6;
    settings.DaysToKeep = 0;
    qint64 free = 2 * 140'400'000;
    QTimer tick;
    DiskWatch watch(t.services, settings, tick, [&](const QString&, const QString&) {
        return std::optional<DriveSpace>(DriveSpace { free, 0 });
    });

    watch.check();
    ASSERT_EQ(t.messages.shown.size(), 1);
    EXPECT_TRUE(t.messages.shown[0].startsWith(QStringLiteral("61 Drive C "))) << t.messages.shown[0].toStdString();
    t.clock.advanceMs(3'600'000);
    watch.check();
    EXPECT_EQ(t.messages.shown.size(), 1) << "once a day";

    t.clock.advanceMs(24 * 3'600'000);
    free = 3 * 140'400'000;
    watch.check();
    EXPECT_EQ(t.messages.shown.size(), 1) << "three days of room is no warning";
    t.clock.advanceMs(11 * 60'000);
    free = 140'400'000;
    watch.check();
    EXPECT_EQ(t.messages.shown.size(), 2) << "the next day warns again";
}
