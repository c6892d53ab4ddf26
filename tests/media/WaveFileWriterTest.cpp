#include "media/WaveFileWriter.h"
#include "media/FormatConverter.h"
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

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <unistd.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

struct RecordingFormat {
    const char* label;
    WaveFormat format;
    int inputRate;
};

const RecordingFormat kPcm22050 { "pcm 22050 16", WaveFormat::pcm(22050, 16), 22050 };
const RecordingFormat kPcm8000x8 { "pcm 8000 8", WaveFormat::pcm(8000, 8), 22050 };
const RecordingFormat kGsm8000 { "gsm 8000", WaveFormat::gsm610(8000), 8000 };
const RecordingFormat kGsm11025 { "gsm 11025", WaveFormat::gsm610(11025), 11025 };
const RecordingFormat kFlac { "flac 22050", WaveFormat::flac(22050), 22050 };
const RecordingFormat kOpus { "opus 24000", WaveFormat::opus(24000), 22050 };

// Converter and writer as the recorder wires them.
struct Chain {
    RecordingMessages messages;
    FormatConverter converter;
    WaveFileWriter writer { messages };
    Chain(const QString& path, const WaveFormat& format)
    {
        converter.setOutput(&writer);
        converter.setOutputFormat(format);
        writer.setFileName(path);
        writer.setHeaderRefreshInterval(1000);
    }
    void feed(const std::vector<std::int16_t>& input, std::size_t chunk = 441)
    {
        for (std::size_t i = 0; i < input.size(); i += chunk)
            converter.writeSamples(std::span(input).subspan(i, std::min(chunk, input.size() - i)));
    }
};

TEST(WaveFileWriter, FullDiskIsReportedOnceAndWhatWasWrittenStaysReadable)
{
    QTemporaryDir dir;
    for (const RecordingFormat& f : { kPcm22050, kPcm8000x8, kGsm8000 }) {
        const QString path = dir.filePath(QString::fromLatin1(f.label) + QStringLiteral(".wav"));
        static const std::atomic<std::int64_t> kLimit { 4000 };
        Chain chain(path, f.format);
        chain.writer.setSinkFactory(
            [](const QString& p) -> std::unique_ptr<ByteSink> { return std::make_unique<FillingDisk>(p, kLimit); });
        QSignalSpy stopped(&chain.writer, &WaveFileWriter::stopped);
        chain.converter.beginStream(WaveFormat::pcm(f.inputRate, 16));
        chain.writer.setEnabled(true);
        chain.feed(sineTone(f.inputRate, 500.0, static_cast<std::size_t>(f.inputRate) * 5));
        chain.converter.endStream();

        ASSERT_EQ(chain.messages.shown.size(), 1) << f.label;
        const QString& text = chain.messages.shown.front();
        EXPECT_TRUE(text.startsWith(QString::number(ErrorNumber::DiskFull) + QLatin1Char(' '))) << text.toStdString();
        EXPECT_TRUE(text.contains(QDir::toNativeSeparators(path))) << text.toStdString();
        EXPECT_EQ(stopped.count(), 1);
        EXPECT_TRUE(chain.writer.hasFailed());

        const WavContents c = readWav(path);
        ASSERT_TRUE(c.opened) << f.label;
        EXPECT_GT(c.samples.size(), 0u) << f.label;
        EXPECT_LE(static_cast<std::int64_t>(c.samples.size()) * f.format.bitsPerSample() / 8, kLimit) << f.label;
    }
}

// A file that appeared at the log's path is left as it is: the writer never empties a file.
TEST(WaveFileWriter, ExistingFileIsNeverTruncated)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("L120626.wav"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("earlier audio") > 0);
    f.close();
    Chain chain(path, kPcm22050.format);
    EXPECT_THROW(chain.converter.beginStream(WaveFormat::pcm(22050, 16)), Error);
    EXPECT_EQ(QFileInfo(path).size(), 13);
}

// The child half of the crash test: records from the fake input in real time into `path` and
// is killed while the file is open.
[[noreturn]] void recordUntilKilled(const QString& path, const WaveFormat& format, int seconds)
{
    FakeAudioSystem audio;
    RecordingMessages messages;
    WaveInput input(audio, messages);
    FormatConverter converter;
    WaveFileWriter writer(messages);
    input.setOutput(&converter);
    converter.setOutput(&writer);
    converter.setOutputFormat(format);
    input.setSampleRate(format.sampleRate());
    writer.setFileName(path);
    input.open();
    writer.setHeaderRefreshInterval(1000);
    input.start();
    writer.setEnabled(true);
    const int chunk = format.sampleRate() / 50;
    for (int i = 0; i < seconds * 50; ++i) {
        audio.feed(sineTone(format.sampleRate(), 1000.0, static_cast<std::size_t>(chunk), 12000.0,
            static_cast<std::size_t>(i * chunk)));
        QTest::qWait(20);
    }
    std::raise(SIGKILL);
    std::abort();
}

// The file the child of the crash test records into, named after the test process.
QString killedRecordingPath(pid_t testProcess, const char* label)
{
    return QDir::tempPath() + QStringLiteral("/wendmoor-killed-%1-%2").arg(testProcess).arg(QLatin1String(label));
}

void checkKilledRecording(const RecordingFormat& f)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    constexpr int kSeconds = 4;
    const QString path = killedRecordingPath(getpid(), f.label) + QLatin1String(f.format.fileExtension());
    QFile::remove(path);
    // The statement runs in a child process, whose parent is this one.
    EXPECT_EXIT(recordUntilKilled(killedRecordingPath(getppid(), f.label) + QLatin1String(f.format.fileExtension()),
                    f.format, kSeconds),
        ::testing::KilledBySignal(SIGKILL), "");

    const WavContents c = readWav(path);
    ASSERT_TRUE(c.opened) << f.label;
    const double seconds = static_cast<double>(c.samples.size()) / f.format.sampleRate();
    EXPECT_GE(seconds, kSeconds - 1.1) << f.label;
    EXPECT_LE(seconds, kSeconds + 0.1) << f.label;
    EXPECT_NEAR(toneFrequency(c.samples, c.rate), 1000.0, 3.0) << f.label;
    // The player's reader finds the same length (GSM: to a block), also in a FLAC file whose
    // header states none.
    EXPECT_NEAR(static_cast<double>(openWaveReader(path)->frames()), static_cast<double>(c.samples.size()), 320.0)
        << f.label;

    // The sox of the build machines reads no Opus.
    if (f.format.encoding() == WaveEncoding::Opus) {
        QFile::remove(path);
        return;
    }
    QProcess sox;
    sox.start(QStringLiteral("sox"), { path, QStringLiteral("-n"), QStringLiteral("stat") });
    ASSERT_TRUE(sox.waitForFinished(20000));
    EXPECT_EQ(sox.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sox.exitCode(), 0) << sox.readAllStandardError().toStdString();
    QFile::remove(path);
}

TEST(WaveFileWriterDeathTest, KilledRecordingLeavesAPlayableFileMissingAtMostASecond)
{
    checkKilledRecording(kPcm22050);
    checkKilledRecording(kGsm11025);
    checkKilledRecording(kFlac);
    checkKilledRecording(kOpus);
}

} // namespace
