#include "media/PortAudioSystem.h"
#include "media/WaveFileWriter.h"
#include "media/WaveInput.h"
#include "recorder/Menu.h"

#include "../media/WavChecks.h"
#include "TestServices.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// The main window recording format 1 (8000 Hz 16 bit) from the virtual sound card, with the real
// clock timers running and the fake clock following the real one from the first sample on.
class SoundCardRecorder : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("WENDMOOR_DEVICE_TESTS"))
            GTEST_SKIP() << "set WENDMOOR_DEVICE_TESTS to record from the virtual sound card";
        ASSERT_TRUE(audio.initError().isEmpty()) << audio.initError().toStdString();
        settings.LogDrive = QLatin1Char('C');
        settings.RecordFormat = 1;
        settings.RecordDevice = static_cast<std::int16_t>(audio.inputDeviceNames().indexOf(QStringLiteral("pulse")));
        ASSERT_GE(settings.RecordDevice, 0);
        menu = std::make_unique<Menu>(services, settings, state);
        // Buffers arrive on the recording thread. The first one's audio was captured before it
        // arrived (a quarter of a second at this rate): the recording began at its first sample.
        QObject::connect(
            &menu->WaveIn(), &WaveInput::bufferFilled, &menu->WaveIn(),
            [this](std::span<const std::int16_t> b) {
                qint64 none = -1;
                firstAt.compare_exchange_strong(none, clock.elapsed() - static_cast<qint64>(b.size()) * 1000 / 8000);
                delivered += b.size();
            },
            Qt::DirectConnection);
        clock.start();
    }

    void record(const QDateTime& start)
    {
        base = start;
        ts.clock.current = base;
        menu->cmdRecord->click();
        ASSERT_TRUE(state.IsRecording);
        waitUntil([this] { return delivered > 0; }, 5000);
        ASSERT_GT(delivered.load(), 0u) << "the sound card delivered nothing";
    }
    // Runs the event loop until `done` or `ms` have passed; the fake clock follows the real one.
    template <typename Done> void waitUntil(Done done, qint64 ms)
    {
        QElapsedTimer wait;
        wait.start();
        while (!done() && wait.elapsed() < ms) {
            if (firstAt >= 0)
                ts.clock.current = base.addMSecs(sinceFirst());
            QTest::qWait(10);
        }
    }
    qint64 sinceFirst() const { return clock.elapsed() - firstAt.load(); }
    std::size_t samples(const QString& name) const { return readWav(archive + QLatin1Char('/') + name).samples.size(); }
    bool said(const QString& text) const { return ts.messages.shown.join(QLatin1Char('\n')).contains(text); }

    TestServices ts;
    QString archive = ts.makeArchive();
    PortAudioSystem audio;
    Services services { ts.clock, ts.volumes, audio, ts.ports, ts.prompt, ts.systemInfo, ts.messages, ts.services.paths,
        ts.events };
    Settings settings;
    RecorderState state;
    std::unique_ptr<Menu> menu;
    QDateTime base;
    std::atomic<std::size_t> delivered { 0 };
    std::atomic<qint64> firstAt { -1 };
    QElapsedTimer clock;
};

// Recorded across midnight: the day's two files together hold as much audio as the time recorded.
TEST_F(SoundCardRecorder, TwoFilesAcrossMidnightAreAsLongAsTheTimeRecorded)
{
    record(QDateTime(QDate(2026, 12, 6), QTime(23, 59, 58)));
    waitUntil([] { return false; }, 5000);
    menu->cmdStop->click();
    const double recorded = sinceFirst() / 1000.0;

    const std::size_t day1 = samples(QStringLiteral("L120626.wav"));
    const std::size_t day2 = samples(QStringLiteral("L120726.wav"));
    EXPECT_NEAR(day1 / 8000.0, 3.0, 0.3);
    // Every sample the card delivered is in one of the two files: the roll-over lost nothing.
    EXPECT_EQ(day1 + day2, delivered.load());
    // And the card delivered the time recorded, give or take one of its buffers still on its way
    // at the final stop.
    EXPECT_NEAR((day1 + day2) / 8000.0, recorded, 0.3) << "day 1: " << day1 << " day 2: " << day2;
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}

// The sound server killed while recording and started again: the recorder says what is missing,
// records again within 10 s of its return, and the time it was gone is silence in the log.
TEST_F(SoundCardRecorder, SoundServerRestartedWhileRecording)
{
    record(QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0)));
    waitUntil([] { return false; }, 2000);
    ASSERT_EQ(QProcess::execute(QStringLiteral("pulseaudio"), { QStringLiteral("-k") }), 0);
    waitUntil([] { return false; }, 5000);
    EXPECT_TRUE(said(QStringLiteral("\"pulse\" stopped delivering"))) << ts.messages.shown.join(' ').toStdString();
    const int restarted = QProcess::execute(QStringLiteral(WENDMOOR_VIRTUAL_SOUND));
    ASSERT_EQ(restarted, 0) << "the virtual sound card did not start again; later device tests will fail";
    QElapsedTimer back;
    back.start();
    waitUntil([this] { return said(QStringLiteral("\"pulse\" delivers audio again")); }, 10'000);
    EXPECT_LT(back.elapsed(), 10'000) << "nothing recorded within 10 s of the sound server's return";
    waitUntil([] { return false; }, 2000);
    menu->cmdStop->click();

    EXPECT_NEAR(samples(QStringLiteral("L120626.wav")) / 8000.0, sinceFirst() / 1000.0, 0.5);
}

} // namespace
