#include "platform/Error.h"

#include "../media/WavChecks.h"
#include "FillingDisk.h"
#include "RecorderFixture.h"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

class RecordLogTest : public RecorderFixture, public ::testing::Test {
protected:
    RecordLogTest()
        : RecorderFixture(3)
    {
        at(10, 0, 0);
    }

    // A second of tone at the rate the input runs at, taken by the chain.
    void feedTone(double hz)
    {
        const int rate = ts.audio.capture->rate;
        ts.audio.feed(sineTone(rate, hz, static_cast<std::size_t>(rate)));
        recorder->chain().pump();
    }
};

// A file recorded and then stopped holds what was fed, less what the converter's filter still
// held when the writer was switched off, plus up to one GSM block of padding.
void expectSeconds(const WavContents& c, double seconds)
{
    ASSERT_TRUE(c.opened);
    EXPECT_NEAR(static_cast<double>(c.samples.size()) / c.rate, seconds - 0.05, 0.1);
}

// The first Record makes a missing archive folder with its parents; Record while recording keeps
// the file, and Stop, the program's end and the recorder's destruction each finish theirs.
TEST_F(RecordLogTest, RecordWhileRecordingKeepsTheFileAndStopCloseAndEndFinishIt)
{
    QDir(ts.drive(QLatin1Char('C')) + QStringLiteral("/Wendmoor")).removeRecursively();
    record();
    EXPECT_EQ(state.CurrentLogPath, log(QStringLiteral("L120626.wav")));
    ASSERT_TRUE(state.IsRecording);
    feedTone(1000.0);
    record();
    EXPECT_TRUE(ts.prompt.questions.isEmpty());
    EXPECT_EQ(ts.audio.captureOpens, 1);
    feedTone(1000.0);
    stop();
    EXPECT_FALSE(state.IsRecording);
    expectSeconds(readWav(log(QStringLiteral("L120626.wav"))), 2.0);

    ts.prompt.answers = { false }; // not overwriting the day's log
    record();
    feedTone(1000.0);
    recorder->shutdown();
    expectSeconds(readWav(log(QStringLiteral("L12062601.wav"))), 1.0);

    ts.prompt.answers = { false };
    record();
    feedTone(1000.0);
    recorder.reset();
    expectSeconds(readWav(log(QStringLiteral("L12062602.wav"))), 1.0);
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}

// Every format records at its own rate and encoding; the input runs at the format's rate, also
// right after a GSM format (a PCM log upsampled from 8000 Hz would lose the 5 kHz tone).
TEST_F(RecordLogTest, EveryFormatRecordsItsFormatFromAnInputAtItsOwnRate)
{
    const std::pair<int, int> cases[] = { { 6, SF_FORMAT_GSM610 }, { 5, SF_FORMAT_PCM_16 }, { 7, SF_FORMAT_GSM610 },
        { 0, SF_FORMAT_PCM_U8 }, { 8, SF_FORMAT_GSM610 }, { 1, SF_FORMAT_PCM_16 }, { 6, SF_FORMAT_GSM610 },
        { 2, SF_FORMAT_PCM_U8 }, { 6, SF_FORMAT_GSM610 }, { 3, SF_FORMAT_PCM_16 }, { 4, SF_FORMAT_PCM_U8 },
        { 9, SF_FORMAT_PCM_16 }, { 10, SF_FORMAT_OPUS } };
    settings.StartOnLoad = 1; // every case gets a renumbered name of its own, nothing asked
    for (const auto& [format, subtype] : cases) {
        SCOPED_TRACE(format);
        settings.RecordFormat = static_cast<std::int16_t>(format);
        recorder->GetLogName();
        recordLog();
        ASSERT_TRUE(state.IsRecording);
        const int rate = recordFormat(format)->inputRate();
        EXPECT_EQ(ts.audio.capture->rate, rate);
        const double hz = rate == 8000 ? 3000.0 : 5000.0;
        feedTone(hz);
        stop();
        const WavContents f = readWav(state.CurrentLogPath);
        ASSERT_TRUE(f.opened);
        EXPECT_EQ(f.rate, recordFormat(format)->sampleRate);
        EXPECT_EQ(f.format & SF_FORMAT_SUBMASK, subtype);
        expectSeconds(f, 1.0);
        if (subtype != SF_FORMAT_GSM610) {
            EXPECT_NEAR(toneFrequency(f.samples, f.rate), hz, 20.0);
        }
    }
}

// Started by itself (StartOnLoad 1 or 2 at start-up) it never asks; from the operator's Record on
// it asks, and only Yes replaces the day's log.
TEST_F(RecordLogTest, ExistingDayFileIsReplacedOnYesAndRenumberedOnNoOrWhenStartedByItself)
{
    const std::tuple<const char*, std::int16_t, bool, bool, const char*> cases[]
        = { { "automatic", 1, true, false, "L12062601.wav" }, { "automatic 2", 2, true, false, "L12062601.wav" },
              { "yes", 0, true, true, "L120626.wav" }, { "no", 0, false, true, "L12062601.wav" } };
    const QStringList question { QStringLiteral("Wendmoor|Overwrite Existing File--> ")
        + log(QStringLiteral("L120626.wav")) + QLatin1Char('?') };
    for (const auto& [label, startOnLoad, answer, asked, recordedInto] : cases) {
        SCOPED_TRACE(label);
        QFile::remove(log(QStringLiteral("L12062601.wav")));
        touch(QStringLiteral("L120626.wav"));
        ts.prompt.questions.clear();
        ts.prompt.answers = { answer };
        if (startOnLoad == 0) {
            record();
        } else {
            settings.StartOnLoad = startOnLoad;
            recorder->GetLogName();
            recordLog();
        }
        EXPECT_EQ(ts.prompt.questions, asked ? question : QStringList {});
        EXPECT_EQ(state.CurrentLogPath, log(QLatin1String(recordedInto)));
        stop();
        EXPECT_EQ(readWav(log(QStringLiteral("L120626.wav"))).opened, answer && asked);
    }
}

// The overwrite question's event loop runs the clock for 30 s: the retry waits for the answer,
// which alone decides where the recording goes.
TEST_F(RecordLogTest, TheRetryWaitsForTheOverwriteQuestionWhoseAnswerDecides)
{
    for (const bool yes : { true, false }) {
        SCOPED_TRACE(yes);
        for (const QString& name : logs())
            QFile::remove(log(name));
        touch(QStringLiteral("L120626.wav"));
        ts.messages.shown.clear();
        ts.prompt.answers = { yes };
        ts.prompt.whileAsked = [this] { run(30'000); };
        record();
        ts.prompt.whileAsked = nullptr;
        feedTone(1000.0);
        stop();
        const QString into = yes ? QStringLiteral("L120626.wav") : QStringLiteral("L12062601.wav");
        EXPECT_EQ(state.CurrentLogPath, log(into));
        const QStringList expected = yes ? QStringList { into } : QStringList { QStringLiteral("L120626.wav"), into };
        EXPECT_EQ(logs(), expected);
        expectSeconds(readWav(log(into)), 1.0);
        EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
    }
}

// Anything in the way of a log's name (a folder, a link to nowhere) is passed over as an existing
// log is, without a question and without touching it: recording never stops on it.
TEST_F(RecordLogTest, AnythingInTheWayOfTheNameIsPassedOverUnasked)
{
    const std::tuple<const char*, QStringList, const char*> cases[] = {
        { "a folder", { QStringLiteral("L120626.wav") }, "L12062601.wav" },
        { "folders at the renumbered name too", { QStringLiteral("L120626.wav"), QStringLiteral("L12062601.wav") },
            "L12062602.wav" },
        { "a link to nowhere", { QStringLiteral("->L120626.wav") }, "L12062601.wav" },
    };
    for (const auto& [label, obstacles, recordedInto] : cases) {
        SCOPED_TRACE(label);
        QDir(archive).removeRecursively();
        QDir().mkpath(archive);
        for (const QString& o : obstacles) {
            if (o.startsWith(QLatin1String("->")))
                ASSERT_TRUE(QFile::link(log(QStringLiteral("gone")), log(o.mid(2))));
            else
                ASSERT_TRUE(QDir().mkpath(log(o)));
        }
        ts.prompt.answers = { true };
        record();
        EXPECT_TRUE(state.IsRecording);
        EXPECT_EQ(state.CurrentLogPath, log(QLatin1String(recordedInto)));
        EXPECT_TRUE(ts.prompt.questions.isEmpty());
        stop();
        EXPECT_TRUE(QFileInfo(log(QStringLiteral("L120626.wav"))).isSymLink()
            || QFileInfo(log(QStringLiteral("L120626.wav"))).isDir());
    }
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}

TEST_F(RecordLogTest, FailureIsReportedWithItsNumberAndTheWindowSaysItIsNotRecording)
{
    const std::tuple<const char*, int, int, std::int16_t, bool> cases[] = {
        { "format out of range", 11, ErrorNumber::InvalidArgument, 0, false },
        { "no such device", 1, ErrorNumber::SoundDeviceNotFound, 7, false },
        { "archive folder cannot be made", 1, ErrorNumber::PathNotFound, 0, true },
    };
    for (const auto& [label, format, number, device, removeArchive] : cases) {
        SCOPED_TRACE(label);
        ts.messages.shown.clear();
        settings.RecordFormat = static_cast<std::int16_t>(format);
        settings.RecordDevice = device;
        if (removeArchive) {
            QDir(ts.drive(QLatin1Char('C')) + QStringLiteral("/Wendmoor")).removeRecursively();
            QFile f(ts.drive(QLatin1Char('C')) + QStringLiteral("/Wendmoor")); // a file where the folder goes
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        record();
        ASSERT_EQ(ts.messages.shown.size(), 1);
        EXPECT_TRUE(ts.messages.shown.front().startsWith(QString::number(number) + QLatin1Char(' ')))
            << ts.messages.shown.front().toStdString();
        EXPECT_FALSE(state.IsRecording);
        EXPECT_FALSE(recorder->chain().isInputRecording());
        EXPECT_EQ(recorder->status(), RecorderStatus::Stopped);
    }
    EXPECT_TRUE(ts.messages.shown.front().contains(log(QStringLiteral("L120626.wav"))));
}

// A log left by a killed recorder, its header refreshed a second before the end, is mended by
// the next start before anything records, which says so in the event log.
TEST_F(RecordLogTest, StartUpMendsALogWhoseHeaderIsShortAndSaysSo)
{
    const QString path = log(QStringLiteral("L120626.wav"));
    record();
    feedTone(1000.0);
    feedTone(1000.0);
    stop();
    const std::size_t whole = readWav(path).samples.size();
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        const qint64 data = f.readAll().indexOf("data");
        ASSERT_GT(data, 0);
        const std::uint32_t oneSecond = 11025 * 2;
        ASSERT_TRUE(f.seek(data + 4) && f.write(reinterpret_cast<const char*>(&oneSecond), 4) == 4);
    }
    ASSERT_EQ(readWav(path).samples.size(), 11025u);
    ts.writeSettings({ 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0 });
    recorder->initialize();
    EXPECT_EQ(readWav(path).samples.size(), whole);
    EXPECT_TRUE(ts.events.notes.contains(QStringLiteral("Mended the header of %1: it said 1.00 s, the file holds %2 s")
                                             .arg(QDir::toNativeSeparators(path))
                                             .arg(static_cast<double>(whole) / 11025, 0, 'f', 2)))
        << ts.events.notes.join(QLatin1Char('\n')).toStdString();
}

// The window never waits on the recording thread: Record returns while the device is still
// opening, the clock ticks on past the retry interval without a second start, and the window says
// Recording once the device is open. Stop returns likewise and ends the log the start made; Record
// after it records anew once that start has ended.
TEST_F(RecordLogTest, ADeviceSlowToOpenHoldsNeitherRecordNorTheClock)
{
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    ts.audio.onOpenCapture = [&] {
        std::unique_lock lock(mutex);
        opened.wait(lock, [&] { return open; });
    };
    const auto letOpen = [&] {
        {
            const std::lock_guard lock(mutex);
            open = true;
        }
        opened.notify_all();
    };
    // Lets a command that waits go on after 3 s, so that a fault fails the test, not hangs it.
    const auto fallback = [&] {
        return std::thread([&] {
            std::unique_lock lock(mutex);
            opened.wait_for(lock, std::chrono::seconds(3), [&] { return open; });
            open = true;
            opened.notify_all();
        });
    };
    std::thread first = fallback();
    const auto stillOpening = [&] {
        const std::lock_guard lock(mutex);
        return !open;
    };

    recorder->record();
    EXPECT_TRUE(stillOpening());
    for (int tick = 0; tick < 100; ++tick) {
        ts.clock.advanceMs(100);
        recorder->tick();
    }
    EXPECT_TRUE(stillOpening());
    EXPECT_EQ(recorder->status(), RecorderStatus::Stopped);
    letOpen();
    settle();
    EXPECT_EQ(recorder->status(), RecorderStatus::Recording);
    EXPECT_EQ(logs(), QStringList { QStringLiteral("L120626.wav") });
    stop();
    first.join();
    recorder->chain().releaseDevice(); // the next start opens the device afresh

    {
        const std::lock_guard lock(mutex);
        open = false;
    }
    std::thread again = fallback();
    ts.prompt.answers = { false, false };
    recorder->record();
    recorder->stop();
    recorder->record(); // the operator's mind changed again: it records once that start has ended
    EXPECT_TRUE(stillOpening());
    letOpen();
    settle();
    again.join();
    QCoreApplication::processEvents();
    settle();
    EXPECT_EQ(recorder->status(), RecorderStatus::Recording);
    EXPECT_TRUE(readWav(log(QStringLiteral("L12062601.wav"))).opened);
    EXPECT_EQ(state.CurrentLogPath, log(QStringLiteral("L12062602.wav")));
    stop();
    EXPECT_TRUE(ts.messages.shown.isEmpty()) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
}

// Only StartOnLoad exactly 1 starts a recording with the program; 2 and others are not "true enough".
TEST_F(RecordLogTest, OnlyStartOnLoadOfExactlyOneRecordsAtStartUp)
{
    for (const qint16 value : { 0, 1, 2, -1 }) {
        ts.writeSettings({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, value });
        recorder->initialize();
        settle();
        EXPECT_EQ(settings.StartOnLoad, value);
        EXPECT_EQ(state.IsRecording, value == 1) << value;
        stop();
    }
}

// A log deleted while it is being recorded is noticed (within the writer's one-second check),
// reported, and recording goes on into a fresh log at the day's path.
TEST_F(RecordLogTest, LogDeletedWhileRecordingGoesOnInAFreshLog)
{
    record();
    run(1'000);
    ASSERT_TRUE(QFile::remove(log(QStringLiteral("L120626.wav"))));
    QTest::qWait(1'100);
    run(1'300); // "again" once a second of audio went into the new log
    EXPECT_TRUE(state.IsRecording);
    ASSERT_EQ(ts.messages.shown.size(), 2);
    EXPECT_TRUE(ts.messages.shown[0].startsWith(QStringLiteral("53 "))
        && ts.messages.shown[0].contains(QStringLiteral("deleted")))
        << ts.messages.shown[0].toStdString();
    stop();
    EXPECT_NEAR(readWav(log(QStringLiteral("L120626.wav"))).samples.size() / 11025.0, 1.3, 0.3);
}

// A sound card that appears 20 s after Record, then a disk that fills and frees: tried again
// every 5 s, each failure and each recovery reported once, the window not saying "Recording"
// meanwhile, the first log kept and the rest in the next name.
TEST_F(RecordLogTest, RecorderTriesAgainUntilItRecordsAndNeverOverwrites)
{
    constexpr std::int64_t kRoomy = std::int64_t { 1 } << 40;
    std::atomic<std::int64_t> room { kRoomy };
    recorder->chain().withStages([&room](WaveInput&, WaveFileWriter& writer) {
        writer.setSinkFactory([&room](const QString& p) { return std::make_unique<FillingDisk>(p, room); });
    });
    ts.audio.failOpen = true;
    record();
    run(20'000);
    EXPECT_FALSE(state.IsRecording);
    EXPECT_EQ(ts.messages.shown.size(), 1);
    ts.audio.failOpen = false;
    run(5'000);
    ASSERT_TRUE(state.IsRecording);
    ASSERT_EQ(ts.messages.shown.size(), 2);
    EXPECT_TRUE(ts.messages.shown[1].contains(QStringLiteral("for 20.0 seconds")))
        << ts.messages.shown[1].toStdString();

    run(2'000);
    room = 0;
    run(8'000);
    EXPECT_FALSE(state.IsRecording);
    EXPECT_EQ(recorder->status(), RecorderStatus::Stopped);
    EXPECT_EQ(ts.messages.shown.size(), 3);
    room = kRoomy;
    run(5'000);
    ASSERT_TRUE(state.IsRecording);
    EXPECT_EQ(ts.messages.shown.size(), 4);
    run(1'000);
    stop();
    EXPECT_EQ(logs(), (QStringList { QStringLiteral("L120626.wav"), QStringLiteral("L12062601.wav") }));
    const WavContents first = readWav(log(QStringLiteral("L120626.wav")));
    EXPECT_NEAR(first.samples.size() / 11025.0, 6.9, 0.5); // from 10:00:20.1 to the full disk at 10:00:27
    EXPECT_EQ(countingBreak(first.samples), 0u);
    EXPECT_GT(readWav(log(QStringLiteral("L12062601.wav"))).samples.size(), 11025u / 2);
}

// An archive disk that is not mounted is named with its mount point, nothing is written into the
// empty mount point meanwhile, and recording starts within 5 s of the disk's return.
TEST_F(RecordLogTest, ArchiveDiskAwayIsReportedAndRecordedToOnceItIsBack)
{
    Drive& d = ts.volumes.list[1];
    d.mounted = false;
    settings.LogDrive = d.letter;
    record();
    run(10'000);
    EXPECT_FALSE(state.IsRecording);
    ASSERT_EQ(ts.messages.shown.size(), 1);
    EXPECT_TRUE(ts.messages.shown[0].startsWith(QStringLiteral("1042 "))) << ts.messages.shown[0].toStdString();
    EXPECT_TRUE(ts.messages.shown[0].contains(d.root)) << ts.messages.shown[0].toStdString();
    EXPECT_TRUE(QDir(d.root).isEmpty());
    d.mounted = true;
    run(5'000);
    ASSERT_TRUE(state.IsRecording);
    EXPECT_TRUE(state.CurrentLogPath.startsWith(d.root + QStringLiteral("/Wendmoor/logs/")));
}

// A disk that takes a new log's header but none of its audio (a FLAC or Opus encoder holds its
// first frames back): one new log per retry interval, not one per drain, and "Recording again"
// only once audio reaches a log.
class HeaderOnlyDisk final : public FileBackedDisk {
public:
    using FileBackedDisk::FileBackedDisk;
    std::int64_t write(const void* data, std::int64_t bytes) override
    {
        if (m_synced && full) {
            m_error = ENOSPC;
            return 0;
        }
        return m_file.write(data, bytes);
    }
    bool sync() override { return m_synced = m_file.sync(); }
    int error() const override { return m_error != 0 ? m_error : m_file.error(); }
    static inline std::atomic<bool> full { false };

private:
    bool m_synced = false;
    int m_error = 0;
};

TEST_F(RecordLogTest, ADiskThatTakesOnlyHeadersGetsOneNewLogPerRetryAndNoFalseRecordingAgain)
{
    for (const int format : { 3, 9 }) {
        SCOPED_TRACE(format);
        settings.RecordFormat = static_cast<std::int16_t>(format);
        recorder->chain().withStages([](WaveInput&, WaveFileWriter& writer) {
            writer.setSinkFactory([](const QString& p) { return std::make_unique<HeaderOnlyDisk>(p); });
        });
        ts.messages.shown.clear();
        HeaderOnlyDisk::full = false;
        record();
        run(1'000);
        HeaderOnlyDisk::full = true;
        run(12'000);
        const QString name = QFileInfo(state.CurrentLogPath).fileName();
        EXPECT_LE(QDir(archive).entryList(QDir::Files).size(), 4)
            << QDir(archive).entryList().join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(ts.messages.shown.join(QLatin1Char('\n')).contains(QStringLiteral("Recording again")));
        HeaderOnlyDisk::full = false;
        run(6'000);
        EXPECT_TRUE(state.IsRecording);
        ASSERT_FALSE(ts.messages.shown.isEmpty());
        EXPECT_TRUE(ts.messages.shown.back().startsWith(QStringLiteral("Recording again")))
            << ts.messages.shown.back().toStdString();
        stop();
        for (const QString& n : QDir(archive).entryList(QDir::Files))
            QFile::remove(log(n));
    }
}

// The log deleted and its drive gone: what keeps a new log from starting is said (not only that
// the log was deleted), and so is when it records again and for how long nothing was.
TEST_F(RecordLogTest, ANewLogThatCannotBeMadeAfterADeletedOneSaysWhyAndWhenItRecordsAgain)
{
    record();
    run(1'000);
    ASSERT_TRUE(QFile::remove(log(QStringLiteral("L120626.wav"))));
    ts.volumes.list[0].mounted = false;
    QTest::qWait(1'100);
    run(3'000);
    ts.volumes.list[0].mounted = true;
    run(6'000);
    EXPECT_TRUE(state.IsRecording);
    ASSERT_EQ(ts.messages.shown.size(), 3) << ts.messages.shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(ts.messages.shown[0].startsWith(QStringLiteral("53 ")));
    EXPECT_TRUE(ts.messages.shown[1].startsWith(QStringLiteral("1042 "))) << ts.messages.shown[1].toStdString();
    EXPECT_TRUE(ts.messages.shown[2].contains(QStringLiteral("nothing was recorded for 5."))
        || ts.messages.shown[2].contains(QStringLiteral("nothing was recorded for 4.")))
        << ts.messages.shown[2].toStdString();
    stop();
}

} // namespace
