#include "media/PortAudioSystem.h"
#include "playback/frmPlay.h"

#include "RecordedLog.h"
#include "TestServices.h"

#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace wendmoor::test {
namespace {

constexpr int kRate = 22050;

// "5" on a GSM 6.10 log the recorder's chain wrote (15 s at 400 Hz, then 5 s at 1000 Hz) is
// heard on the sound card for five seconds at 1000 Hz.
TEST(PlaybackDevice, LastFiveSecondsOfAGsmLogReachTheSoundCard)
{
    if (qEnvironmentVariableIsEmpty("WENDMOOR_DEVICE_TESTS"))
        GTEST_SKIP() << "WENDMOOR_DEVICE_TESTS is not set";
    TestServices t;
    PortAudioSystem audio;
    ASSERT_TRUE(audio.initError().isEmpty()) << audio.initError().toStdString();
    const QStringList outputs = audio.outputDeviceNames();
    int device = static_cast<int>(outputs.indexOf(QStringLiteral("pulse")));
    if (device < 0)
        device = static_cast<int>(outputs.indexOf(QStringLiteral("default")));
    ASSERT_GE(device, 0) << outputs.join(QStringLiteral(", ")).toStdString();

    recordLog(
        t.makeArchive() + QStringLiteral("/L120403.wav"), WaveFormat::gsm610(kRate), 20,
        [](std::int64_t frame) {
            const double hz = frame < 15 * kRate ? 400 : 1000;
            return std::int16_t(8000 * std::sin(2 * std::numbers::pi * hz * double(frame) / kRate));
        },
        t.messages);

    const QString sink = qEnvironmentVariable("WENDMOOR_SINK", QStringLiteral("wendmoor_sink"));
    const QString recording = t.dir.path() + QStringLiteral("/heard.raw");
    QProcess recorder;
    recorder.start(QStringLiteral("parecord"),
        { QStringLiteral("-d"), sink + QStringLiteral(".monitor"), QStringLiteral("--raw"),
            QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=1"), QStringLiteral("--format=s16le"),
            recording });
    ASSERT_TRUE(recorder.waitForStarted(5000)) << "parecord did not start";
    QTest::qWait(500);

    Services services { t.clock, t.volumes, audio, t.ports, t.prompt, t.systemInfo, t.messages, t.services.paths,
        t.events };
    Settings settings;
    settings.LogDrive = QLatin1Char('C');
    settings.PlayDevice = static_cast<std::int16_t>(device);
    PlaybackMemory memory;
    {
        frmPlay window(services, settings, memory);
        window.cmdEnd[1]->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return memory.IsPlaying; }, 3000))
            << t.messages.shown.join(QLatin1Char('\n')).toStdString();
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
    // The loud stretches of 10 ms and the zero crossings in them.
    constexpr std::size_t kWindow = kRate / 100;
    int loud = 0;
    int crossings = 0;
    for (std::size_t at = 0; at + kWindow <= heard.size(); at += kWindow) {
        double energy = 0;
        for (std::size_t i = at; i < at + kWindow; ++i)
            energy += double(heard[i]) * heard[i];
        if (std::sqrt(energy / kWindow) < 2000)
            continue;
        ++loud;
        for (std::size_t i = at + 1; i < at + kWindow; ++i)
            crossings += (heard[i - 1] < 0) != (heard[i] < 0);
    }
    EXPECT_NEAR(loud / 100.0, 5.0, 0.1) << "seconds heard";
    EXPECT_NEAR(crossings / 2.0 / (loud / 100.0), 1000.0, 15.0) << "Hz heard";
    EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(QLatin1Char('\n')).toStdString();
}

} // namespace
} // namespace wendmoor::test
