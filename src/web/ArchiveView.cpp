#include "web/ArchiveView.h"

#include "media/WaveReader.h"
#include "platform/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <set>

namespace wendmoor {

namespace {

const QRegularExpression& logNamePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^L(\\d\\d)(\\d\\d)(\\d\\d)([AP]?)(\\d*)\\.(wav|flac|opus)$"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// Within a day: the morning or plain log, then the afternoon one, each before its copies.
std::pair<int, int> orderInDay(const QString& name)
{
    const QRegularExpressionMatch m = logNamePattern().match(name);
    return { m.captured(4).compare(QLatin1String("P"), Qt::CaseInsensitive) == 0 ? 1 : 0,
        m.captured(5).isEmpty() ? 0 : m.captured(5).toInt() + 1 };
}

std::int64_t localMs(const QDate& day, const QTime& time)
{
    return QDateTime(day, time).toMSecsSinceEpoch();
}

} // namespace

QDate dayOfLogName(const QString& name)
{
    const QRegularExpressionMatch m = logNamePattern().match(name);
    if (!m.hasMatch())
        return {};
    return { 2000 + m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt() };
}

std::int64_t ArchiveView::Day::recordedMs() const
{
    std::int64_t total = 0;
    for (const Segment& s : segments)
        total += s.endUtc - s.startUtc;
    return total;
}

ArchiveView::ArchiveView(QString folder)
    : m_folder(std::move(folder))
{
}

QList<QDate> ArchiveView::days() const
{
    std::set<QDate> found;
    const QStringList names = QDir(m_folder).entryList(QDir::Files);
    for (const QString& name : names)
        if (const QDate day = dayOfLogName(name); day.isValid())
            found.insert(day);
    return { found.begin(), found.end() };
}

QStringList ArchiveView::logsOf(const QDate& day) const
{
    const QDir dir(m_folder);
    if (!dir.exists())
        throw Error(ErrorNumber::PathNotFound, QStringLiteral("The archive folder %1 does not exist").arg(m_folder));
    QStringList logs;
    for (const QString& name : dir.entryList(QDir::Files))
        if (dayOfLogName(name) == day)
            logs.append(name);
    std::sort(
        logs.begin(), logs.end(), [](const QString& a, const QString& b) { return orderInDay(a) < orderInDay(b); });
    return logs;
}

ArchiveView::Day ArchiveView::day(const QDate& date, std::int64_t nowUtc) const
{
    Day result;
    result.day = date;
    result.startUtc = localMs(date, QTime(0, 0));
    result.endUtc = std::min(localMs(date.addDays(1), QTime(0, 0)), std::max(nowUtc, result.startUtc));
    result.logs = logsOf(date);
    // A log starts at the beginning of its day or half day; a renumbered one (a restart) ended
    // when it was last written.
    for (int i = 0; i < result.logs.size(); ++i) {
        const QString path = QDir(m_folder).filePath(result.logs[i]);
        std::unique_ptr<WaveReader> reader;
        try {
            reader = openWaveReader(path);
        } catch (const Error&) {
            continue;
        }
        const std::int64_t durationMs = reader->frames() * 1000 / std::max(reader->sampleRate(), 1);
        const auto [half, copy] = orderInDay(result.logs[i]);
        std::int64_t start = localMs(date, QTime(half == 1 ? 12 : 0, 0));
        if (copy > 0)
            start = QFileInfo(path).lastModified().toMSecsSinceEpoch() - durationMs;
        result.segments.push_back({ i, 0, reader->frames(), start, start + durationMs, reader->sampleRate() });
    }
    std::sort(result.segments.begin(), result.segments.end(),
        [](const Segment& a, const Segment& b) { return a.startUtc < b.startUtc; });
    std::int64_t covered = result.startUtc;
    for (const Segment& s : result.segments) {
        if (s.startUtc > covered)
            result.gaps.push_back({ covered, s.startUtc, QStringLiteral("unknown"), {} });
        covered = std::max(covered, s.endUtc);
    }
    if (covered < result.endUtc)
        result.gaps.push_back({ covered, result.endUtc, QStringLiteral("unknown"), {} });
    return result;
}

std::optional<ArchiveView::Place> ArchiveView::locate(const QDate& date, std::int64_t utc, std::int64_t nowUtc) const
{
    const Day d = day(date, nowUtc);
    for (const Segment& s : d.segments)
        if (utc >= s.startUtc && utc < s.endUtc)
            return Place { s.log, s.firstFrame + (utc - s.startUtc) * s.sampleRate / 1000, s.sampleRate };
    return std::nullopt;
}

QString ArchiveView::logPath(const QDate& date, int log) const
{
    const QStringList logs = logsOf(date);
    if (log < 0 || log >= logs.size())
        return {};
    return QDir(m_folder).filePath(logs[log]);
}

} // namespace wendmoor
