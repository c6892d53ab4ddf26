// A month of a station's life through the real Recorder, its TimeIndex and the catalog, on the
// tests' fake clock and sound card and a temporary drive: every day's midnight, summer time
// begun and ended, the program killed and started again, a clean end and a start, the operator's
// Stop for an hour, a stall over midnight, and a card whose clock runs 100 ppm fast. The card's
// signal says when each sample was taken (a count of an ideal 8 kHz clock), so that afterwards
// every second of the month can be checked: in a log, at the position the catalog gives, or in a
// gap with the reason that really held.
//
//   station_month            31 days (about 1.4 GB of logs a day, two days kept at a time)
//   station_month --smoke    five hours over a midnight and the start of summer time
//   --days N                 N days instead of 31 (summer time begins on day 6 and ends on day 21)
//   --stride S               check every S-th second, and each one within 10 s of a change or of a
//                            midnight (the catalog's look-up reads a log's pairings each time)
//
// It prints the seconds unaccounted (the goal is 0), the worst position error, the catalog's size
// per day, the CPU seconds per simulated day and the resident memory after each week.
#include "ProcessMeasures.h"
#include "catalog/Catalog.h"
#include "catalog/CatalogWriter.h"
#include "media/WaveReader.h"
#include "recorder/Recorder.h"
#include "recorder/TimeIndex.h"

#include "TestServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// A zone whose summer time begins on day 100 of the year at 02:00 and ends on day 115 at 03:00,
// so that one month holds both changes.
constexpr const char* kZone = "WMT-1WMST,J100/2,J115/3";
constexpr int kRate = 8000;
constexpr double kCardRate = kRate * (1.0 + 100e-6); // the card's clock, 100 ppm fast
constexpr int kFormat = 1; // PCM 8 kHz 16 bit: a sample holds the count

using bench::cpuSeconds;
using bench::residentKiB;

// What really happened from an instant on: recording (no reason) or a gap for a reason.
using Truth = std::map<UtcMs, std::optional<GapReason>>;

class Station {
public:
    TestServices ts;
    Settings settings;
    RecorderState state;
    std::unique_ptr<CatalogWriter> writer = std::make_unique<CatalogWriter>(ts.messages);
    std::unique_ptr<wendmoor::Recorder> recorder;
    std::unique_ptr<TimeIndex> index;
    Truth truth;
    UtcMs monthStart = 0;
    std::int64_t cardFrames = 0; // taken by the card since the month began
    bool stalled = false;
    std::atomic<qint64> simulatedMs { 0 }; // the clock, for the recording thread

    explicit Station(const QDateTime& start)
    {
        ts.makeArchive();
        settings.LogDrive = QLatin1Char('C');
        settings.RecordFormat = kFormat;
        settings.DaysToKeep = 2;
        ts.clock.current = start;
        monthStart = start.toMSecsSinceEpoch();
        simulatedMs = monthStart;
        truth[std::numeric_limits<UtcMs>::min()] = GapReason::Unknown;
        startProgram();
    }
    [[nodiscard]] UtcMs now() const { return ts.clock.current.toMSecsSinceEpoch(); }
    [[nodiscard]] QString archive() const { return ts.volumes.archiveFolder(QLatin1Char('C')); }

    void startProgram()
    {
        recorder = std::make_unique<wendmoor::Recorder>(ts.services, settings, state);
        recorder->clockTimer().stop(); // the clock ticks on the fake time
        recorder->setRetryInterval(1000);
        // The input's outage watch reads the simulated clock: a check of the logs takes real
        // seconds in which no simulated time passes and no sample comes.
        recorder->chain().withStages(
            [this](WaveInput& input, WaveFileWriter&) { input.setClock([this] { return simulatedMs.load(); }); });
        index = std::make_unique<TimeIndex>(*recorder, *writer, settings);
        index->programStarted(ts.clock.current);
        record();
    }
    void record()
    {
        recorder->record();
        recorder->chain().settle(); // the outcome, as the window's event loop delivers it
        truth[now()] = std::nullopt;
    }
    void operatorStop()
    {
        recorder->stop();
        recorder->chain().settle();
        truth[now()] = GapReason::OperatorStop;
    }
    // The process dies: nothing more reaches the catalog; the log keeps what was written.
    void kill()
    {
        index.reset();
        recorder.reset();
        truth[now()] = GapReason::ProgramCrashed;
    }
    void cleanEnd()
    {
        recorder->shutdown();
        index->programEnded(ts.clock.current);
        index.reset();
        recorder.reset();
        truth[now()] = GapReason::ProgramEnded;
    }

    // One second: the card takes its samples (fed while a recording takes them), the recording
    // thread drains them, and the clock ticks (unless the user-interface thread stalls).
    void second()
    {
        const auto until = static_cast<std::int64_t>(
            std::floor(static_cast<double>(now() + 1000 - monthStart) / 1000.0 * kCardRate));
        const bool taking = recorder && state.IsRecording;
        std::vector<std::int16_t> block;
        block.reserve(static_cast<std::size_t>(until - cardFrames));
        for (; cardFrames < until; ++cardFrames) {
            // The ideal 8 kHz clock's count when the card took this sample.
            const auto tick = static_cast<std::int64_t>(static_cast<double>(cardFrames) * kRate / kCardRate);
            block.push_back(static_cast<std::int16_t>(tick % 32768));
        }
        ts.clock.advanceMs(1000);
        simulatedMs = now();
        if (!taking || !recorder)
            return;
        ts.audio.feed(block);
        recorder->chain().pump();
        if (!stalled) {
            recorder->tick();
            // What the tick asked of the chain is done within the second, and what the recording
            // thread posted is delivered, as the window's event loop does.
            recorder->chain().settle();
            QCoreApplication::processEvents();
        }
    }

    [[nodiscard]] std::optional<GapReason> truthAt(UtcMs utc) const
    {
        return std::prev(truth.upper_bound(utc))->second;
    }
};

struct Tally {
    std::int64_t seconds = 0;
    std::int64_t checked = 0;
    std::int64_t unaccounted = 0;
    double worstErrorMs = 0;
    UtcMs worstAt = 0;
    QString worstLog;
    int examples = 0;
};

// Whether `t` is within ten seconds of a change of what really happened or of a local midnight,
// where a fault would show first.
bool nearAChange(const Station& s, UtcMs t)
{
    constexpr UtcMs kNear = 10'000;
    const auto after = s.truth.lower_bound(t - kNear);
    if (after != s.truth.end() && after->first <= t + kNear)
        return true;
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(t);
    const UtcMs midnight = QDateTime(local.date(), QTime(0, 0)).toMSecsSinceEpoch();
    const UtcMs nextMidnight = QDateTime(local.date().addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
    return t - midnight < kNear || nextMidnight - t < kNear;
}

// Checks the seconds of [from, to) against the catalog and the logs: every `stride`th one, and
// every one near a change.
void verify(Station& s, UtcMs from, UtcMs to, int stride, Tally& tally)
{
    s.writer->flush();
    const auto catalog = Catalog::open(s.archive(), Catalog::Mode::ReadOnly);
    std::map<QString, std::unique_ptr<WaveReader>> readers;
    for (UtcMs t = from + 500; t < to; t += 1000) {
        ++tally.seconds;
        if (stride > 1 && ((t - s.monthStart) / 1000) % stride != 0 && !nearAChange(s, t))
            continue;
        ++tally.checked;
        const Location where = catalog->locate(t);
        const std::optional<GapReason> truth = s.truthAt(t);
        QString wrong;
        if (where.segment && truth) {
            wrong = QStringLiteral("in %1 but %2").arg(where.segment->log, gapReasonName(*truth));
        } else if (where.gap && !truth) {
            wrong = QStringLiteral("recorded but in a gap: %1").arg(gapReasonName(where.gap->reason));
        } else if (where.gap && where.gap->reason != *truth) {
            wrong = QStringLiteral("gap says %1, was %2").arg(gapReasonName(where.gap->reason), gapReasonName(*truth));
        } else if (where.segment) {
            auto& reader = readers[where.segment->log];
            if (!reader)
                reader = openWaveReader(QDir(s.archive()).filePath(where.segment->log));
            std::int16_t sample = 0;
            reader->seek(where.frame);
            if (reader->read(std::span(&sample, 1)) != 1) {
                wrong = QStringLiteral("frame %1 is past the end of %2").arg(where.frame).arg(where.segment->log);
            } else {
                const std::int64_t claimed = (t - s.monthStart) * kRate / 1000;
                std::int64_t d = (sample - claimed % 32768 + 32768 * 2) % 32768;
                if (d >= 16384)
                    d -= 32768;
                const double errorMs = static_cast<double>(d) * 1000.0 / kRate;
                if (std::abs(errorMs) > tally.worstErrorMs) {
                    tally.worstErrorMs = std::abs(errorMs);
                    tally.worstAt = t;
                    tally.worstLog = QStringLiteral("%1 frame %2").arg(where.segment->log).arg(where.frame);
                }
                if (std::abs(errorMs) > 1000)
                    wrong = QStringLiteral("%1 ms off in %2").arg(errorMs).arg(where.segment->log);
            }
        }
        if (!wrong.isEmpty()) {
            ++tally.unaccounted;
            if (tally.examples++ < 10) {
                std::printf("  unaccounted %s: %s\n",
                    qPrintable(QDateTime::fromMSecsSinceEpoch(t).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))),
                    qPrintable(wrong));
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    bool smoke = false;
    int stride = 1;
    int monthDays = 31;
    for (int i = 1; i < argc; ++i) {
        smoke = smoke || std::strcmp(argv[i], "--smoke") == 0;
        if (std::strcmp(argv[i], "--stride") == 0 && i + 1 < argc)
            stride = std::max(1, std::atoi(argv[++i]));
        if (std::strcmp(argv[i], "--days") == 0 && i + 1 < argc)
            monthDays = std::max(1, std::atoi(argv[++i]));
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    qputenv("TZ", kZone);
    tzset();
    QCoreApplication app(argc, argv);

    // Day 100 of 2026 is 10 April; the month begins on 5 April (the smoke run on 9 April, 23:00).
    const QDateTime start
        = smoke ? QDateTime(QDate(2026, 4, 9), QTime(23, 0)) : QDateTime(QDate(2026, 4, 5), QTime(0, 0));
    const QDateTime end = smoke ? start.addSecs(5 * 3600) : QDateTime(start.date().addDays(monthDays), QTime(0, 0));
    const auto at = [&](int day, int h, int m, int s = 0) {
        return QDateTime(start.date().addDays(day), QTime(h, m, s)).toMSecsSinceEpoch();
    };
    // What happens when (local time of a day counted from the start).
    struct Event {
        UtcMs utc;
        void (*what)(Station&);
    };
    std::vector<Event> events;
    if (smoke) {
        events = { { at(0, 23, 20), [](Station& s) { s.kill(); } },
            { at(0, 23, 22), [](Station& s) { s.startProgram(); } },
            { at(0, 23, 59, 58), [](Station& s) { s.stalled = true; } },
            { at(1, 0, 0, 4), [](Station& s) { s.stalled = false; } },
            { at(1, 0, 30), [](Station& s) { s.operatorStop(); } }, { at(1, 0, 40), [](Station& s) { s.record(); } },
            { at(1, 1, 0), [](Station& s) { s.cleanEnd(); } }, { at(1, 1, 5), [](Station& s) { s.startProgram(); } } };
    } else {
        events = { { at(2, 10, 0), [](Station& s) { s.kill(); } },
            { at(2, 10, 2), [](Station& s) { s.startProgram(); } },
            { at(3, 23, 59, 58), [](Station& s) { s.stalled = true; } },
            { at(4, 0, 0, 4), [](Station& s) { s.stalled = false; } },
            { at(6, 12, 0), [](Station& s) { s.operatorStop(); } }, { at(6, 13, 0), [](Station& s) { s.record(); } },
            { at(9, 8, 0), [](Station& s) { s.cleanEnd(); } }, { at(9, 8, 5), [](Station& s) { s.startProgram(); } } };
    }

    Station s(start);
    Tally tally;
    double verifyCpu = 0;
    UtcMs verified = s.monthStart;
    std::size_t next = 0;
    const double cpu0 = cpuSeconds();
    int week = 0;
    while (s.ts.clock.current < end) {
        while (next < events.size() && events[next].utc <= s.now())
            events[next++].what(s);
        s.second();
        // Ten minutes into a day the one before is checked (its logs are closed, and kept).
        const QDateTime local = s.ts.clock.current;
        if (local >= end && s.recorder)
            s.cleanEnd(); // the last day's log finished and its end told, then checked
        if (local.time() == QTime(0, 10) || local >= end) {
            const double v0 = cpuSeconds();
            const UtcMs until = local >= end ? s.now() : QDateTime(local.date(), QTime(0, 0)).toMSecsSinceEpoch();
            verify(s, verified, until, stride, tally);
            verified = until;
            verifyCpu += cpuSeconds() - v0;
            const int days = static_cast<int>(start.date().daysTo(local.date()));
            std::printf("day %d checked: %lld seconds unaccounted, worst position error %.1f ms, %.0f CPU s so far\n",
                days, static_cast<long long>(tally.unaccounted), tally.worstErrorMs, cpuSeconds() - cpu0);
            if (days / 7 > week) {
                week = days / 7;
                std::printf("after week %d: resident memory %ld KiB\n", week, residentKiB());
            }
        }
    }
    if (s.recorder)
        s.cleanEnd();
    s.writer.reset(); // the last connection: its journal goes into the database
    const double days = static_cast<double>(end.toMSecsSinceEpoch() - start.toMSecsSinceEpoch()) / 86'400'000.0;
    const double cpu = cpuSeconds() - cpu0 - verifyCpu;
    const QString db = QDir(s.archive()).filePath(QLatin1String(Catalog::kFileName));
    const double dbBytes = static_cast<double>(QFileInfo(db).size() + QFileInfo(db + QStringLiteral("-wal")).size());
    std::printf("simulated %.2f days: %lld seconds checked of %lld (every %d s, and each one near a change)\n", days,
        static_cast<long long>(tally.checked), static_cast<long long>(tally.seconds), stride);
    std::printf("seconds unaccounted: %lld (goal 0)\n", static_cast<long long>(tally.unaccounted));
    std::printf("worst position error: %.1f ms, at %s (%s)\n", tally.worstErrorMs,
        qPrintable(QDateTime::fromMSecsSinceEpoch(tally.worstAt).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))),
        qPrintable(tally.worstLog));
    std::printf("catalog: %.1f KiB per day (%.0f KiB in all)\n", dbBytes / 1024.0 / days, dbBytes / 1024.0);
    std::printf("CPU: %.2f s per simulated day (recording), %.2f s per day checking\n", cpu / days, verifyCpu / days);
    std::printf("resident memory at the end: %ld KiB\n", residentKiB());
    for (const QString& m : s.ts.messages.shown)
        std::printf("message: %s\n", qPrintable(m));
    return tally.unaccounted == 0 ? 0 : 1;
}
