#include "catalog/Catalog.h"
#include "catalog/CatalogWriter.h"

#include "Fakes.h"
#include "TestWavFiles.h"
#include "media/WaveFileWriter.h"
#include "media/WaveFormat.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

constexpr int kRate = 8000;

// The tests stand in a zone whose clocks change (the last Sunday of March, 01:00 UTC).
class InLondon : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tz = qgetenv("TZ");
        qputenv("TZ", "Europe/London");
        tzset();
        ASSERT_TRUE(folder.isValid());
    }
    void TearDown() override
    {
        if (m_tz.isEmpty())
            qunsetenv("TZ");
        else
            qputenv("TZ", m_tz);
        tzset();
    }
    std::unique_ptr<Catalog> open(Catalog::Mode mode = Catalog::Mode::ReadWrite)
    {
        return Catalog::open(folder.path(), mode, &messages);
    }

    QTemporaryDir folder;
    RecordingMessages messages;

private:
    QByteArray m_tz;
};

UtcMs at(const char* local)
{
    return QDateTime::fromString(QLatin1String(local), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toMSecsSinceEpoch();
}

LogEntry logEntry(const char* name)
{
    return { QLatin1String(name), QDate(2026, 3, 28), kRate, 1 };
}

// Pairings every 10 s from `from` to `to` of a card that runs `ppm` fast; the frame reached.
std::int64_t record(Catalog& c, std::int64_t frame0, UtcMs from, UtcMs to, double ppm = 0.0)
{
    const double perMs = kRate / 1000.0 * (1.0 + ppm / 1e6);
    for (UtcMs t = from + 10'000; t < to; t += 10'000)
        c.position(frame0 + std::llround(double(t - from) * perMs), t, 0);
    return frame0 + std::llround(double(to - from) * perMs);
}

// A Standby, a clean end and a restart into …01.wav, midnight, the change to summer time and a
// crash: every clock time finds its frame or the gap that holds it, with the gap's reason.
TEST_F(InLondon, ClockTimeMapsToItsFrameOrToItsGapWithTheReason)
{
    const auto c = open();
    c->programStarted(at("2026-03-28 23:00:00.000"));
    c->segmentBegun(logEntry("L032826.wav"), 0, at("2026-03-28 23:00:00.000"), 0);
    const std::int64_t paused = record(*c, 0, at("2026-03-28 23:00:00.000"), at("2026-03-28 23:30:00.000"));
    c->segmentEnded(paused, at("2026-03-28 23:30:00.000"), GapReason::Standby, QStringLiteral("VOX"));
    c->segmentBegun(logEntry("L032826.wav"), paused, at("2026-03-28 23:40:00.000"), 0);
    const std::int64_t midnight = record(*c, paused, at("2026-03-28 23:40:00.000"), at("2026-03-29 00:00:00.000"));
    c->segmentEnded(midnight, at("2026-03-29 00:00:00.000"), GapReason::Unknown);
    c->segmentBegun(logEntry("L032926.wav"), 0, at("2026-03-29 00:00:00.000"), 0);
    c->segmentEnded(record(*c, 0, at("2026-03-29 00:00:00.000"), at("2026-03-29 00:30:00.000")),
        at("2026-03-29 00:30:00.000"), GapReason::Unknown);
    c->programEnded(at("2026-03-29 00:30:00.000"));
    c->programStarted(at("2026-03-29 00:45:00.000"));
    c->segmentBegun(logEntry("L03292601.wav"), 0, at("2026-03-29 00:45:00.000"), 0);
    // 00:45 GMT to 02:30 BST is 45 minutes; then the program dies and starts again at 03:00.
    (void)record(*c, 0, at("2026-03-29 00:45:00.000"), at("2026-03-29 02:30:00.000") + 1);
    c->programStarted(at("2026-03-29 03:00:00.000"));

    struct Case {
        const char* time;
        const char* log; // nullptr: a gap
        std::int64_t frame;
        GapReason reason;
    };
    const Case cases[] = {
        { "2026-03-28 22:00:00.000", nullptr, 0, GapReason::Unknown },
        { "2026-03-28 23:15:00.000", "L032826.wav", 900 * kRate, {} },
        { "2026-03-28 23:35:00.000", nullptr, 0, GapReason::Standby },
        { "2026-03-28 23:50:00.125", "L032826.wav", paused + 600 * kRate + 1000, {} },
        { "2026-03-29 00:10:00.000", "L032926.wav", 600 * kRate, {} },
        { "2026-03-29 00:40:00.000", nullptr, 0, GapReason::ProgramEnded },
        { "2026-03-29 00:50:00.000", "L03292601.wav", 300 * kRate, {} },
        { "2026-03-29 02:10:00.000", "L03292601.wav", 1500 * kRate, {} }, // summer time: 01:10 UTC
        { "2026-03-29 02:45:00.000", nullptr, 0, GapReason::ProgramCrashed },
        { "2026-03-29 03:10:00.000", nullptr, 0, GapReason::Unknown },
    };
    for (const Case& k : cases) {
        const Location where = c->locate(at(k.time));
        if (k.log) {
            ASSERT_TRUE(where.segment) << k.time;
            EXPECT_EQ(where.segment->log, QLatin1String(k.log)) << k.time;
            EXPECT_EQ(where.frame, k.frame) << k.time;
            EXPECT_EQ(c->timeOfFrame(QLatin1String(k.log), k.frame), at(k.time)) << k.time;
        } else {
            ASSERT_TRUE(where.gap) << k.time;
            EXPECT_EQ(where.gap->reason, k.reason) << k.time << " " << qPrintable(gapReasonName(where.gap->reason));
        }
    }

    // The day of the change has 23 hours; the recorder took 30 min after a clean end at
    // midnight and 45 min after the restart.
    const DayReport day = c->day(QDate(2026, 3, 29), at("2026-03-29 03:30:00.000"));
    EXPECT_EQ(day.dayEndUtc - day.dayStartUtc, 23 * 3600'000LL);
    EXPECT_EQ(day.recordedMs(), 75 * 60'000LL);
    std::vector<GapReason> reasons;
    for (const Gap& g : day.gaps)
        reasons.push_back(g.reason);
    EXPECT_EQ(reasons, (std::vector { GapReason::ProgramEnded, GapReason::ProgramCrashed, GapReason::Unknown }));
    // The day before ends with the segment cut at midnight, its frames cut with it.
    const DayReport before = c->day(QDate(2026, 3, 28), at("2026-03-29 03:30:00.000"));
    ASSERT_EQ(before.segments.size(), 2u);
    EXPECT_EQ(before.segments[1].firstFrame + before.segments[1].frames, midnight);
    EXPECT_EQ(before.recordedMs(), 50 * 60'000LL);
}

// A card whose clock runs 100 ppm fast or slow still maps within 20 ms after two hours (the
// nominal rate alone is 720 ms off by then), and is not taken for a clock that was set; a clock
// set forward by a minute is.
TEST_F(InLondon, PairingsFollowADriftingCardAndNoticeAClockThatWasSet)
{
    for (const double ppm : { 100.0, -100.0 }) {
        QFile::remove(folder.filePath(QLatin1String(Catalog::kFileName)));
        const auto c = open();
        const UtcMs start = at("2026-12-06 10:00:00.000");
        c->segmentBegun(logEntry("L120626.wav"), 0, start, 0);
        (void)record(*c, 0, start, start + 2 * 3600'000, ppm);
        for (const UtcMs t : { start + 5'000, start + 37 * 60'000 + 345, start + 2 * 3600'000 - 10'001 }) {
            const Location where = c->locate(t);
            ASSERT_TRUE(where.segment) << ppm;
            const double trueFrame = double(t - start) * kRate / 1000.0 * (1.0 + ppm / 1e6);
            EXPECT_LE(std::abs(double(where.frame) - trueFrame) * 1000.0 / kRate, 20.0) << ppm << " at " << t - start;
        }
        EXPECT_EQ(c->segmentsOverlapping(start, start + 2 * 3600'000).size(), 1u) << ppm;
    }

    const auto c = open();
    const UtcMs start = at("2026-12-07 10:00:00.000");
    c->segmentBegun(logEntry("L120726.wav"), 0, start, 0);
    const std::int64_t frame = record(*c, 0, start, start + 60'000);
    c->position(frame, start + 120'000, 0); // one minute of frames, two of clock
    c->position(frame + 10 * kRate, start + 130'000, 0);
    EXPECT_EQ(c->locate(start + 90'000).gap.value_or(Gap {}).reason, GapReason::ClockStepped);
    const Location after = c->locate(start + 125'000);
    ASSERT_TRUE(after.segment);
    EXPECT_EQ(after.frame, frame + 5 * kRate);
}

void writeStampedLog(const QString& path, const QDateTime& start, int seconds)
{
    RecordingMessages quiet;
    WaveFileWriter writer(quiet);
    writer.setFileName(path);
    writer.setStartTime(start);
    writer.setEnabled(true);
    writer.beginStream(WaveFormat::pcm(kRate, 16));
    const std::vector<std::int16_t> second(kRate, 100);
    for (int i = 0; i < seconds; ++i)
        writer.writeSamples(second);
    writer.endStream();
}

// The logs alone, their stamps and lengths, give the catalog back, whether it was missing, is
// not a database or cannot be written; what replaced a damaged one is said, and it is kept.
TEST_F(InLondon, CatalogIsRebuiltFromTheLogsAlone)
{
    writeStampedLog(folder.filePath(QStringLiteral("L120726.wav")), QDateTime(QDate(2026, 12, 7), QTime(10, 0)), 60);
    writeStampedLog(folder.filePath(QStringLiteral("L12072601.wav")), QDateTime(QDate(2026, 12, 7), QTime(10, 5)), 30);
    ASSERT_TRUE(writeLog(folder.filePath(QStringLiteral("L120626.wav")), 10'000)); // no stamp: from midnight
    const QString db = folder.filePath(QLatin1String(Catalog::kFileName));

    struct Case {
        const char* what;
        QByteArray contents; // empty: no file
        Catalog::Mode mode;
        int messages;
    };
    const Case cases[] = {
        { "missing", {}, Catalog::Mode::ReadWrite, 0 },
        { "garbage", QByteArray(8192, 'x'), Catalog::Mode::ReadWrite, 1 },
        { "garbage, read only", QByteArray(8192, 'x'), Catalog::Mode::ReadOnly, 1 },
    };
    for (const Case& k : cases) {
        QFile::remove(db);
        QFile::remove(db + QStringLiteral(".damaged"));
        if (!k.contents.isEmpty()) {
            QFile f(db);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(k.contents);
        }
        messages.shown.clear();
        const auto c = open(k.mode);
        EXPECT_TRUE(c->wasRebuilt()) << k.what;
        ASSERT_EQ(messages.shown.size(), k.messages) << k.what;
        if (k.messages) {
            EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("1050 ")) && messages.shown[0].contains(db))
                << qPrintable(messages.shown[0]);
        }
        if (k.mode == Catalog::Mode::ReadWrite && !k.contents.isEmpty()) {
            QFile kept(db + QStringLiteral(".damaged"));
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly)) << k.what;
            EXPECT_EQ(kept.readAll(), k.contents) << k.what;
        }
        if (k.mode == Catalog::Mode::ReadOnly) {
            QFile same(db);
            ASSERT_TRUE(same.open(QIODevice::ReadOnly));
            EXPECT_EQ(same.readAll(), k.contents) << k.what;
        }

        const Location first = c->locate(at("2026-12-07 10:00:30.000"));
        ASSERT_TRUE(first.segment) << k.what;
        EXPECT_EQ(first.segment->log, QStringLiteral("L120726.wav"));
        EXPECT_EQ(first.frame, 30 * kRate);
        const Location restart = c->locate(at("2026-12-07 10:05:10.000"));
        ASSERT_TRUE(restart.segment) << k.what;
        EXPECT_EQ(restart.segment->log, QStringLiteral("L12072601.wav"));
        EXPECT_EQ(restart.frame, 10 * kRate);
        EXPECT_EQ(c->locate(at("2026-12-07 10:02:00.000")).gap.value_or(Gap {}).reason, GapReason::Unknown);
        const Location unstamped = c->locate(at("2026-12-06 00:00:05.000"));
        ASSERT_TRUE(unstamped.segment) << k.what;
        EXPECT_EQ(unstamped.segment->log, QStringLiteral("L120626.wav"));
        EXPECT_EQ(c->day(QDate(2026, 12, 7), at("2026-12-08 00:00:00.000")).recordedMs(), 90'000);
    }
}

// A log that the next log followed is checksummed on the writer's thread and remembered once it
// has been left alone; one written just now, or still being written, is not.
TEST(CatalogWriterChecksums, AFinishedLogsChecksumIsRememberedOnlyOnceItIsLeftAlone)
{
    for (const int secondsAgo : { 60, 0 }) {
        QTemporaryDir dir;
        const QString first = QStringLiteral("L120526.wav"), second = QStringLiteral("L120626.wav");
        for (const QString& log : { first, second })
            ASSERT_TRUE(writeWav(dir.filePath(log), 8000, 1, 8000));
        QFile written(dir.filePath(first));
        ASSERT_TRUE(written.open(QIODevice::ReadWrite));
        ASSERT_TRUE(
            written.setFileTime(QDateTime::currentDateTime().addSecs(-secondsAgo), QFileDevice::FileModificationTime));
        written.close();
        RecordingMessages messages;
        CatalogWriter writer(messages);
        writer.setChecksumDelay(std::chrono::milliseconds(0));
        writer.setArchiveFolder(dir.path());
        const UtcMs midnight = QDateTime(QDate(2026, 12, 6), QTime(0, 0)).toMSecsSinceEpoch();
        writer.segmentBegun({ first, QDate(2026, 12, 5), 8000, 1 }, 0, midnight - 1000, 0);
        writer.segmentEnded(8000, midnight, GapReason::Unknown);
        writer.segmentBegun({ second, QDate(2026, 12, 6), 8000, 1 }, 0, midnight, 0);
        writer.position(8000, midnight + 1000, 0);
        writer.flush();
        const auto catalog = Catalog::open(dir.path(), Catalog::Mode::ReadOnly);
        const std::optional<LogChecksum> sum = catalog->checksum(first);
        ASSERT_EQ(sum.has_value(), secondsAgo > 0) << secondsAgo;
        if (sum) {
            ASSERT_TRUE(written.open(QIODevice::ReadOnly));
            EXPECT_EQ(sum->sha256, QCryptographicHash::hash(written.readAll(), QCryptographicHash::Sha256).toHex());
            EXPECT_TRUE(checksumHolds(dir.path(), *sum));
        }
        EXPECT_FALSE(catalog->checksum(second)) << "still being written";
    }
}

} // namespace
