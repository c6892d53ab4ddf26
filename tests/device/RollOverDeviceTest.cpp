#include "media/PortAudioSystem.h"
#include "media/WaveFileWriter.h"
#include "media/WaveInput.h"
#include "recorder/Menu.h"

#include "../media/WavChecks.h"
#include "TestServices.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

using namespace wendmoor;
using namespace wendmoor::test;

// Records the virtual sound card across midnight with the real clock timers running: the day's
// two files together hold as much audio as the time recorded.
TEST(RollOverOnSoundCard, TwoFilesTogetherAreAsLongAsTheTimeRecorded)
{
    if (qEnvironmentVariableIsEmpty("WENDMOOR_DEVICE_TESTS"))
        GTEST_SKIP() << "set WENDMOOR_DEVICE_TESTS to record from the virtual sound card";
    TestServices ts;
    const QString archive = ts.makeArchive();
    PortAudioSystem audio;
    ASSERT_TRUE(audio.initError().isEmpty()) << audio.initError().toStdString();
    Services services { ts.clock, ts.volumes, audio, ts.ports, ts.prompt, ts.systemInfo, ts.messages, ts.services.paths,
        ts.events };

    Settings settings;
    settings.LogDrive = QLatin1Char('C');
    settings.RecordFormat = 1; // 8000 Hz 16 bit
    settings.RecordDevice = static_cast<std::int16_t>(audio.inputDeviceNames().indexOf(QStringLiteral("pulse")));
    ASSERT_GE(settings.RecordDevice, 0);
    RecorderState state;
    Menu menu(services, settings, state);

    const QDateTime base(QDate(2026, 12, 6), QTime(23, 59, 58));
    ts.clock.current = base;
    // Buffers arrive on the recording thread.
    std::atomic<std::size_t> delivered { 0 };
    std::atomic<qint64> firstAt { -1 };
    QElapsedTimer clock;
    clock.start();
    QObject::connect(
        &menu.WaveIn(), &WaveInput::bufferFilled, &menu.WaveIn(),
        [&](std::span<const std::int16_t> b) {
            // The first buffer's audio was captured before it arrived (a quarter of a second
            // at this rate): the recording began when its first sample was taken.
            qint64 none = -1;
            firstAt.compare_exchange_strong(none, clock.elapsed() - static_cast<qint64>(b.size()) * 1000 / 8000);
            delivered += b.size();
        },
        Qt::DirectConnection);
    const auto sinceFirst = [&] { return clock.elapsed() - firstAt.load(); };
    menu.cmdRecord->click();
    ASSERT_TRUE(state.IsRecording);
    QElapsedTimer wait;
    wait.start();
    while (delivered == 0 && wait.elapsed() < 5000)
        QTest::qWait(5);
    ASSERT_GT(delivered.load(), 0u) << "the sound card delivered nothing";

    // The fake clock follows the real one from the first buffer on; the real timers tick.
    while (sinceFirst() < 5000) {
        ts.clock.current = base.addMSecs(sinceFirst());
        QTest::qWait(10);
    }
    menu.cmdStop->click();
    const double recorded = sinceFirst() / 1000.0;

    const WavContents day1 = readWav(archive + QStringLiteral("/L120626.wav"));
    const WavContents day2 = readWav(archive + QStringLiteral("/L120726.wav"));
    ASSERT_TRUE(day1.opened);
    ASSERT_TRUE(day2.opened);
    const double inFiles = static_cast<double>(day1.samples.size() + day2.samples.size()) / 8000.0;
    EXPECT_NEAR(day1.samples.size() / 8000.0, 3.0, 0.3);
    // Every sample the card delivered is in one of the two files: the roll-over lost nothing.
    EXPECT_EQ(day1.samples.size() + day2.samples.size(), delivered.load());
    // And the card delivered the time recorded, give or take one of its buffers (a quarter of a
    // second at this rate) still on its way at the final stop.
    EXPECT_NEAR(inFiles, recorded, 0.3) << "day 1: " << day1.samples.size() << " day 2: " << day2.samples.size();
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}
