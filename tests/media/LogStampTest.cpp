#include "media/LogStamp.h"

#include "Fakes.h"
#include "media/WaveFileWriter.h"
#include "media/WaveFormat.h"
#include "media/WaveReader.h"
#include "platform/Version.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// Every format of log says when its first sample was taken, to the millisecond and with its
// offset from UTC, and still opens in the program's own reader (GSM through libgsm, past the
// bext chunk before its data) and in sox, with every sample where it was.
TEST(LogStampTest, EveryFormatCarriesItsStampAndStillOpens)
{
    QTemporaryDir dir;
    const QDateTime start(QDate(2026, 3, 29), QTime(2, 10, 5, 250), QTimeZone(3600));
    struct Case {
        WaveFormat format;
        const char* file;
    };
    const Case cases[] = {
        { WaveFormat::pcm(8000, 8), "L1.wav" },
        { WaveFormat::pcm(22050, 16), "L2.wav" },
        { WaveFormat::gsm610(8000), "L3.wav" },
        { WaveFormat::flac(22050), "L4.flac" },
        { WaveFormat::opus(24000), "L5.opus" },
    };
    for (const Case& k : cases) {
        const QString path = dir.filePath(QLatin1String(k.file));
        const int rate = k.format.sampleRate();
        RecordingMessages messages;
        {
            WaveFileWriter writer(messages);
            writer.setFileName(path);
            writer.setStartTime(start);
            writer.setEnabled(true);
            writer.beginStream(k.format);
            std::vector<std::int16_t> samples(std::size_t(rate) * 2);
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = std::int16_t((i % 64) * 256 - 8192);
            writer.writeSamples(samples);
            writer.endStream();
        }
        ASSERT_TRUE(messages.shown.isEmpty()) << k.file << qPrintable(messages.shown.join(QLatin1Char('\n')));

        const std::optional<LogStamp> stamp = readLogStamp(path);
        ASSERT_TRUE(stamp) << k.file;
        EXPECT_EQ(stamp->firstSample, start) << k.file << qPrintable(stamp->firstSample.toString(Qt::ISODateWithMs));
        EXPECT_EQ(stamp->firstSample.offsetFromUtc(), 3600) << k.file;
        EXPECT_EQ(stamp->samplesSinceMidnight, (2 * 3600 + 10 * 60 + 5) * std::int64_t(rate) + rate / 4) << k.file;
        EXPECT_EQ(stamp->originator, QStringLiteral("Wendmoor")) << k.file;
        EXPECT_EQ(stamp->version, QLatin1String(kVersion)) << k.file;

        const std::unique_ptr<WaveReader> reader = openWaveReader(path);
        EXPECT_NEAR(double(reader->frames()), 2.0 * rate, 320.0) << k.file;
        if (k.format.encoding() == WaveEncoding::Pcm) {
            // The data begins where it did: the first samples come back as written.
            std::vector<std::int16_t> first(64);
            ASSERT_EQ(reader->read(first), 64) << k.file;
            EXPECT_NEAR(first[1] - first[0], 256, 1) << k.file;
            EXPECT_NEAR(first[0], -8192, 256) << k.file;
        }
        // The sox of the build machines reads no Opus.
        if (k.format.encoding() != WaveEncoding::Opus) {
            EXPECT_EQ(QProcess::execute(QStringLiteral("soxi"), { path }), 0) << k.file;
        }
    }
    EXPECT_FALSE(readLogStamp(dir.filePath(QStringLiteral("missing.wav"))));
}

} // namespace
