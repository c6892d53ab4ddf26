#include "app/Application.h"
#include "app/DiskWatch.h"
#include "app/Watchdog.h"
#include "mainwindow/Menu.h"
#include "platform/ServiceNotifier.h"

#include "../media/WavChecks.h"
#include "TestServices.h"

#include <QAction>
#include <QCoreApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

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

// The close box and Exit end the whole program (no clock left running behind other windows);
// while recording they first ask, and only Yes ends it.
TEST(Closing, CloseBoxAndExitEndTheProgramAskingFirstWhileRecording)
{
    // Recording when there is an answer to give; the answer decides.
    const std::tuple<const char*, bool, std::deque<bool>> cases[] = {
        { "close box, not recording", false, {} },
        { "Exit, not recording", true, {} },
        { "close box while recording, No", false, { false } },
        { "Exit while recording, Yes", true, { true } },
    };
    for (const auto& [what, useExit, answers] : cases) {
        SCOPED_TRACE(what);
        const bool recording = !answers.empty();
        const bool ends = !recording || answers.front();
        TestServices ts;
        ts.makeArchive();
        ts.writeSettings({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<qint16>(recording ? 1 : 0) });
        Application app(ts.services);
        app.start();
        app.openHelp();
        ASSERT_EQ(app.state().IsRecording, recording);
        QSignalSpy exit(&app, &Application::exitRequested);
        ts.prompt.answers = answers;
        if (useExit)
            app.menu().mnuExit->trigger();
        else
            app.menu().close();
        EXPECT_EQ(exit.count(), ends ? 1 : 0);
        EXPECT_EQ(app.menu().isVisible(), !ends);
        EXPECT_EQ(app.state().IsRecording, recording && !ends);
        EXPECT_EQ(ts.prompt.questions,
            recording ? QStringList { QStringLiteral("Wendmoor|Stop recording and close Wendmoor?") } : QStringList {});
    }
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
