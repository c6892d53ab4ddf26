#include "media/PortAudioSystem.h"
#include "playback/frmPlay.h"

#include "TestServices.h"
#include "TestWavFiles.h"

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
constexpr int kSeconds = 20;

// Second k of the test log is a tone of its own frequency, so that what was heard tells which
// seconds of the file were played, and in which order.
double toneOf(int second)
{
    return 300.0 + 150.0 * second;
}

std::int16_t toneSample(std::int64_t frame, int)
{
    const int second = static_cast<int>(frame / kRate);
    return static_cast<std::int16_t>(8000.0 * std::sin(2.0 * std::numbers::pi * toneOf(second) * frame / kRate));
}

double goertzelPower(const std::int16_t* x, int n, double freq)
{
    const double coeff = 2.0 * std::cos(2.0 * std::numbers::pi * freq / kRate);
    double s1 = 0, s2 = 0;
    for (int i = 0; i < n; ++i) {
        const double s0 = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

// The tones heard, in order: each window's strongest tone, runs shorter than a few windows
// (the edges between tones, the start and end of playback) left out.
std::vector<int> tonesHeard(const std::vector<std::int16_t>& audio)
{
    constexpr int kWindow = 1024;
    constexpr int kMinRun = 6;
    std::vector<int> perWindow;
    for (std::size_t at = 0; at + kWindow <= audio.size(); at += kWindow / 2) {
        double energy = 0;
        for (int i = 0; i < kWindow; ++i)
            energy += double(audio[at + static_cast<std::size_t>(i)]) * audio[at + static_cast<std::size_t>(i)];
        if (std::sqrt(energy / kWindow) < 1000) {
            perWindow.push_back(-1);
            continue;
        }
        int best = -1;
        double bestPower = 0;
        for (int k = 0; k < kSeconds; ++k) {
            const double p = goertzelPower(audio.data() + at, kWindow, toneOf(k));
            if (p > bestPower) {
                bestPower = p;
                best = k;
            }
        }
        perWindow.push_back(best);
    }
    std::vector<int> tones;
    for (std::size_t i = 0; i < perWindow.size();) {
        std::size_t j = i;
        while (j < perWindow.size() && perWindow[j] == perWindow[i])
            ++j;
        if (perWindow[i] >= 0 && j - i >= kMinRun && (tones.empty() || tones.back() != perWindow[i]))
            tones.push_back(perWindow[i]);
        i = j;
    }
    return tones;
}

TEST(PlaybackDevice, LastFiveSecondsButtonPlaysTheEndOfTheLogToTheSoundCard)
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

    const QString archive = t.makeArchive();
    ASSERT_TRUE(
        writeWav(archive + QStringLiteral("/L120403.wav"), kRate, 1, std::int64_t { kRate } * kSeconds, toneSample));

    const QString sink = qEnvironmentVariable("WENDMOOR_SINK", QStringLiteral("wendmoor_sink"));
    const QString recording = t.dir.path() + QStringLiteral("/heard.raw");
    QProcess recorder;
    recorder.start(QStringLiteral("parecord"),
        { QStringLiteral("-d"), sink + QStringLiteral(".monitor"), QStringLiteral("--raw"),
            QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=1"), QStringLiteral("--format=s16le"),
            recording });
    ASSERT_TRUE(recorder.waitForStarted(5000)) << "parecord did not start";
    QTest::qWait(500);

    Services services { t.clock, t.volumes, audio, t.ports, t.prompt, t.systemInfo, t.messages, t.services.paths, t.events };
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
    EXPECT_EQ(tonesHeard(heard), (std::vector<int> { 15, 16, 17, 18, 19 }));
    EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(QLatin1Char('\n')).toStdString();
}

} // namespace
} // namespace wendmoor::test
