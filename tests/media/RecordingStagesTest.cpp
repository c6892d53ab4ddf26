#include "media/FormatConverter.h"
#include "media/LogRepair.h"
#include "media/WaveFileWriter.h"
#include "media/WaveInput.h"
#include "media/WaveReader.h"
#include "platform/Error.h"

#include "FakeAudioSystem.h"
#include "Fakes.h"
#include "FillingDisk.h"
#include "WavChecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <unistd.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// Input, converter and writer wired as the recorder wires them, over the fake sound card.
struct Chain {
    FakeAudioSystem audio;
    RecordingMessages messages;
    WaveInput input { audio, messages };
    FormatConverter converter;
    WaveFileWriter writer { messages };

    explicit Chain(const WaveFormat& format, int inputRate = 0)
    {
        input.setOutput(&converter);
        converter.setOutput(&writer);
        converter.setOutputFormat(format);
        input.setSampleRate(inputRate > 0 ? inputRate : format.sampleRate());
        writer.setHeaderRefreshInterval(1000);
    }
    void record(const QString& path)
    {
        writer.setFileName(path);
        input.open();
        input.start();
        writer.setEnabled(true);
    }
    void feed(const std::vector<std::int16_t>& samples)
    {
        audio.feed(samples);
        input.pump();
    }
};

TEST(WaveInput, RollOverThroughTheResamplerKeepsWhatTheFilterHeld)
{
    QTemporaryDir dir;
    // The input at 22050 Hz recorded as 8000 Hz: the converter's filter holds audio back.
    Chain chain(WaveFormat::pcm(8000, 16), 22050);
    chain.record(dir.filePath(QStringLiteral("day1.wav")));
    chain.feed(sineTone(22050, 440.0, 22050));
    chain.writer.setEnabled(false);
    chain.input.stop();
    chain.record(dir.filePath(QStringLiteral("day2.wav")));
    chain.feed(sineTone(22050, 440.0, 22050, 12000.0, 22050));
    chain.input.stop(); // writer still on: the tail goes into the file

    std::vector<std::int16_t> both = readWav(dir.filePath(QStringLiteral("day1.wav"))).samples;
    const std::vector<std::int16_t> day2 = readWav(dir.filePath(QStringLiteral("day2.wav"))).samples;
    both.insert(both.end(), day2.begin(), day2.end());
    EXPECT_NEAR(static_cast<double>(both.size()), 16000.0, 2.0);
    EXPECT_NEAR(toneFrequency(both, 8000), 440.0, 0.5);
}

// A card that cannot run at the asked rate is resampled to it, keeping pitch, length and level.
TEST(WaveInput, DeviceAtAnotherRateIsResampledToTheAskedRate)
{
    QTemporaryDir dir;
    Chain chain(WaveFormat::pcm(22050, 16));
    chain.audio.supportedInputRates = { 48000 };
    chain.record(dir.filePath(QStringLiteral("a.wav")));
    chain.feed(sineTone(48000, 1000.0, 96000));
    chain.input.stop();
    const WavContents c = readWav(dir.filePath(QStringLiteral("a.wav")));
    EXPECT_EQ(c.rate, 22050);
    EXPECT_NEAR(static_cast<double>(c.samples.size()), 44100.0, 50.0);
    EXPECT_NEAR(toneFrequency(c.samples, 22050), 1000.0, 1.0);
    EXPECT_NEAR(rms(c.samples), 12000.0 / std::sqrt(2.0), 300.0);
}

// What the card's full ring cannot take comes back as silence after what the ring held, so that
// later audio keeps its time, and is reported once.
TEST(WaveInput, DropoutsAreSilenceInTheirPlaceReportedOnceNamingTheDevice)
{
    QTemporaryDir dir;
    Chain chain(WaveFormat::pcm(8000, 16));
    chain.audio.capture = std::make_shared<FakeCaptureStream::Shared>(100);
    chain.record(dir.filePath(QStringLiteral("a.wav")));
    std::vector<std::int16_t> expected;
    for (std::int16_t i = 1; i <= 3; ++i) {
        chain.feed(std::vector<std::int16_t>(200, i));
        expected.insert(expected.end(), 100, i);
        expected.insert(expected.end(), 100, 0);
    }
    ASSERT_EQ(chain.messages.shown.size(), 1);
    EXPECT_TRUE(chain.messages.shown.front().startsWith(QString::number(ErrorNumber::SoundDropout) + QLatin1Char(' ')));
    EXPECT_TRUE(chain.messages.shown.front().contains(QStringLiteral("Fake input 0")));
    EXPECT_EQ(chain.input.droppedFrames(), 300u);
    chain.input.stop();
    EXPECT_EQ(readWav(dir.filePath(QStringLiteral("a.wav"))).samples, expected);
}

// A sound card that stops delivering (a pulled cable) is reported, tried again, and recording
// goes on into the same file when it delivers again: opened after 10 s, its first buffer (0.1 s)
// arriving 2 s later, so 11.9 s of silence stand for the time nothing was captured.
TEST(WaveInputRecovery, DeviceThatStopsIsReportedAndOpenedAgain)
{
    QTemporaryDir dir;
    Chain chain(WaveFormat::pcm(22050, 16));
    FakeAudioSystem& audio = chain.audio;
    const QStringList& shown = chain.messages.shown;
    chain.input.setReopenInterval(0);
    qint64 now = 0;
    chain.input.setClock([&now] { return now; });
    chain.record(dir.filePath(QStringLiteral("a.wav")));
    chain.feed(std::vector<std::int16_t>(1000, 1));

    audio.capture->running = false; // the device died
    audio.failOpen = true; // and cannot be opened for a while
    for (int i = 0; i < 3; ++i)
        chain.input.pump();
    ASSERT_EQ(shown.size(), 1) << "a dead device is reported once, not on every buffer";
    EXPECT_TRUE(shown[0].contains(QStringLiteral("stopped delivering"))) << shown[0].toStdString();
    EXPECT_EQ(chain.input.state(), WaveInput::Recording);

    now += 10'000;
    audio.failOpen = false; // plugged back in
    const int opens = audio.captureOpens;
    chain.input.pump();
    EXPECT_EQ(audio.captureOpens, opens + 1);
    EXPECT_TRUE(audio.capture->running);
    now += 2'000;
    chain.feed(std::vector<std::int16_t>(2205, 2));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[1].contains(QStringLiteral("\"Fake input 0\" delivers audio again; the 11 seconds")))
        << shown[1].toStdString();
    chain.input.stop();
    std::vector<std::int16_t> expected(1000, 1);
    expected.resize(1000 + 11'900 * 22050 / 1000, 0);
    expected.resize(expected.size() + 2205, 2);
    EXPECT_TRUE(readWav(dir.filePath(QStringLiteral("a.wav"))).samples == expected);
}

TEST(WaveFileWriter, FullDiskIsReportedOnceAndWhatWasWrittenStaysReadable)
{
    QTemporaryDir dir;
    static const std::atomic<std::int64_t> kLimit { 4000 };
    for (const auto& [format, inputRate] : { std::pair { WaveFormat::pcm(22050, 16), 22050 },
             std::pair { WaveFormat::pcm(8000, 8), 22050 }, std::pair { WaveFormat::gsm610(8000), 8000 } }) {
        const QString path = dir.filePath(format.describe().second + QStringLiteral(".wav"));
        const std::string label = path.toStdString();
        Chain chain(format, inputRate);
        chain.writer.setSinkFactory(
            [](const QString& p) -> std::unique_ptr<ByteSink> { return std::make_unique<FillingDisk>(p, kLimit); });
        QSignalSpy stopped(&chain.writer, &WaveFileWriter::stopped);
        chain.record(path);
        chain.feed(sineTone(inputRate, 500.0, static_cast<std::size_t>(inputRate) * 5));
        chain.input.stop();

        ASSERT_EQ(chain.messages.shown.size(), 1) << label;
        const QString& text = chain.messages.shown.front();
        EXPECT_TRUE(text.startsWith(QString::number(ErrorNumber::DiskFull) + QLatin1Char(' '))) << text.toStdString();
        EXPECT_TRUE(text.contains(QDir::toNativeSeparators(path))) << text.toStdString();
        EXPECT_EQ(stopped.count(), 1);
        EXPECT_TRUE(chain.writer.hasFailed());
        const WavContents c = readWav(path);
        ASSERT_TRUE(c.opened) << label;
        EXPECT_GT(c.samples.size(), 0u) << label;
        EXPECT_LE(static_cast<std::int64_t>(c.samples.size()) * format.bitsPerSample() / 8, kLimit) << label;
        EXPECT_FALSE(mendLogHeader(path)) << label << ": the header does not say what the file holds";
    }
}

TEST(WaveFormat, UnwritableFormatsAreRefusedWithANumber)
{
    const auto refused = [](WaveFormat (*make)()) {
        try {
            (void)make();
        } catch (const Error& e) {
            return e.number() == ErrorNumber::WaveFormatUnsupported;
        }
        return false;
    };
    EXPECT_TRUE(refused([] { return WaveFormatTemplate { 8000, 2 }.format(); })) << "a bit length code of 2";
    EXPECT_TRUE(refused([] { return WaveFormat::pcm(22050, 24); }));
    EXPECT_TRUE(refused([] { return WaveFormat::pcm(0, 16); }));
    EXPECT_TRUE(refused([] { return WaveFormat::gsm610(-8000); }));
}

TEST(FormatConverter, EightBitReductionRoundsToNearestStepWithoutWrapping)
{
    std::vector<std::int16_t> s { 0, 127, 128, -128, -129, 32767, 32640, -32768, 383 };
    FormatConverter::reduceTo8Bit(s);
    const std::vector<std::int16_t> expected { 0, 0, 256, 0, -256, 32512, 32512, -32768, 256 };
    EXPECT_EQ(s, expected);
}

// A file that appeared at the log's path is left as it is: the writer never empties a file.
TEST(WaveFileWriter, ExistingFileIsNeverTruncated)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("L120626.wav"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("earlier audio") > 0);
    f.close();
    Chain chain(WaveFormat::pcm(22050, 16));
    chain.writer.setFileName(path);
    EXPECT_THROW(chain.converter.beginStream(WaveFormat::pcm(22050, 16)), Error);
    EXPECT_EQ(QFileInfo(path).size(), 13);
}

// The file the child of the crash test records into, named after the test process.
QString killedRecordingPath(pid_t testProcess, const WaveFormat& format)
{
    return QDir::tempPath() + QStringLiteral("/wendmoor-killed-%1-%2%3").arg(testProcess).arg(format.sampleRate())
        + QLatin1String(format.fileExtension());
}

// The child half of the crash test: records a tone in real time and is killed while the file is open.
[[noreturn]] void recordUntilKilled(const WaveFormat& format, int seconds)
{
    Chain chain(format);
    chain.record(killedRecordingPath(getppid(), format));
    const int chunk = format.sampleRate() / 50;
    for (int i = 0; i < seconds * 50; ++i) {
        chain.feed(sineTone(format.sampleRate(), 1000.0, static_cast<std::size_t>(chunk), 12000.0,
            static_cast<std::size_t>(i * chunk)));
        QTest::qWait(20);
    }
    std::raise(SIGKILL);
    std::abort();
}

// Records `format` in a child process that is killed, then checks the file it leaves. (The
// child runs this too, up to its own statement, so a failed ASSERT must end only this call.)
void checkKilledRecording(const WaveFormat& format)
{
    constexpr int kSeconds = 4;
    const std::string label = (format.describe().first + format.describe().second).toStdString();
    const QString path = killedRecordingPath(getpid(), format);
    QFile::remove(path);
    // The statement runs in a child process, whose parent is this one.
    EXPECT_EXIT(recordUntilKilled(format, kSeconds), ::testing::KilledBySignal(SIGKILL), "");

    // As the next start of the recorder finds it: its header says what it holds. (In the child,
    // past a death test not its own, there is no file.)
    if (QFile::exists(path))
        (void)mendLogHeader(path);
    const WavContents c = readWav(path);
    ASSERT_TRUE(c.opened) << label;
    const double seconds = static_cast<double>(c.samples.size()) / format.sampleRate();
    EXPECT_GE(seconds, kSeconds - 1.0) << label;
    EXPECT_LE(seconds, kSeconds + 0.1) << label;
    EXPECT_NEAR(toneFrequency(c.samples, c.rate), 1000.0, 3.0) << label;
    // The player's reader finds the same length (GSM: to a block), also in a FLAC file whose
    // header states none.
    EXPECT_NEAR(double(openWaveReader(path)->frames()), double(c.samples.size()), 320.0) << label;
    // The sox of the build machines reads no Opus.
    if (format.encoding() != WaveEncoding::Opus) {
        EXPECT_EQ(QProcess::execute(QStringLiteral("sox"), { path, QStringLiteral("-n"), QStringLiteral("stat") }), 0)
            << label;
        QProcess soxi;
        soxi.start(QStringLiteral("soxi"), { QStringLiteral("-s"), path });
        soxi.waitForFinished();
        EXPECT_NEAR(soxi.readAllStandardOutput().trimmed().toDouble(), double(c.samples.size()), 320.0) << label;
    }
    QFile::remove(path);
}

TEST(WaveFileWriterDeathTest, KilledRecordingLeavesAPlayableFileMissingAtMostASecond)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const WaveFormat& format :
        { WaveFormat::pcm(22050, 16), WaveFormat::gsm610(11025), WaveFormat::flac(22050), WaveFormat::opus(24000) })
        checkKilledRecording(format);
}

} // namespace
