#include "media/PortAudioSystem.h"
#include "media/WaveInput.h"
#include "playback/frmPlay.h"
#include "recorder/Recorder.h"

#include "../media/WavChecks.h"
#include "RecordedLog.h"
#include "TestServices.h"
#include "TestWavFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>

namespace wendmoor::test {
namespace {

// The program over the virtual sound card (a PulseAudio null sink whose monitor is the default
// input), every other service a fake.
class SoundCard : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("WENDMOOR_DEVICE_TESTS"))
            GTEST_SKIP() << "set WENDMOOR_DEVICE_TESTS to use the virtual sound card";
        audio = std::make_unique<PortAudioSystem>();
        ASSERT_TRUE(audio->initError().isEmpty()) << audio->initError().toStdString();
        services = std::make_unique<Services>(Services { ts.clock, ts.volumes, *audio, ts.ports, ts.prompt,
            ts.systemInfo, ts.messages, ts.services.paths, ts.events, ts.clockSync });
        settings.LogDrive = QLatin1Char('C');
    }
    // The device that is the virtual sound card: "pulse", else "default".
    static std::int16_t card(const QStringList& names)
    {
        const auto pulse = names.indexOf(QStringLiteral("pulse"));
        return static_cast<std::int16_t>(pulse >= 0 ? pulse : names.indexOf(QStringLiteral("default")));
    }

    // The recorder recording format 1 (8000 Hz 16 bit) from the card, the fake clock at
    // `start` and, from the first sample on, following the real one.
    void record(const QDateTime& start)
    {
        settings.RecordFormat = 1;
        settings.RecordDevice = card(audio->inputDeviceNames());
        ASSERT_GE(settings.RecordDevice, 0);
        recorder = std::make_unique<Recorder>(*services, settings, state);
        // Buffers arrive on the recording thread. The first one's audio was captured before it
        // arrived (a quarter of a second at this rate): the recording began at its first sample.
        QObject::connect(
            &recorder->chain().input(), &WaveInput::bufferFilled, &recorder->chain().input(),
            [this](std::span<const std::int16_t> b) {
                qint64 none = -1;
                firstAt.compare_exchange_strong(none, clock.elapsed() - static_cast<qint64>(b.size()) * 1000 / 8000);
                delivered += b.size();
            },
            Qt::DirectConnection);
        clock.start();
        base = start;
        ts.clock.current = base;
        recorder->record();
        recorder->chain().settle();
        ASSERT_TRUE(state.IsRecording);
        // A PulseAudio capture takes a moment (up to a second or two on a busy machine) before
        // its first buffer.
        follow(5000, [this] { return delivered > 0; });
        ASSERT_GT(delivered.load(), 0u) << "the sound card delivered nothing";
    }
    // Runs the real timers until `done` or for `ms`, the fake clock following the real one.
    void follow(
        qint64 ms, const std::function<bool()>& done = [] { return false; })
    {
        QElapsedTimer wait;
        wait.start();
        while (!done() && wait.elapsed() < ms) {
            if (firstAt >= 0)
                ts.clock.current = base.addMSecs(sinceFirst());
            QTest::qWait(10);
        }
    }
    [[nodiscard]] qint64 sinceFirst() const { return clock.elapsed() - firstAt.load(); }
    [[nodiscard]] bool said(const QString& text) const { return shown().contains(text); }
    [[nodiscard]] QString shown() const { return ts.messages.shown.join(QLatin1Char('\n')); }

    TestServices ts;
    QString archive = ts.makeArchive();
    QString sink = qEnvironmentVariable("WENDMOOR_SINK", QStringLiteral("wendmoor_sink"));
    std::unique_ptr<PortAudioSystem> audio;
    std::unique_ptr<Services> services;
    Settings settings;
    RecorderState state;
    std::unique_ptr<Recorder> recorder;
    QDateTime base;
    std::atomic<std::size_t> delivered { 0 };
    std::atomic<qint64> firstAt { -1 };
    QElapsedTimer clock;
};

// Records a 1000 Hz tone played into the sound card across midnight with the real clock timers
// running: the day's two files together hold every sample the card delivered, as much audio as
// the time recorded, and the tone.
TEST_F(SoundCard, RecordingAcrossMidnightKeepsEverySampleAndTheTone)
{
    const QString tone = ts.dir.filePath(QStringLiteral("tone.wav"));
    ASSERT_TRUE(writeWav(tone, 44100, 2, 12 * 44100, [](std::int64_t frame, int) {
        return sineTone(44100, 1000.0, 1, 16000.0, static_cast<std::size_t>(frame))[0];
    }));
    // The tone plays from before the start so that the card runs steadily all along.
    QProcess player;
    player.start(QStringLiteral("paplay"), { QStringLiteral("--device=") + sink, tone });
    ASSERT_TRUE(player.waitForStarted(5000)) << "paplay did not start";
    QTest::qWait(500);
    record(QDateTime(QDate(2026, 12, 6), QTime(23, 59, 58)));
    follow(5000 - sinceFirst());
    recorder->stop();
    const double recorded = sinceFirst() / 1000.0;
    player.kill();
    player.waitForFinished(5000);
    recorder->chain().settle();

    WavContents day1 = readWav(archive + QStringLiteral("/L120626.wav"));
    const WavContents day2 = readWav(archive + QStringLiteral("/L120726.wav"));
    ASSERT_TRUE(day1.opened);
    ASSERT_TRUE(day2.opened);
    EXPECT_NEAR(day1.samples.size() / 8000.0, 3.0, 0.3);
    // Every sample the card delivered is in one of the two files: the roll-over lost nothing.
    EXPECT_EQ(day1.samples.size() + day2.samples.size(), delivered.load());
    // And the card delivered the time recorded, less what it was still capturing at the stop: the
    // buffer being filled (a quarter of a second at this rate) and the sound server's latency.
    std::vector<std::int16_t>& all = day1.samples;
    all.insert(all.end(), day2.samples.begin(), day2.samples.end());
    ASSERT_NEAR(all.size() / 8000.0, recorded - 0.2, 0.3) << "day 2: " << day2.samples.size();
    // The tone played all along: the second before midnight holds it.
    const std::vector<std::int16_t> second(all.begin() + 8000, all.begin() + 16000);
    EXPECT_GT(rms(second), 3000.0) << "the tone did not reach the files";
    EXPECT_NEAR(toneFrequency(second, 8000), 1000.0, 5.0);
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << shown().toStdString();
}

// The sound server killed while recording and started again: the recorder says what is missing,
// records again within 10 s of its return, and the time it was gone is silence in the log.
TEST_F(SoundCard, SoundServerRestartedWhileRecording)
{
    // Started again until it answers, also when the test fails half-way (on a loaded machine
    // the first start can time out): the tests after this one need the card.
    const auto startServer = [] {
        for (int tries = 0; tries < 3; ++tries) {
            if (QProcess::execute(QStringLiteral(WENDMOOR_VIRTUAL_SOUND)) == 0
                && QProcess::execute(QStringLiteral("pactl"), { QStringLiteral("get-default-sink") }) == 0)
                return true;
            QTest::qWait(1000);
        }
        return false;
    };
    const std::unique_ptr<void, std::function<void(void*)>> serverBack(this, [&](void*) { startServer(); });
    record(QDateTime(QDate(2026, 12, 6), QTime(10, 0, 0)));
    follow(2000);
    ASSERT_EQ(QProcess::execute(QStringLiteral("pulseaudio"), { QStringLiteral("-k") }), 0);
    follow(5000);
    EXPECT_TRUE(said(QStringLiteral("\"pulse\" stopped delivering"))) << shown().toStdString();
    ASSERT_TRUE(startServer()) << "the virtual sound card did not start again";
    QElapsedTimer back;
    back.start();
    follow(10'000, [this] { return said(QStringLiteral("\"pulse\" delivers audio again")); });
    EXPECT_LT(back.elapsed(), 10'000) << "nothing recorded within 10 s of the sound server's return";
    follow(2000);
    recorder->stop();
    recorder->chain().settle();
    const double inLog = readWav(archive + QStringLiteral("/L120626.wav")).samples.size() / 8000.0;
    EXPECT_NEAR(inLog, sinceFirst() / 1000.0 - 0.2, 0.45);
}

// "5" on a GSM 6.10 log the recorder's chain wrote (15 s at 400 Hz, then 5 s at 1000 Hz) is
// heard on the sound card for five seconds at 1000 Hz.
TEST_F(SoundCard, LastFiveSecondsOfAGsmLogAreHeard)
{
    constexpr int kRate = 22050;
    recordLog(
        archive + QStringLiteral("/L120403.wav"), WaveFormat::gsm610(kRate), 20,
        [](std::int64_t frame) {
            return sineTone(kRate, frame < 15 * kRate ? 400 : 1000, 1, 8000.0, static_cast<std::size_t>(frame))[0];
        },
        ts.messages);

    const QString recording = ts.dir.filePath(QStringLiteral("heard.raw"));
    QProcess recorder;
    recorder.start(QStringLiteral("parecord"),
        { QStringLiteral("-d"), sink + QStringLiteral(".monitor"), QStringLiteral("--raw"),
            QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=1"), QStringLiteral("--format=s16le"),
            recording });
    ASSERT_TRUE(recorder.waitForStarted(5000)) << "parecord did not start";
    QTest::qWait(500);

    settings.PlayDevice = card(audio->outputDeviceNames());
    ASSERT_GE(settings.PlayDevice, 0) << audio->outputDeviceNames().join(QStringLiteral(", ")).toStdString();
    PlaybackMemory memory;
    {
        frmPlay window(*services, settings, memory);
        window.cmdEnd[1]->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return memory.IsPlaying; }, 3000))
            << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !memory.IsPlaying; }, 10000)) << "the end of the log was not noticed";
        QTest::qWait(700);
    }
    recorder.terminate();
    recorder.waitForFinished(5000);

    QFile f(recording);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    std::vector<std::int16_t> heard(static_cast<std::size_t>(bytes.size()) / 2);
    std::memcpy(heard.data(), bytes.constData(), heard.size() * 2);
    // What is heard: the loud stretches of 10 ms.
    std::vector<std::int16_t> loud;
    for (std::size_t at = 0; at + kRate / 100 <= heard.size(); at += kRate / 100) {
        const std::vector<std::int16_t> window(heard.begin() + static_cast<std::ptrdiff_t>(at),
            heard.begin() + static_cast<std::ptrdiff_t>(at + kRate / 100));
        if (rms(window) >= 2000)
            loud.insert(loud.end(), window.begin(), window.end());
    }
    EXPECT_NEAR(loud.size() / double(kRate), 5.0, 0.1) << "seconds heard";
    EXPECT_NEAR(toneFrequency(loud, kRate), 1000.0, 15.0) << "Hz heard";
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}

} // namespace
} // namespace wendmoor::test
