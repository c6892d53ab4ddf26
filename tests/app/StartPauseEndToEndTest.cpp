#include "app/Application.h"
#include "media/WaveInput.h"
#include "platform/LinuxPortInput.h"
#include "recorder/Menu.h"

#include "../media/WavChecks.h"
#include "TestServices.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

constexpr int InputRate = 8000; // format 1: the input runs at the format's rate
constexpr int StepMs = 100;
constexpr std::size_t StepFrames = InputRate / 10;

// The recorder with the start/pause control wired as the program wires it, run by hand in 100 ms
// steps: the clock moves, the sound card delivers what it captured, then the clock ticks.
class Recorder {
public:
    explicit Recorder(TestServices& ts, Services& services)
        : m_ts(ts)
        , m_app(services)
    {
        ts.clock.current = QDateTime(QDate(2026, 12, 6), QTime(13, 0, 0));
        m_app.start();
        m_app.menu().TmrClock->stop();
    }

    Application& app() { return m_app; }

    // `seconds` of input, a tone when `loud`, a murmur far below the threshold otherwise; `before`
    // runs at the start of every step.
    template <typename Step> void play(bool loud, int seconds, Step before)
    {
        for (int i = 0; i < seconds * 1000 / StepMs; ++i) {
            before();
            m_ts.clock.advanceMs(StepMs);
            m_ts.audio.feed(sineTone(InputRate, 1000.0, StepFrames, loud ? 12000.0 : 20.0, m_frame));
            m_frame += StepFrames;
            m_app.menu().chain().pump();
            m_app.menu().TmrClock_Timer();
        }
    }
    void play(bool loud, int seconds)
    {
        play(loud, seconds, [] {});
    }

    WavContents stop()
    {
        m_app.menu().cmdStop->click();
        return readWav(m_app.state().CurrentLogPath);
    }

private:
    TestServices& m_ts;
    Application m_app;
    std::size_t m_frame = 0;
};

// The root mean square of the file between two times.
double rms(const WavContents& c, double from, double to)
{
    const auto a = static_cast<std::size_t>(from * c.rate);
    const auto b = std::min(static_cast<std::size_t>(to * c.rate), c.samples.size());
    if (b <= a)
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = a; i < b; ++i)
        sum += static_cast<double>(c.samples[i]) * c.samples[i];
    return std::sqrt(sum / static_cast<double>(b - a));
}

// Tone, ~2 s of quiet (the stop delay), tone: the pause cut the rest of the quiet.
void expectToneGapTone(const WavContents& c, double expectedSeconds)
{
    ASSERT_TRUE(c.opened);
    EXPECT_EQ(c.rate, 8000);
    const double seconds = static_cast<double>(c.samples.size()) / c.rate;
    EXPECT_NEAR(seconds, expectedSeconds, 0.15);
    EXPECT_GT(rms(c, 0.2, 1.8), 5000.0) << "first tone missing";
    EXPECT_LT(rms(c, 2.2, 3.8), 100.0) << "the stop delay's quiet is not quiet";
    EXPECT_GT(rms(c, seconds - 1.8, seconds - 0.2), 5000.0) << "second tone missing";
}

} // namespace

// VOX, threshold 1000, stop delay 2 s, format 1 (8000 Hz 16 bit, resampled from the input).
TEST(StartPauseEndToEnd, VoxCutsLongSilenceDownToTheStopDelay)
{
    TestServices ts;
    ts.makeArchive();
    ts.writeSettings({ 0, 0, 1, 0, 0, 1, 1000, 2, 0, 0, 1 });
    Recorder r(ts, ts.services);
    ASSERT_TRUE(r.app().state().IsRecording);

    r.play(true, 2);
    r.play(false, 6);
    EXPECT_TRUE(r.app().state().InStandby);
    EXPECT_EQ(r.app().menu().cmdRecord->text(), QStringLiteral("Standby"));
    r.play(true, 2);
    EXPECT_FALSE(r.app().state().InStandby);
    EXPECT_EQ(r.app().menu().cmdRecord->text(), QStringLiteral("Recording"));
    // Quiet from 2.1 s until the pause at 4.0 s is kept; the resuming buffer at 8.1 s is written.
    expectToneGapTone(r.stop(), 6.0);
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}
