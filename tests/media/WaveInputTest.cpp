#include "media/WaveInput.h"
#include "media/FormatConverter.h"
#include "media/WaveFileWriter.h"
#include "platform/Error.h"

#include "FakeAudioSystem.h"
#include "Fakes.h"
#include "WavChecks.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// Input, converter and writer wired as in the main window, over the fake sound card.
struct InputChain {
    FakeAudioSystem audio;
    RecordingMessages messages;
    WaveInput input { audio, messages };
    FormatConverter converter;
    WaveFileWriter writer { messages };

    explicit InputChain(const WaveFormat& format)
    {
        input.setOutput(&converter);
        converter.setOutput(&writer);
        converter.setOutputFormat(format);
        input.setSampleRate(format.sampleRate());
    }
    void record(const QString& path)
    {
        writer.setFileName(path);
        input.open();
        input.start();
        writer.setEnabled(true);
    }
};

TEST(WaveInput, RollOverThroughTheResamplerKeepsWhatTheFilterHeld)
{
    QTemporaryDir dir;
    // The input at 22050 Hz recorded as 8000 Hz: the converter's filter holds audio back.
    InputChain chain(WaveFormat::pcm(8000, 16));
    chain.input.setSampleRate(22050);
    chain.record(dir.filePath(QStringLiteral("day1.wav")));
    chain.audio.feed(sineTone(22050, 440.0, 22050));
    chain.input.pump();
    chain.writer.setEnabled(false);
    chain.input.stop();
    chain.record(dir.filePath(QStringLiteral("day2.wav")));
    chain.audio.feed(sineTone(22050, 440.0, 22050, 12000.0, 22050));
    chain.input.pump();
    chain.input.stop(); // writer still on: the tail goes into the file

    const WavContents day1 = readWav(dir.filePath(QStringLiteral("day1.wav")));
    const WavContents day2 = readWav(dir.filePath(QStringLiteral("day2.wav")));
    EXPECT_NEAR(static_cast<double>(day1.samples.size() + day2.samples.size()), 16000.0, 2.0);
    std::vector<std::int16_t> both = day1.samples;
    both.insert(both.end(), day2.samples.begin(), day2.samples.end());
    EXPECT_NEAR(toneFrequency(both, 8000), 440.0, 0.5);
}

TEST(WaveInput, DeviceAtAnotherRateIsResampledToTheAskedRate)
{
    QTemporaryDir dir;
    InputChain chain(WaveFormat::pcm(22050, 16));
    chain.audio.supportedInputRates = { 48000 };
    chain.record(dir.filePath(QStringLiteral("a.wav")));
    chain.audio.feed(sineTone(48000, 1000.0, 96000));
    chain.input.pump();
    chain.input.stop();
    const WavContents c = readWav(dir.filePath(QStringLiteral("a.wav")));
    EXPECT_EQ(c.rate, 22050);
    EXPECT_NEAR(static_cast<double>(c.samples.size()), 44100.0, 50.0);
    EXPECT_NEAR(toneFrequency(c.samples, 22050), 1000.0, 1.0);
}

TEST(WaveInput, DropoutsAreReportedOnceNamingTheDevice)
{
    QTemporaryDir dir;
    InputChain chain(WaveFormat::pcm(8000, 16));
    chain.audio.capture = std::make_shared<FakeCaptureStream::Shared>(100);
    chain.record(dir.filePath(QStringLiteral("a.wav")));
    for (int i = 0; i < 3; ++i) {
        chain.audio.feed(std::vector<std::int16_t>(200, 1));
        chain.input.pump();
    }
    ASSERT_EQ(chain.messages.shown.size(), 1);
    EXPECT_TRUE(chain.messages.shown.front().startsWith(QString::number(ErrorNumber::SoundDropout) + QLatin1Char(' ')));
    EXPECT_TRUE(chain.messages.shown.front().contains(QStringLiteral("Fake input 0")));
    EXPECT_EQ(chain.input.droppedFrames(), 300u);
}

// A sound card that stops delivering (a pulled cable) for 10 s is reported, tried again, and
// recording goes on into the same file when it is back, the 10 s as silence in their place.
TEST(WaveInputRecovery, DeviceThatStopsIsReportedAndOpenedAgain)
{
    wendmoor::test::FakeAudioSystem audio;
    wendmoor::test::RecordingMessages messages;
    wendmoor::WaveInput input(audio, messages);
    input.setReopenInterval(0);
    qint64 now = 0;
    input.setClock([&now] { return now; });
    std::size_t delivered = 0;
    QObject::connect(&input, &wendmoor::WaveInput::bufferFilled,
        [&delivered](std::span<const std::int16_t> b) { delivered += b.size(); });
    input.open();
    input.start();
    audio.feed(std::vector<std::int16_t>(1000, 1));
    input.pump();
    ASSERT_EQ(delivered, 1000u);

    audio.capture->running = false; // the device died
    audio.failOpen = true; // and cannot be opened for a while
    input.pump();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("stopped delivering"))) << messages.shown[0].toStdString();
    input.pump();
    input.pump();
    EXPECT_EQ(messages.shown.size(), 1) << "a dead device is reported once, not on every buffer";
    EXPECT_EQ(input.state(), wendmoor::WaveInput::Recording);

    now += 10'000;
    audio.failOpen = false; // plugged back in
    const int opens = audio.captureOpens;
    input.pump();
    EXPECT_EQ(audio.captureOpens, opens + 1);
    EXPECT_TRUE(audio.capture->running);
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown[1].contains(QStringLiteral("\"Fake input 0\" delivers audio again; the 10 seconds")))
        << messages.shown[1].toStdString();
    audio.feed(std::vector<std::int16_t>(500, 2));
    input.pump();
    EXPECT_EQ(delivered, 1000u + 10u * 22050u + 500u);
    input.stop();
}

} // namespace
