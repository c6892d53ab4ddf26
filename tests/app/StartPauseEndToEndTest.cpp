#include "app/Application.h"
#include "recorder/Menu.h"

#include "../media/WavChecks.h"
#include "TestServices.h"

#include <QPushButton>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

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
    app.menu().TmrClock->stop();
    ASSERT_TRUE(app.state().IsRecording);
    std::size_t frame = 0;
    // `seconds` of input: a tone when `loud`, a murmur far below the threshold otherwise.
    const auto play = [&](bool loud, int seconds) {
        for (int i = 0; i < seconds * 10; ++i, frame += 800) {
            ts.clock.advanceMs(100);
            ts.audio.feed(sineTone(8000, 1000.0, 800, loud ? 12000.0 : 20.0, frame));
            app.menu().chain().pump();
            app.menu().TmrClock_Timer();
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
    EXPECT_EQ(c.rate, 8000);
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
