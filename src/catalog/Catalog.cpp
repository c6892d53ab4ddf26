#include "catalog/Catalog.h"

#include "archive/LogNames.h"
#include "media/LogStamp.h"
#include "media/WaveReader.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/Sha256.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sys/stat.h>
#include <time.h>

namespace wendmoor {

namespace {

constexpr int kSchemaVersion = 1;
// Another process (the command line, the web server) may hold the database for a moment.
constexpr int kBusyTimeoutMs = 5000;
// A pairing is kept at most this often; the segment's end is brought up to date on every one.
constexpr UtcMs kPairingIntervalMs = 30'000;
// A clock that moved this much more or less than the frames did was set, not drifting.
constexpr UtcMs kClockStepMs = 1000;
constexpr UtcMs kNever = std::numeric_limits<UtcMs>::max();

const char* const kSchema = R"(
CREATE TABLE logs(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  day TEXT NOT NULL,
  rate INTEGER NOT NULL,
  channels INTEGER NOT NULL);
CREATE TABLE segments(
  id INTEGER PRIMARY KEY,
  log_id INTEGER NOT NULL REFERENCES logs(id) ON DELETE CASCADE,
  first_frame INTEGER NOT NULL,
  frames INTEGER NOT NULL,
  start_utc INTEGER NOT NULL,
  end_utc INTEGER NOT NULL,
  utc_offset INTEGER NOT NULL,
  open INTEGER NOT NULL DEFAULT 0);
CREATE INDEX segments_by_start ON segments(start_utc);
CREATE TABLE pairings(
  segment_id INTEGER NOT NULL REFERENCES segments(id) ON DELETE CASCADE,
  frame INTEGER NOT NULL,
  utc INTEGER NOT NULL,
  PRIMARY KEY(segment_id, frame)) WITHOUT ROWID;
CREATE TABLE gaps(
  id INTEGER PRIMARY KEY,
  from_utc INTEGER NOT NULL,
  to_utc INTEGER,
  reason INTEGER NOT NULL,
  detail TEXT NOT NULL DEFAULT '',
  in_log INTEGER NOT NULL DEFAULT 0);
CREATE INDEX gaps_by_start ON gaps(from_utc);
CREATE TABLE holds(
  id INTEGER PRIMARY KEY,
  from_utc INTEGER NOT NULL,
  to_utc INTEGER NOT NULL,
  reason TEXT NOT NULL,
  user TEXT NOT NULL,
  created_utc INTEGER NOT NULL,
  released_utc INTEGER);
CREATE TABLE state(key TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID;
)";

// Added after the first schema, without changing its version: a reader that does not know the
// table ignores it, and a catalog without it has no checksums yet.
const char* const kChecksumTable = R"(
CREATE TABLE IF NOT EXISTS checksums(
  name TEXT PRIMARY KEY,
  size INTEGER NOT NULL,
  modified_ns INTEGER NOT NULL,
  sha256 TEXT NOT NULL,
  taken_utc INTEGER NOT NULL) WITHOUT ROWID;
)";
// A log written less than this long ago may still be being written: its checksum is not kept.
constexpr std::int64_t kSettledNs = 5'000'000'000;

// One prepared statement, finalized when it goes.
class Statement {
public:
    Statement(sqlite3* db, const char* sql, const QString& path)
        : m_db(db)
        , m_path(path)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            fail();
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::int64_t value)
    {
        sqlite3_bind_int64(m_stmt, index, value);
        return *this;
    }
    Statement& bind(int index, const QString& value)
    {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindNull(int index)
    {
        sqlite3_bind_null(m_stmt, index);
        return *this;
    }
    // True while there is a row.
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }
    void run() { (void)step(); }
    [[nodiscard]] std::int64_t integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    [[nodiscard]] bool isNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    [[nodiscard]] QString text(int column) const
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)));
    }

private:
    [[noreturn]] void fail() const
    {
        throw Error(ErrorNumber::CatalogFailure,
            QStringLiteral("Catalog %1: %2").arg(m_path, QString::fromUtf8(sqlite3_errmsg(m_db))));
    }

    sqlite3* m_db;
    QString m_path;
    sqlite3_stmt* m_stmt = nullptr;
};

void exec(sqlite3* db, const char* sql, const QString& path)
{
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw Error(ErrorNumber::CatalogFailure, QStringLiteral("Catalog %1: %2").arg(path, text));
    }
}

// Everything between begin and the end of the scope is one transaction: all of it or none.
class Transaction {
public:
    Transaction(sqlite3* db, const QString& path)
        : m_db(db)
        , m_path(path)
    {
        exec(db, "BEGIN IMMEDIATE", path);
    }
    ~Transaction()
    {
        if (!m_done)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit()
    {
        exec(m_db, "COMMIT", m_path);
        m_done = true;
    }

private:
    sqlite3* m_db;
    QString m_path;
    bool m_done = false;
};

struct SegmentRow {
    std::int64_t id = 0;
    Segment segment;
};

const char* const kSegmentColumns
    = "s.id, l.name, s.first_frame, s.frames, s.start_utc, s.end_utc, s.utc_offset, l.rate "
      "FROM segments s JOIN logs l ON l.id = s.log_id ";

SegmentRow segmentRow(const Statement& q)
{
    SegmentRow row;
    row.id = q.integer(0);
    row.segment.log = q.text(1);
    row.segment.firstFrame = q.integer(2);
    row.segment.frames = q.integer(3);
    row.segment.startUtc = q.integer(4);
    row.segment.endUtc = q.integer(5);
    row.segment.utcOffsetSeconds = int(q.integer(6));
    row.segment.sampleRate = int(q.integer(7));
    return row;
}

Gap gapRow(const Statement& q, UtcMs openEnd)
{
    Gap gap;
    gap.fromUtc = q.integer(0);
    gap.toUtc = q.isNull(1) ? openEnd : q.integer(1);
    gap.reason = GapReason(q.integer(2));
    gap.detail = q.text(3);
    return gap;
}

// The pairings of a segment, its start and end included, in frame order.
std::vector<std::pair<std::int64_t, UtcMs>> pairingsOf(sqlite3* db, const QString& path, const SegmentRow& row)
{
    std::vector<std::pair<std::int64_t, UtcMs>> points { { row.segment.firstFrame, row.segment.startUtc } };
    Statement q(db, "SELECT frame, utc FROM pairings WHERE segment_id = ? ORDER BY frame", path);
    q.bind(1, row.id);
    while (q.step()) {
        if (q.integer(0) > points.back().first)
            points.emplace_back(q.integer(0), q.integer(1));
    }
    const std::int64_t end = row.segment.firstFrame + row.segment.frames;
    if (end > points.back().first)
        points.emplace_back(end, row.segment.endUtc);
    return points;
}

// The frame taken at `utc`, on the straight line between the pairings around it (beyond the
// last one, the last line goes on; a segment without two pairings runs at its nominal rate).
std::int64_t frameAt(const std::vector<std::pair<std::int64_t, UtcMs>>& points, int rate, UtcMs utc)
{
    std::size_t i = 1;
    while (i + 1 < points.size() && points[i].second <= utc)
        ++i;
    if (points.size() < 2 || points[i].second == points[i - 1].second)
        return points.front().first + std::llround(double(utc - points.front().second) * rate / 1000.0);
    const auto [f0, u0] = points[i - 1];
    const auto [f1, u1] = points[i];
    return f0 + std::llround(double(utc - u0) * double(f1 - f0) / double(u1 - u0));
}

UtcMs utcAt(const std::vector<std::pair<std::int64_t, UtcMs>>& points, int rate, std::int64_t frame)
{
    std::size_t i = 1;
    while (i + 1 < points.size() && points[i].first <= frame)
        ++i;
    if (points.size() < 2)
        return points.front().second + std::llround(double(frame - points.front().first) * 1000.0 / rate);
    const auto [f0, u0] = points[i - 1];
    const auto [f1, u1] = points[i];
    return u0 + std::llround(double(frame - f0) * double(u1 - u0) / double(f1 - f0));
}

UtcMs localMidnightUtc(const QDate& day)
{
    return QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
}

} // namespace

QString gapReasonName(GapReason reason)
{
    switch (reason) {
    case GapReason::Standby:
        return QStringLiteral("standby");
    case GapReason::OperatorStop:
        return QStringLiteral("operator stop");
    case GapReason::ProgramEnded:
        return QStringLiteral("program ended");
    case GapReason::ProgramCrashed:
        return QStringLiteral("program crashed");
    case GapReason::InputLost:
        return QStringLiteral("input lost");
    case GapReason::WriteFailure:
        return QStringLiteral("write failure");
    case GapReason::ClockStepped:
        return QStringLiteral("clock stepped");
    case GapReason::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

std::int64_t DayReport::recordedMs() const
{
    std::int64_t total = 0;
    for (const Segment& s : segments)
        total += s.endUtc - s.startUtc;
    return total;
}

Catalog::Catalog(QString folder, sqlite3* db)
    : m_folder(std::move(folder))
    , m_db(db)
{
}

Catalog::~Catalog()
{
    sqlite3_close_v2(m_db);
}

QString Catalog::databasePath() const
{
    return QDir(m_folder).filePath(QLatin1String(kFileName));
}

namespace {

sqlite3* openDatabase(const QString& path, int flags)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    return db;
}

int userVersion(sqlite3* db, const QString& path)
{
    Statement q(db, "PRAGMA user_version", path);
    return q.step() ? int(q.integer(0)) : 0;
}

bool healthy(sqlite3* db, const QString& path)
{
    try {
        Statement q(db, "PRAGMA quick_check", path);
        if (!q.step() || q.text(0) != QLatin1String("ok"))
            return false;
        Statement tables(db,
            "SELECT count(*) FROM sqlite_schema WHERE name IN ('logs','segments','pairings','gaps','holds','state')",
            path);
        return tables.step() && tables.integer(0) == 6;
    } catch (const Error&) {
        return false;
    }
}

void createSchema(sqlite3* db, const QString& path)
{
    exec(db, "PRAGMA foreign_keys = ON", path);
    Transaction t(db, path);
    exec(db, kSchema, path);
    exec(db, kChecksumTable, path);
    exec(db, QByteArray("PRAGMA user_version = ").append(QByteArray::number(kSchemaVersion)).constData(), path);
    t.commit();
}

} // namespace

std::unique_ptr<Catalog> Catalog::open(const QString& archiveFolder, Mode mode, MessageSink* messages)
{
    const QString path = QDir(archiveFolder).filePath(QLatin1String(kFileName));
    if (!QFileInfo(archiveFolder).isDir())
        throw Error(ErrorNumber::PathNotFound, QStringLiteral("Archive folder %1 not found").arg(archiveFolder));
    const bool existed = QFileInfo::exists(path);
    QString problem;

    if (mode == Mode::ReadWrite) {
        auto openFile = [&]() {
            sqlite3* db = openDatabase(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            if (!db)
                throw Error(ErrorNumber::CatalogFailure, QStringLiteral("Catalog %1 cannot be opened").arg(path));
            return std::unique_ptr<Catalog>(new Catalog(archiveFolder, db));
        };
        std::unique_ptr<Catalog> catalog = openFile();
        sqlite3* db = catalog->m_db;
        int version = 0;
        bool empty = !existed;
        try {
            version = existed ? userVersion(db, path) : 0;
            if (version == 0) {
                Statement any(db, "SELECT count(*) FROM sqlite_schema", path);
                empty = any.step() && any.integer(0) == 0;
            }
        } catch (const Error&) {
            version = -1; // not a database at all
        }
        if (version > kSchemaVersion)
            throw Error(ErrorNumber::CatalogFailure,
                QStringLiteral("Catalog %1 was written by a newer Wendmoor (schema %2); it is left as it is")
                    .arg(path)
                    .arg(version));
        if (version == kSchemaVersion && healthy(db, path)) {
            exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON", path);
            exec(db, kChecksumTable, path);
            return catalog;
        }
        if (!empty) {
            // The damaged file is kept for whoever wants to look at it; a new one takes its place.
            problem = version == kSchemaVersion ? QStringLiteral("damaged") : QStringLiteral("not a catalog");
            catalog.reset();
            const QString kept = path + QStringLiteral(".damaged");
            QFile::remove(kept);
            if (!QFile::rename(path, kept))
                throw Error(ErrorNumber::CatalogFailure,
                    QStringLiteral("Catalog %1 is %2 and cannot be set aside").arg(path, problem));
            QFile::remove(path + QStringLiteral("-wal"));
            QFile::remove(path + QStringLiteral("-shm"));
            catalog = openFile();
            db = catalog->m_db;
        }
        exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", path);
        createSchema(db, path);
        catalog->rebuild();
        catalog->m_rebuilt = true;
        if (messages && !problem.isEmpty()) {
            messages->ShowMessage(Error(ErrorNumber::CatalogFailure,
                QStringLiteral("Catalog %1 was %2 and has been rebuilt from the logs; the reasons of earlier gaps are "
                               "unknown (the old file is %1.damaged)")
                    .arg(path, problem)));
        }
        return catalog;
    }

    // Reading only: the file as it is, or (on a read-only copy of an archive, whose WAL index
    // cannot be made) as an unchanging file, or else a catalog rebuilt in memory.
    if (existed) {
        for (const QString& uri : { path, QStringLiteral("file:%1?immutable=1").arg(path) }) {
            sqlite3* db = openDatabase(uri, SQLITE_OPEN_READONLY);
            if (!db)
                continue;
            std::unique_ptr<Catalog> catalog(new Catalog(archiveFolder, db));
            try {
                if (userVersion(db, path) == kSchemaVersion && healthy(db, path))
                    return catalog;
            } catch (const Error&) {
            }
        }
        problem = QStringLiteral("unreadable or damaged");
    }
    sqlite3* db = openDatabase(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE);
    std::unique_ptr<Catalog> catalog(new Catalog(archiveFolder, db));
    createSchema(db, path);
    catalog->rebuild();
    catalog->m_rebuilt = true;
    if (messages) {
        messages->ShowMessage(Error(ErrorNumber::CatalogFailure,
            QStringLiteral("Catalog %1 is %2: the logs were read instead; the reasons of gaps are unknown")
                .arg(path, existed ? problem : QStringLiteral("missing"))));
    }
    return catalog;
}

void Catalog::rebuild()
{
    const QString path = databasePath();
    // Read the logs before the transaction: a long read must not hold the database.
    struct Found {
        LogEntry entry;
        std::int64_t frames;
        UtcMs start;
        int offset;
    };
    std::vector<Found> found;
    for (const QString& fileName : logFileNames(m_folder)) {
        const std::optional<LogName> name = parseLogName(fileName);
        if (!name)
            continue; // a file without a date says nothing of when it was recorded
        const QString file = QDir(m_folder).filePath(fileName);
        std::int64_t frames = 0;
        int rate = 0;
        int channels = 1;
        try {
            const std::unique_ptr<WaveReader> reader = openWaveReader(file);
            frames = reader->frames();
            rate = reader->sampleRate();
            channels = reader->channels();
        } catch (const Error&) {
            continue; // a file that is not audio holds no time
        }
        QDateTime first = QDateTime(name->date, name->afternoon ? QTime(12, 0) : QTime(0, 0));
        if (const std::optional<LogStamp> stamp = readLogStamp(file))
            first = stamp->firstSample;
        found.push_back(
            { { fileName, name->date, rate, channels }, frames, first.toMSecsSinceEpoch(), first.offsetFromUtc() });
    }

    Transaction t(m_db, path);
    exec(m_db, "DELETE FROM pairings; DELETE FROM segments; DELETE FROM logs; DELETE FROM gaps; DELETE FROM state",
        path);
    for (const Found& f : found) {
        Statement log(m_db, "INSERT INTO logs(name, day, rate, channels) VALUES(?, ?, ?, ?)", path);
        log.bind(1, f.entry.log).bind(2, f.entry.day.toString(Qt::ISODate)).bind(3, f.entry.sampleRate);
        log.bind(4, f.entry.channels).run();
        Statement seg(m_db,
            "INSERT INTO segments(log_id, first_frame, frames, start_utc, end_utc, utc_offset) VALUES(?, 0, ?, ?, ?, "
            "?)",
            path);
        seg.bind(1, sqlite3_last_insert_rowid(m_db)).bind(2, f.frames).bind(3, f.start);
        seg.bind(4, f.start + f.frames * 1000 / std::max(1, f.entry.sampleRate)).bind(5, f.offset).run();
    }
    t.commit();
}

// ---- queries

std::vector<Segment> Catalog::segmentsOverlapping(UtcMs fromUtc, UtcMs toUtc) const
{
    std::vector<Segment> out;
    Statement q(m_db,
        QByteArray("SELECT ")
            .append(kSegmentColumns)
            .append("WHERE s.start_utc < ? AND s.end_utc > ? ORDER BY s.start_utc, s.first_frame")
            .constData(),
        databasePath());
    q.bind(1, toUtc).bind(2, fromUtc);
    while (q.step())
        out.push_back(segmentRow(q).segment);
    return out;
}

std::vector<Gap> Catalog::gapsOverlapping(UtcMs fromUtc, UtcMs toUtc) const
{
    std::vector<Gap> out;
    Statement q(m_db,
        "SELECT from_utc, to_utc, reason, detail FROM gaps WHERE from_utc < ? AND (to_utc IS NULL OR to_utc > ?) "
        "ORDER BY from_utc",
        databasePath());
    q.bind(1, toUtc).bind(2, fromUtc);
    while (q.step()) {
        // An open gap lasts until the next segment begins, or for now until the end asked.
        Gap gap = gapRow(q, kNever);
        if (gap.toUtc == kNever) {
            const std::vector<Segment> after = segmentsOverlapping(gap.fromUtc + 1, kNever - 1);
            gap.toUtc = toUtc;
            for (const Segment& s : after) {
                if (s.startUtc > gap.fromUtc) {
                    gap.toUtc = std::min(toUtc, s.startUtc);
                    break;
                }
            }
        }
        out.push_back(gap);
    }
    return out;
}

namespace {

// The pieces of [from, to) that the recorded gaps explain, the rest Unknown, neighbours of the
// same reason joined.
void fillGaps(std::vector<Gap>& out, UtcMs from, UtcMs to, const std::vector<Gap>& known)
{
    auto add = [&out](Gap gap) {
        if (gap.toUtc <= gap.fromUtc)
            return;
        if (!out.empty() && out.back().toUtc == gap.fromUtc && out.back().reason == gap.reason
            && out.back().detail == gap.detail) {
            out.back().toUtc = gap.toUtc;
            return;
        }
        out.push_back(std::move(gap));
    };
    UtcMs cursor = from;
    for (const Gap& k : known) {
        if (k.reason == GapReason::InputLost || k.toUtc <= cursor || k.fromUtc >= to)
            continue;
        if (k.fromUtc > cursor)
            add({ cursor, k.fromUtc, GapReason::Unknown, {} });
        add({ std::max(cursor, k.fromUtc), std::min(to, k.toUtc), k.reason, k.detail });
        cursor = std::min(to, k.toUtc);
    }
    add({ cursor, to, GapReason::Unknown, {} });
}

} // namespace

DayReport Catalog::day(const QDate& localDay, UtcMs nowUtc) const
{
    DayReport report;
    report.day = localDay;
    report.dayStartUtc = localMidnightUtc(localDay);
    report.dayEndUtc = localMidnightUtc(localDay.addDays(1));
    const UtcMs end = std::min(report.dayEndUtc, nowUtc);
    if (end <= report.dayStartUtc)
        return report;

    const std::vector<Gap> known = gapsOverlapping(report.dayStartUtc, end);
    UtcMs cursor = report.dayStartUtc;
    for (Segment s : segmentsOverlapping(report.dayStartUtc, end)) {
        if (s.startUtc > cursor)
            fillGaps(report.gaps, cursor, s.startUtc, known);
        if (s.startUtc < report.dayStartUtc || s.endUtc > end) {
            // Clipped to the day: the frames follow the clock times.
            const std::vector<Segment> whole { s };
            const UtcMs from = std::max(s.startUtc, report.dayStartUtc);
            const UtcMs to = std::min(s.endUtc, end);
            const Location a = locate(from);
            const std::int64_t first = a.segment ? a.frame : s.firstFrame;
            const Location b = locate(to - 1);
            const std::int64_t last = b.segment ? b.frame + 1 : s.firstFrame + s.frames;
            s.frames = std::max<std::int64_t>(0, last - first);
            s.firstFrame = first;
            s.startUtc = from;
            s.endUtc = to;
        }
        cursor = std::max(cursor, s.endUtc);
        report.segments.push_back(s);
    }
    if (cursor < end)
        fillGaps(report.gaps, cursor, end, known);
    for (const Gap& k : known) {
        if (k.reason == GapReason::InputLost)
            report.silences.push_back(
                { std::max(k.fromUtc, report.dayStartUtc), std::min(k.toUtc, end), k.reason, k.detail });
    }
    return report;
}

Location Catalog::locate(UtcMs utc) const
{
    Location where;
    const QString path = databasePath();
    {
        // The latest segment that began by then and had not ended: after a clock set back, the
        // newer one holds the time.
        Statement q(m_db,
            QByteArray("SELECT ")
                .append(kSegmentColumns)
                .append("WHERE s.start_utc <= ? AND s.end_utc > ? ORDER BY s.start_utc DESC, s.id DESC LIMIT 1")
                .constData(),
            path);
        q.bind(1, utc).bind(2, utc);
        if (q.step()) {
            const SegmentRow row = segmentRow(q);
            const std::int64_t frame = frameAt(pairingsOf(m_db, path, row), row.segment.sampleRate, utc);
            where.frame = std::clamp(frame, row.segment.firstFrame, row.segment.firstFrame + row.segment.frames - 1);
            where.segment = row.segment;
            return where;
        }
    }
    UtcMs before = std::numeric_limits<UtcMs>::min();
    UtcMs after = kNever;
    {
        Statement q(m_db, "SELECT max(end_utc) FROM segments WHERE end_utc <= ?", path);
        q.bind(1, utc);
        if (q.step() && !q.isNull(0))
            before = q.integer(0);
        Statement n(m_db, "SELECT min(start_utc) FROM segments WHERE start_utc > ?", path);
        n.bind(1, utc);
        if (n.step() && !n.isNull(0))
            after = n.integer(0);
    }
    std::vector<Gap> pieces;
    fillGaps(pieces, before == std::numeric_limits<UtcMs>::min() ? utc : before, after == kNever ? utc + 1 : after,
        gapsOverlapping(before == std::numeric_limits<UtcMs>::min() ? utc : before, after == kNever ? utc + 1 : after));
    for (const Gap& g : pieces) {
        if (g.fromUtc <= utc && utc < g.toUtc) {
            where.gap = g;
            break;
        }
    }
    if (!where.gap)
        where.gap = Gap { utc, utc + 1, GapReason::Unknown, {} };
    // A gap that nothing bounds (before the first log, after the last) is open at that side.
    if (before == std::numeric_limits<UtcMs>::min() && where.gap->fromUtc == utc)
        where.gap->fromUtc = std::numeric_limits<UtcMs>::min();
    if (after == kNever && where.gap->toUtc == utc + 1)
        where.gap->toUtc = kNever;
    return where;
}

std::optional<UtcMs> Catalog::timeOfFrame(const QString& log, std::int64_t frame) const
{
    const QString path = databasePath();
    Statement q(m_db,
        QByteArray("SELECT ")
            .append(kSegmentColumns)
            .append("WHERE l.name = ? AND s.first_frame <= ? AND s.first_frame + s.frames > ? "
                    "ORDER BY s.first_frame DESC LIMIT 1")
            .constData(),
        path);
    q.bind(1, log).bind(2, frame).bind(3, frame);
    if (!q.step())
        return std::nullopt;
    const SegmentRow row = segmentRow(q);
    return utcAt(pairingsOf(m_db, path, row), row.segment.sampleRate, frame);
}

// ---- holds

std::int64_t Catalog::addHold(UtcMs fromUtc, UtcMs toUtc, const QString& reason, const QString& user, UtcMs nowUtc)
{
    Statement q(
        m_db, "INSERT INTO holds(from_utc, to_utc, reason, user, created_utc) VALUES(?, ?, ?, ?, ?)", databasePath());
    q.bind(1, fromUtc).bind(2, toUtc).bind(3, reason).bind(4, user).bind(5, nowUtc).run();
    return sqlite3_last_insert_rowid(m_db);
}

bool Catalog::releaseHold(std::int64_t id, UtcMs nowUtc)
{
    Statement q(m_db, "UPDATE holds SET released_utc = ? WHERE id = ? AND released_utc IS NULL", databasePath());
    q.bind(1, nowUtc).bind(2, id).run();
    return sqlite3_changes(m_db) > 0;
}

std::vector<Hold> Catalog::holds(bool includeReleased) const
{
    std::vector<Hold> out;
    Statement q(m_db,
        includeReleased ? "SELECT id, from_utc, to_utc, reason, user, created_utc, released_utc FROM holds ORDER BY id"
                        : "SELECT id, from_utc, to_utc, reason, user, created_utc, released_utc FROM holds "
                          "WHERE released_utc IS NULL ORDER BY id",
        databasePath());
    while (q.step()) {
        Hold h { q.integer(0), q.integer(1), q.integer(2), q.text(3), q.text(4), q.integer(5), std::nullopt };
        if (!q.isNull(6))
            h.releasedUtc = q.integer(6);
        out.push_back(h);
    }
    return out;
}

// ---- checksums

namespace {

struct FileState {
    std::int64_t size = -1;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileState&) const = default;
};

FileState stateOf(const QString& path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return { std::int64_t(st.st_size), std::int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec };
}

std::int64_t nowNs()
{
    struct timespec now { };
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace

LogChecksum takeChecksum(const QString& folder, const QString& log, bool& settled, const std::atomic<bool>* stop)
{
    const QString path = QDir(folder).filePath(log);
    const std::int64_t started = nowNs();
    const FileState before = stateOf(path);
    LogChecksum sum;
    sum.log = log;
    sum.sha256 = sha256OfFile(path, stop);
    sum.takenUtc = started / 1'000'000;
    sum.size = before.size;
    sum.modifiedNs = before.modifiedNs;
    settled = before.size >= 0 && stateOf(path) == before && started - before.modifiedNs >= kSettledNs;
    return sum;
}

bool checksumHolds(const QString& folder, const LogChecksum& sum)
{
    return stateOf(QDir(folder).filePath(sum.log)) == FileState { sum.size, sum.modifiedNs };
}

std::optional<LogChecksum> Catalog::checksum(const QString& log) const
{
    try {
        Statement q(m_db, "SELECT size, modified_ns, sha256, taken_utc FROM checksums WHERE name = ?", databasePath());
        q.bind(1, log);
        if (!q.step())
            return std::nullopt;
        return LogChecksum { log, q.integer(0), q.integer(1), q.text(2).toLatin1(), q.integer(3) };
    } catch (const Error&) {
        return std::nullopt; // a catalog made before checksums were kept, read only
    }
}

void Catalog::rememberChecksum(const LogChecksum& sum)
{
    Statement q(m_db,
        "INSERT OR REPLACE INTO checksums(name, size, modified_ns, sha256, taken_utc) VALUES (?, ?, ?, ?, ?)",
        databasePath());
    q.bind(1, sum.log).bind(2, sum.size).bind(3, sum.modifiedNs).bind(4, QString::fromLatin1(sum.sha256));
    q.bind(5, sum.takenUtc);
    q.run();
}

// ---- the recorder's writes

struct Catalog::Open {
    // The open segment, if any: its row and the last pairing kept.
    static std::optional<SegmentRow> segment(sqlite3* db, const QString& path)
    {
        Statement q(db,
            QByteArray("SELECT ")
                .append(kSegmentColumns)
                .append("WHERE s.open = 1 ORDER BY s.id DESC LIMIT 1")
                .constData(),
            path);
        if (!q.step())
            return std::nullopt;
        return segmentRow(q);
    }
    static void closeSegments(sqlite3* db, const QString& path)
    {
        exec(db, "UPDATE segments SET open = 0 WHERE open = 1", path);
    }
    static void closeGap(sqlite3* db, const QString& path, UtcMs utc)
    {
        Statement q(db, "UPDATE gaps SET to_utc = max(from_utc, ?) WHERE to_utc IS NULL AND in_log = 0", path);
        q.bind(1, utc).run();
    }
    static void openGap(sqlite3* db, const QString& path, UtcMs utc, GapReason reason, const QString& detail)
    {
        closeGap(db, path, utc);
        Statement q(db, "INSERT INTO gaps(from_utc, to_utc, reason, detail) VALUES(?, NULL, ?, ?)", path);
        q.bind(1, utc).bind(2, int(reason)).bind(3, detail).run();
    }
    static void setState(sqlite3* db, const QString& path, const char* key, std::int64_t value)
    {
        Statement q(db, "INSERT OR REPLACE INTO state(key, value) VALUES(?, ?)", path);
        q.bind(1, QLatin1String(key)).bind(2, value).run();
    }
    static std::optional<std::int64_t> state(sqlite3* db, const QString& path, const char* key)
    {
        Statement q(db, "SELECT value FROM state WHERE key = ?", path);
        q.bind(1, QLatin1String(key));
        if (!q.step() || q.isNull(0))
            return std::nullopt;
        return q.integer(0);
    }
    // Moves the end of the open segment to `frame` at `utc`, keeping a pairing when the last
    // one is old enough (or `always`).
    static void advance(
        sqlite3* db, const QString& path, const SegmentRow& row, std::int64_t frame, UtcMs utc, bool always)
    {
        Statement last(db, "SELECT max(utc) FROM pairings WHERE segment_id = ?", path);
        last.bind(1, row.id);
        const UtcMs lastPairing = last.step() && !last.isNull(0) ? last.integer(0) : row.segment.startUtc;
        if (always || utc - lastPairing >= kPairingIntervalMs) {
            Statement p(db, "INSERT OR REPLACE INTO pairings(segment_id, frame, utc) VALUES(?, ?, ?)", path);
            p.bind(1, row.id).bind(2, frame).bind(3, utc).run();
        }
        Statement s(db, "UPDATE segments SET frames = ?, end_utc = ? WHERE id = ?", path);
        s.bind(1, std::max<std::int64_t>(0, frame - row.segment.firstFrame))
            .bind(2, std::max(utc, row.segment.startUtc));
        s.bind(3, row.id).run();
    }
};

void Catalog::programStarted(UtcMs utc)
{
    const QString path = databasePath();
    Transaction t(m_db, path);
    const bool crashed = Open::state(m_db, path, "running").value_or(0) != 0;
    if (crashed) {
        // The last run ended without saying so: its open segment holds what reached the log,
        // which may be more than the last pairing says.
        UtcMs lastKnown = Open::state(m_db, path, "last_utc").value_or(utc);
        if (const std::optional<SegmentRow> row = Open::segment(m_db, path)) {
            std::int64_t end = row->segment.firstFrame + row->segment.frames;
            try {
                end = std::max(end, openWaveReader(QDir(m_folder).filePath(row->segment.log))->frames());
            } catch (const Error&) {
            }
            const std::vector<std::pair<std::int64_t, UtcMs>> points = pairingsOf(m_db, path, *row);
            const UtcMs endUtc = std::min(utc, utcAt(points, row->segment.sampleRate, end));
            Open::advance(m_db, path, *row, end, endUtc, true);
            lastKnown = endUtc;
        }
        Open::closeSegments(m_db, path);
        Open::openGap(m_db, path, std::min(lastKnown, utc), GapReason::ProgramCrashed, {});
    }
    Open::closeGap(m_db, path, utc);
    Open::setState(m_db, path, "running", 1);
    Open::setState(m_db, path, "last_utc", utc);
    t.commit();
}

void Catalog::programEnded(UtcMs utc)
{
    const QString path = databasePath();
    Transaction t(m_db, path);
    if (const std::optional<SegmentRow> row = Open::segment(m_db, path)) {
        const std::int64_t frame = row->segment.firstFrame + row->segment.frames;
        Open::advance(m_db, path, *row, frame, std::max(utc, row->segment.endUtc), true);
    }
    Open::closeSegments(m_db, path);
    Open::openGap(m_db, path, utc, GapReason::ProgramEnded, {});
    Open::setState(m_db, path, "running", 0);
    Open::setState(m_db, path, "last_utc", utc);
    t.commit();
}

void Catalog::segmentBegun(const LogEntry& log, std::int64_t frame, UtcMs utc, int utcOffsetSeconds)
{
    const QString path = databasePath();
    Transaction t(m_db, path);
    Open::closeSegments(m_db, path);
    Open::closeGap(m_db, path, utc);
    Statement find(m_db, "SELECT id FROM logs WHERE name = ?", path);
    find.bind(1, log.log);
    std::int64_t logId = 0;
    if (find.step()) {
        logId = find.integer(0);
    } else {
        Statement add(m_db, "INSERT INTO logs(name, day, rate, channels) VALUES(?, ?, ?, ?)", path);
        add.bind(1, log.log).bind(2, log.day.toString(Qt::ISODate)).bind(3, log.sampleRate).bind(4, log.channels).run();
        logId = sqlite3_last_insert_rowid(m_db);
    }
    // What the recorder says of the log from this frame on replaces what a rebuild read of it (a
    // catalog made while the log was being written).
    Statement drop(m_db, "DELETE FROM segments WHERE log_id = ? AND first_frame >= ?", path);
    drop.bind(1, logId).bind(2, frame).run();
    Statement cut(m_db,
        "UPDATE segments SET frames = ?2 - first_frame, end_utc = start_utc + (?2 - first_frame) * 1000 / ?3 "
        "WHERE log_id = ?1 AND first_frame < ?2 AND first_frame + frames > ?2",
        path);
    cut.bind(1, logId).bind(2, frame).bind(3, std::max(1, log.sampleRate)).run();
    Statement seg(m_db,
        "INSERT INTO segments(log_id, first_frame, frames, start_utc, end_utc, utc_offset, open) "
        "VALUES(?, ?, 0, ?, ?, ?, 1)",
        path);
    seg.bind(1, logId).bind(2, frame).bind(3, utc).bind(4, utc).bind(5, utcOffsetSeconds).run();
    Open::setState(m_db, path, "last_utc", utc);
    t.commit();
}

void Catalog::position(std::int64_t frame, UtcMs utc, int utcOffsetSeconds)
{
    const QString path = databasePath();
    Transaction t(m_db, path);
    const std::optional<SegmentRow> row = Open::segment(m_db, path);
    if (!row)
        return;
    const std::vector<std::pair<std::int64_t, UtcMs>> points = pairingsOf(m_db, path, *row);
    const UtcMs expected = utcAt(points, row->segment.sampleRate, frame);
    if (std::abs(utc - expected) > kClockStepMs && frame > points.back().first) {
        // The clock was set: what was taken so far keeps the old clock's times, a new segment
        // starts at this frame with the new clock, and the step itself is a gap (or, set back, an
        // overlap that the newer segment wins).
        const std::int64_t lastFrame = points.back().first;
        const UtcMs lastUtc = points.back().second;
        const UtcMs oldClockNow = lastUtc + std::llround(double(frame - lastFrame) * 1000.0 / row->segment.sampleRate);
        Open::advance(m_db, path, *row, frame, oldClockNow, true);
        Open::closeSegments(m_db, path);
        Statement log(m_db,
            "SELECT l.name, l.day, l.rate, l.channels FROM logs l JOIN segments s ON s.log_id = l.id WHERE s.id = ?",
            path);
        log.bind(1, row->id);
        (void)log.step();
        const LogEntry entry { log.text(0), QDate::fromString(log.text(1), Qt::ISODate), int(log.integer(2)),
            int(log.integer(3)) };
        if (utc > oldClockNow) {
            Statement gap(m_db, "INSERT INTO gaps(from_utc, to_utc, reason, detail) VALUES(?, ?, ?, ?)", path);
            gap.bind(1, oldClockNow).bind(2, utc).bind(3, int(GapReason::ClockStepped));
            gap.bind(4, QStringLiteral("set %1 s forward").arg(double(utc - oldClockNow) / 1000.0, 0, 'f', 1)).run();
        }
        t.commit();
        segmentBegun(entry, frame, utc, utcOffsetSeconds);
        return;
    }
    Open::advance(m_db, path, *row, frame, utc, false);
    Open::setState(m_db, path, "last_utc", utc);
    t.commit();
}

void Catalog::segmentEnded(std::int64_t frame, UtcMs utc, GapReason reason, const QString& detail)
{
    const QString path = databasePath();
    Transaction t(m_db, path);
    if (const std::optional<SegmentRow> row = Open::segment(m_db, path))
        Open::advance(m_db, path, *row, frame, utc, true);
    Open::closeSegments(m_db, path);
    if (reason != GapReason::Unknown)
        Open::openGap(m_db, path, utc, reason, detail);
    Open::setState(m_db, path, "last_utc", utc);
    t.commit();
}

void Catalog::inputLost(UtcMs fromUtc, UtcMs toUtc, const QString& detail)
{
    Statement q(
        m_db, "INSERT INTO gaps(from_utc, to_utc, reason, detail, in_log) VALUES(?, ?, ?, ?, 1)", databasePath());
    q.bind(1, fromUtc).bind(2, toUtc).bind(3, int(GapReason::InputLost)).bind(4, detail).run();
}

} // namespace wendmoor
