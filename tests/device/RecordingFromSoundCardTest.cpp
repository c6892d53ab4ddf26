#include "media/FormatConverter.h"
#include "media/PortAudioSystem.h"
#include "media/WaveFileWriter.h"
#include "media/WaveInput.h"

#include "../media/WavChecks.h"
#include "Fakes.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// The input that carries the virtual sound card's monitor: "pulse", else "default".
int monitorInput(AudioSystem& audio)
{
    const QStringList names = audio.inputDeviceNames();
    for (const char* wanted : { "pulse", "default" }) {
        const int i = names.indexOf(QLatin1String(wanted));
        if (i >= 0)
            return i;
    }
    return -1;
}

TEST(RecordingFromSoundCard, ToneFromTheSoundCardEndsUpInTheLogFile)
{
    if (qEnvironmentVariableIsEmpty("WENDMOOR_DEVICE_TESTS"))
        GTEST_SKIP() << "set WENDMOOR_DEVICE_TESTS to record from the virtual sound card";
    QTemporaryDir dir;
    const QString tone = dir.filePath(QStringLiteral("tone.wav"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("sox"),
                  { QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
                      QStringLiteral("2"), tone, QStringLiteral("synth"), QStringLiteral("2"), QStringLiteral("sine"),
                      QStringLiteral("1000"), QStringLiteral("vol"), QStringLiteral("0.5") }),
        0);

    PortAudioSystem audio;
    ASSERT_TRUE(audio.initError().isEmpty()) << audio.initError().toStdString();
    const int device = monitorInput(audio);
    ASSERT_GE(device, 0) << audio.inputDeviceNames().join(QStringLiteral(", ")).toStdString();

    RecordingMessages messages;
    WaveInput input(audio, messages);
    FormatConverter converter;
    WaveFileWriter writer(messages);
    input.setOutput(&converter);
    converter.setOutput(&writer);
    converter.setOutputFormat(WaveFormat::pcm(22050, 16));
    input.setDeviceID(device);
    input.setSampleRate(22050);
    const QString log = dir.filePath(QStringLiteral("L120626.wav"));
    writer.setFileName(log);
    input.open();
    writer.setHeaderRefreshInterval(1000);
    std::size_t delivered = 0;
    QObject::connect(
        &input, &WaveInput::bufferFilled, [&delivered](std::span<const std::int16_t> b) { delivered += b.size(); });
    input.start();
    writer.setEnabled(true);
    // A PulseAudio capture takes a moment (up to a second or two on a busy machine) before its
    // first buffer; the tone is played once the input delivers.
    QElapsedTimer warmUp;
    warmUp.start();
    while (delivered == 0 && warmUp.elapsed() < 5000)
        QTest::qWait(10);
    ASSERT_GT(delivered, 0u) << "the sound input delivered nothing within 5 s";
    const std::size_t before = delivered;

    const QString sink = qEnvironmentVariable("WENDMOOR_SINK", QStringLiteral("wendmoor_sink"));
    QProcess player;
    player.start(QStringLiteral("paplay"), { QStringLiteral("--device=") + sink, tone });
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 4000)
        QTest::qWait(20);
    player.waitForFinished(5000);
    writer.setEnabled(false);
    input.stop();

    const WavContents c = readWav(log);
    ASSERT_TRUE(c.opened);
    EXPECT_EQ(c.rate, 22050);
    EXPECT_GE(c.samples.size() - before, 22050u * 3) << "less audio than time recorded";
    // The loudest second holds the tone.
    std::vector<std::int16_t> best;
    double bestRms = 0.0;
    for (std::size_t from = 0; from + 22050 <= c.samples.size(); from += 2205) {
        std::vector<std::int16_t> window(c.samples.begin() + static_cast<std::ptrdiff_t>(from),
            c.samples.begin() + static_cast<std::ptrdiff_t>(from + 22050));
        const double r = rms(window);
        if (r > bestRms) {
            bestRms = r;
            best = std::move(window);
        }
    }
    EXPECT_GT(bestRms, 3000.0) << "the tone did not reach the file";
    EXPECT_NEAR(toneFrequency(best, 22050), 1000.0, 5.0);
    for (const QString& m : messages.shown)
        ADD_FAILURE() << m.toStdString();
}

} // namespace
