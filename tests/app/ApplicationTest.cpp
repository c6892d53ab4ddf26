#include "app/Application.h"
#include "FillingDisk.h"
#include "app/DiskWatch.h"
#include "app/StatusFile.h"
#include "app/Watchdog.h"
#include "mainwindow/Menu.h"
#include "media/ByteSink.h"
#include "media/WaveFileWriter.h"
#include "media/WaveInput.h"
#include "platform/ServiceNotifier.h"
#include "platform/Volumes.h"

#include "../media/WavChecks.h"
#include "RecorderFixture.h"
#include "TestServices.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

using namespace wendmoor;
using namespace wendmoor::test;
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

// Preferences, Help and About open once however often they are asked for, and anew once closed;
// Play closes the open playback window and opens a fresh one.
TEST(Application, MenuCommandsOpenEachWindowOnceAndPlayOpensAFreshOne)
{
    TestServices ts;
    ts.makeArchive();
    Application app(ts.services);
    app.start();
    Menu& menu = app.menu();
    const std::pair<QAction*, std::function<QWidget*()>> windows[] = {
        { menu.mnuMyPreferences, [&] { return app.preferencesWindow(); } },
        { menu.mnuHelp, [&] { return app.helpWindow(); } },
        { menu.mnuAbout, [&] { return app.aboutWindow(); } },
    };
    for (const auto& [command, window] : windows) {
        command->trigger();
        QPointer<QWidget> first = window();
        ASSERT_TRUE(first && first->isVisible()) << command->text().toStdString();
        command->trigger();
        EXPECT_EQ(window(), first.data()) << command->text().toStdString();
        first->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(first) << command->text().toStdString();
        command->trigger();
        EXPECT_TRUE(window()) << command->text().toStdString();
    }

    menu.mnuPlay->trigger();
    QPointer<frmPlay> first = app.playWindow();
    ASSERT_TRUE(first);
    menu.mnuPlay->trigger();
    EXPECT_FALSE(first) << "Play must close the open playback window";
    ASSERT_TRUE(app.playWindow());
    EXPECT_TRUE(app.playWindow()->isVisible());
}

// Exit ends the program at once: nothing asked, the recording not stopped first (the file is
// finished on the way out). The close box asks nothing either and ends the recording and the
// clock with the main window, while the help window stays open.
TEST(Closing, ExitEndsAtOnceAndTheCloseBoxEndsTheRecorderWithTheWindowOnly)
{
    for (const bool useExit : { true, false }) {
        SCOPED_TRACE(useExit ? "Exit" : "close box");
        TestServices ts;
        ts.makeArchive();
        ts.writeSettings({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 });
        QString log;
        {
            Application app(ts.services);
            app.start();
            app.recorder().chain().settle();
            app.openHelp();
            ASSERT_TRUE(app.state().IsRecording);
            log = app.state().CurrentLogPath;
            ts.audio.feed(sineTone(8000, 1000.0, 8000));
            QSignalSpy exit(&app, &Application::exitRequested);
            if (useExit)
                app.menu().mnuExit->trigger();
            else
                app.menu().close();
            EXPECT_EQ(exit.count(), useExit ? 1 : 0);
            EXPECT_EQ(app.state().IsRecording, useExit);
            EXPECT_EQ(app.recorder().clockTimer().isActive(), useExit);
            EXPECT_EQ(app.menu().isVisible(), useExit);
            EXPECT_TRUE(app.helpWindow() && app.helpWindow()->isVisible());
            EXPECT_TRUE(ts.prompt.questions.isEmpty()) << ts.prompt.questions.join(QLatin1Char('\n')).toStdString();
        }
        const WavContents c = readWav(log);
        ASSERT_TRUE(c.opened);
        EXPECT_NEAR(static_cast<double>(c.samples.size()) / c.rate, 1.0, 0.1);
    }
}

// A network share whose server is gone (its mount point never answers) while drive C records: the
// clock's tick keeps coming, the preferences' drive list opens at once, the share is named once,
// and the log on C holds every second fed to it.
TEST(HangingShare, TheClockTicksAndTheRecordingOnCLosesNothing)
{
    TestServices ts;
    const QString archive = ts.makeArchive();
    ts.writeSettings({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 });
    const MountedFileSystem share { QStringLiteral("/mnt/share"), QString() };
    // Shared with the tries, which may outlive the test by a moment.
    const auto hanging = std::make_shared<std::atomic<bool>>(false);
    std::thread letGo;
    SystemVolumes volumes(
        ts.dir.filePath(QStringLiteral("DriveLetters.txt")), &ts.messages, ts.drive(QLatin1Char('C')),
        [&] { return QList<MountedFileSystem> { share }; },
        [hanging, share](const QString& point) {
            while (*hanging && point == share.mountPoint)
                std::this_thread::sleep_for(5ms);
            return true;
        },
        200ms);
    volumes.watch(50ms);
    Services services { ts.clock, volumes, ts.audio, ts.ports, ts.prompt, ts.systemInfo, ts.messages, ts.services.paths,
        ts.events, ts.clockSync };
    {
        Application app(services);
        app.start();
        app.recorder().chain().settle();
        EXPECT_TRUE(app.state().IsRecording);
        // The server goes away while C records. A tick that waited on the share would wait for
        // ever; it is let go after ten seconds, and the test fails instead of hanging.
        *hanging = true;
        letGo = std::thread([&] {
            for (int i = 0; i < 1000 && *hanging; ++i)
                std::this_thread::sleep_for(10ms);
            *hanging = false;
        });
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QObject::connect(&app.recorder().clockTimer(), &QTimer::timeout, [&] {
            if (sinceTick.isValid())
                longestGap = std::max(longestGap, sinceTick.restart());
            else
                sinceTick.start();
        });
        for (int i = 0; i < 20; ++i) {
            ts.audio.feed(sineTone(8000, 1000.0, 800));
            if (i == 10)
                app.openPreferences();
            QTest::qWait(100);
        }
        EXPECT_LT(longestGap, 1000);
        app.menu().cmdStop->click();
    }
    *hanging = false;
    letGo.join();
    EXPECT_EQ(ts.messages.shown.filter(QStringLiteral("1042 The drive D (/mnt/share) did not answer")).size(), 1)
        << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
    const WavContents c
        = readWav(archive + QStringLiteral("/") + QDir(archive).entryList({ QStringLiteral("L*.wav") }).value(0));
    ASSERT_TRUE(c.opened);
    EXPECT_NEAR(static_cast<double>(c.samples.size()) / c.rate, 2.0, 0.05);
}

// After Record, the preferences opened and closed without Apply (reading StartOnLoad 1 from the
// file again) leave the recorder as Record made it: the midnight roll-over that finds the new
// day's log in place asks before replacing it.
TEST(Preferences, OpenedWithoutApplyLeaveTheRecorderAsRecordMadeIt)
{
    TestServices ts;
    const QString archive = ts.makeArchive();
    ts.writeSettings({ 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1 });
    ts.clock.current = QDateTime(QDate(2026, 12, 6), QTime(23, 59, 57));
    Application app(ts.services);
    app.start();
    app.recorder().chain().settle();
    app.recorder().clockTimer().stop();
    app.menu().cmdStop->click();
    app.recorder().chain().settle();
    app.menu().cmdRecord->click();
    app.recorder().chain().settle();
    app.openPreferences();
    app.preferencesWindow()->close();
    ASSERT_EQ(app.settings().StartOnLoad, 1);
    QFile next(archive + QStringLiteral("/L120726.wav"));
    ASSERT_TRUE(next.open(QIODevice::WriteOnly));
    ts.prompt.questions.clear();
    for (int i = 0; i < 40; ++i) {
        ts.clock.advanceMs(100);
        app.recorder().tick();
    }
    EXPECT_EQ(ts.prompt.questions,
        QStringList {
            QStringLiteral("Wendmoor|Overwrite Existing File--> ") + archive + QStringLiteral("/L120726.wav?") });
    app.menu().cmdStop->click();
}

// VOX, threshold 1000, stop delay 2 s, format 1 (8000 Hz 16 bit, the input at the format's rate),
// with the start/pause control wired as the program wires it, run by hand in 100 ms steps: the
// clock moves, the sound card delivers what it captured, then the clock ticks.
TEST(StartPauseEndToEnd, VoxCutsLongSilenceDownToTheStopDelay)
{
    TestServices ts;
    ts.makeArchive();
    ts.writeSettings({ 0, 0, 1, 0, 0, 1, 1000, 2, 0, 0, 1 });
    ts.clock.current = QDateTime(QDate(2026, 12, 6), QTime(13, 0, 0));
    Application app(ts.services);
    app.start();
    app.recorder().chain().settle();
    app.recorder().clockTimer().stop();
    ASSERT_TRUE(app.state().IsRecording);
    std::size_t frame = 0;
    // `seconds` of input: a tone when `loud`, a murmur far below the threshold otherwise.
    const auto play = [&](bool loud, int seconds) {
        for (int i = 0; i < seconds * 10; ++i, frame += 800) {
            ts.clock.advanceMs(100);
            ts.audio.feed(sineTone(8000, 1000.0, 800, loud ? 12000.0 : 20.0, frame));
            app.recorder().chain().pump();
            app.recorder().tick();
        }
    };

    play(true, 2);
    play(false, 6);
    EXPECT_TRUE(app.state().InStandby);
    EXPECT_EQ(app.menu().cmdRecord->text(), QStringLiteral("Standby"));
    play(true, 2);
    EXPECT_FALSE(app.state().InStandby);
    EXPECT_EQ(app.menu().cmdRecord->text(), QStringLiteral("Recording"));
    app.menu().cmdStop->click();
    app.recorder().chain().settle();

    // Tone, 2 s of quiet (the stop delay: from 2.1 s until the pause at 4.0 s), tone from the
    // resuming buffer at 8.1 s on: the pause cut the rest of the quiet.
    const WavContents c = readWav(app.state().CurrentLogPath);
    ASSERT_TRUE(c.opened);
    ASSERT_NEAR(c.samples.size() / 8000.0, 6.0, 0.15);
    const auto part = [&c](double from, double to) {
        return rms(std::vector<std::int16_t>(
            c.samples.begin() + std::lround(from * 8000), c.samples.begin() + std::lround(to * 8000)));
    };
    EXPECT_GT(part(0.2, 1.8), 5000.0) << "first tone missing";
    EXPECT_LT(part(2.2, 3.8), 100.0) << "the stop delay's quiet is not quiet";
    EXPECT_GT(part(4.2, 5.8), 5000.0) << "second tone missing";
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}

// A negative threshold makes every buffer activity: with stop delay 0 (the shortest) and an input
// of near silence, the recording never pauses and the log holds all of it.
TEST(StartPauseEndToEnd, NegativeThresholdRecordsEverythingAndNeverPauses)
{
    TestServices ts;
    ts.makeArchive();
    ts.writeSettings({ 0, 0, 1, 0, 0, 1, -99, 0, 0, 0, 1 });
    ts.clock.current = QDateTime(QDate(2026, 12, 6), QTime(13, 0, 0));
    Application app(ts.services);
    app.start();
    app.recorder().chain().settle();
    app.recorder().clockTimer().stop();
    bool paused = false;
    for (std::size_t frame = 0; frame < 5 * 8000; frame += 800) {
        ts.clock.advanceMs(100);
        ts.audio.feed(std::vector<std::int16_t>(800, 0));
        app.recorder().chain().pump();
        app.recorder().tick();
        paused = paused || app.state().InStandby;
    }
    EXPECT_FALSE(paused);
    app.menu().cmdStop->click();
    app.recorder().chain().settle();
    EXPECT_NEAR(readWav(app.state().CurrentLogPath).samples.size() / 8000.0, 5.0, 0.15);
}

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

// A disk that stops answering in the middle of a write holds the recording thread: the clock
// keeps ticking, but the pings stop until the write returns.
class StuckDisk final : public FileBackedDisk {
public:
    using FileBackedDisk::FileBackedDisk;
    std::int64_t write(const void* data, std::int64_t bytes) override
    {
        while (stuck)
            std::this_thread::sleep_for(5ms);
        return m_file.write(data, bytes);
    }
    static inline std::atomic<bool> stuck { false };
};

TEST(Watchdog, StopsWhileTheRecordingThreadIsStuckInAWrite)
{
    TestServices ts;
    ts.makeArchive();
    ts.writeSettings({ 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0 });
    Application app(ts.services);
    app.start();
    app.recorder().chain().settle();
    app.recorder().chain().withStages([](WaveInput&, WaveFileWriter& writer) {
        writer.setSinkFactory([](const QString& p) { return std::make_unique<StuckDisk>(p); });
    });
    app.menu().cmdRecord->click();
    app.recorder().chain().settle();
    ASSERT_TRUE(app.state().IsRecording);
    CountingNotifier notifier;
    Watchdog watchdog(notifier, app.recorder().clockTimer(), [&app] { return app.recorder().chain().heartbeat(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.pings >= 2; }, 3000));

    StuckDisk::stuck = true;
    ts.audio.feed(sineTone(8000, 1000.0, 800));
    QTest::qWait(300); // the drain takes the audio and sticks in its write
    const int before = notifier.pings;
    QSignalSpy ticks(&app.recorder().clockTimer(), &QTimer::timeout);
    QTest::qWait(500);
    EXPECT_GE(ticks.size(), 3);
    EXPECT_EQ(notifier.pings, before);
    StuckDisk::stuck = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return notifier.pings > before; }, 3000));
    app.menu().cmdStop->click();
}

// The close box ends the clock and the recording thread with the main window while the help
// window stays open: the pings go on, so that the service manager does not restart a program
// the operator is still using.
TEST(Watchdog, GoesOnPingingAfterTheCloseBoxWhileAnotherWindowStaysOpen)
{
    TestServices ts;
    ts.makeArchive();
    ts.writeSettings({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 });
    Application app(ts.services);
    app.start();
    app.openHelp();
    CountingNotifier notifier;
    Watchdog watchdog(notifier, app.recorder().clockTimer(), [&app] { return app.recorder().chain().heartbeat(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.pings >= 2; }, 3000));
    app.menu().close();
    ASSERT_FALSE(app.recorder().clockTimer().isActive());
    const int before = notifier.pings;
    EXPECT_TRUE(QTest::qWaitFor([&] { return notifier.pings >= before + 3; }, 3000));
}

TEST(DiskWatch, WarnsOnceADayWhileTheDriveFillsWithinThreeDays)
{
    TestServices t;
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
    watch.finish();
    ASSERT_EQ(t.messages.shown.size(), 1);
    EXPECT_TRUE(t.messages.shown[0].startsWith(QStringLiteral("61 Drive C "))) << t.messages.shown[0].toStdString();
    t.clock.advanceMs(3'600'000);
    watch.check();
    watch.finish();
    EXPECT_EQ(t.messages.shown.size(), 1) << "once a day";

    t.clock.advanceMs(24 * 3'600'000);
    free = 3 * 140'400'000;
    watch.check();
    watch.finish();
    EXPECT_EQ(t.messages.shown.size(), 1) << "three days of room is no warning";
    t.clock.advanceMs(11 * 60'000);
    free = 140'400'000;
    watch.check();
    watch.finish();
    EXPECT_EQ(t.messages.shown.size(), 2) << "the next day warns again";
}

// A drive that stalls while it is measured holds the disk watch's thread, not the tick: check()
// returns at once, a second one meanwhile measures nothing more, and the forecast comes when the
// drive answers.
TEST(DiskWatch, ADriveThatStallsWhileMeasuredDoesNotHoldTheTick)
{
    TestServices t;
    Settings settings;
    settings.LogDrive = QLatin1Char('C');
    settings.RecordFormat = 6;
    settings.DaysToKeep = 0;
    QTimer tick;
    std::atomic<bool> stalled { true };
    std::atomic<int> measured { 0 };
    DiskWatch watch(t.services, settings, tick, [&](const QString&, const QString&) {
        ++measured;
        while (stalled)
            std::this_thread::sleep_for(5ms);
        return std::optional<DriveSpace>(DriveSpace { 140'400'000, 0 });
    });
    QSignalSpy forecasts(&watch, &DiskWatch::forecastMade);
    // A tick that waited on the drive would wait for ever; it is let go after ten seconds, and
    // the test fails instead of hanging.
    std::thread letGo([&] {
        for (int i = 0; i < 1000 && stalled; ++i)
            std::this_thread::sleep_for(10ms);
        stalled = false;
    });
    watch.check();
    EXPECT_TRUE(QTest::qWaitFor([&] { return measured == 1; }, 5000));
    t.clock.advanceMs(11 * 60'000);
    watch.check();
    QTest::qWait(50);
    EXPECT_EQ(measured, 1);
    EXPECT_EQ(forecasts.size(), 0);
    stalled = false;
    letGo.join();
    watch.finish();
    EXPECT_EQ(forecasts.size(), 1);
    EXPECT_EQ(t.messages.shown.size(), 1);
}

// The Alarms page, reached from My Preferences, saves what it shows into alarms.ini and the
// running alarms take it at once (a dead-air time of 1 s raises within 1.5 s of silence); "Send a
// test alarm" runs the command of the page as shown, before it is saved.
TEST(Application, AlarmsPageSavesAlarmsIniThatTheRunningAlarmsTakeAndSendsATest)
{
    TestServices ts;
    ts.makeArchive();
    Application app(ts.services);
    app.start();
    app.openPreferences();
    app.preferencesWindow()->cmdAlarms->click();
    frmAlarms* page = app.alarmsWindow();
    ASSERT_TRUE(page && page->isVisible());

    const QString marker = ts.dir.filePath(QStringLiteral("test-alarm.txt"));
    page->txtCommand->setText(QStringLiteral("echo \"$WENDMOOR_ALARM $WENDMOOR_ALARM_STATE\" > '%1'").arg(marker));
    page->cmdTest->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(marker); }, 5000));
    QFile written(marker);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "test said\n");
    EXPECT_FALSE(QFile::exists(ts.services.paths.alarmsFile)) << "the test saved the page";

    page->spnSeconds->setValue(1);
    page->cmdSave->click();
    EXPECT_EQ(readAlarmSettings(ts.services.paths.alarmsFile).settings.command, page->txtCommand->text());
    qint64 steady = 0;
    app.alarms().setSteadyClock([&] { return steady += 100; });
    for (int i = 0; i < 15; ++i)
        app.alarms().level(0);
    EXPECT_TRUE(app.alarms().stands(AlarmKind::DeadAir));
}

// The status file the "now" page reads: whole at every moment (a reader beside the writer never
// sees half of it) and holding what the page shows, while recording and after a disk that fills.
TEST(StatusFile, IsAlwaysWholeAndSaysWhatTheRecorderDoesAlsoAfterAFailure)
{
    RecorderFixture f(5);
    std::atomic<std::int64_t> room { std::int64_t { 1 } << 40 };
    f.recorder->chain().withStages([&room](WaveInput&, WaveFileWriter& writer) {
        writer.setSinkFactory([&room](const QString& p) { return std::make_unique<FillingDisk>(p, room); });
    });
    const QString path = f.ts.dir.filePath(QStringLiteral("status.json"));
    StatusFile status(f.ts.services, f.state, *f.recorder, path);
    f.at(12, 0, 0);
    f.recorder->record();
    std::atomic<bool> done { false };
    std::atomic<int> reads { 0 };
    std::atomic<int> broken { 0 };
    std::thread reader([&] {
        while (!done) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            ++reads;
            if (!QJsonDocument::fromJson(file.readAll()).isObject())
                ++broken;
        }
    });
    // Written on the file's own thread: asked again until the file holds this moment.
    const auto writtenNow = [&] {
        const double now = double(f.ts.clock.current.toMSecsSinceEpoch());
        QJsonObject object;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                status.write();
                QFile file(path);
                object
                    = file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
                return object[QStringLiteral("writtenUtc")].toDouble() == now;
            },
            5000));
        return object;
    };
    for (int i = 0; i < 100; ++i) {
        f.run(100);
        status.write();
    }
    const QJsonObject recording = writtenNow();
    const QString log = QFileInfo(f.state.CurrentLogPath).fileName();
    room = 0;
    f.run(1'000);
    const QJsonObject failed = writtenNow();
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(broken.load(), 0) << "of " << reads.load() << " reads";

    EXPECT_TRUE(recording[QStringLiteral("recording")].toBool());
    EXPECT_EQ(recording[QStringLiteral("log")].toString(), log);
    EXPECT_FALSE(recording[QStringLiteral("lastWrite")].toString().isEmpty());
    EXPECT_GT(recording[QStringLiteral("level")].toDouble(), 0.5) << "the counting signal is loud";
    // The failure is the last message, with its number and the log's name.
    const QJsonArray messages = failed[QStringLiteral("messages")].toArray();
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.last().toString().contains(log)) << messages.last().toString().toStdString();
    EXPECT_EQ(QDir(f.ts.dir.path()).entryList({ QStringLiteral("status.json*") }, QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("status.json") });
}
