#include "web/ArchiveView.h"

#include "catalog/Catalog.h"
#include "catalog/LogFiles.h"

#include <QDateTime>
#include <QDir>

#include <algorithm>
#include <set>

namespace wendmoor {

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

ArchiveView::~ArchiveView() = default;

QList<QDate> ArchiveView::days() const
{
    std::set<QDate> found;
    for (const LogFileName& log : logFilesIn(m_folder))
        found.insert(log.day);
    return { found.begin(), found.end() };
}

const Catalog& ArchiveView::catalogLocked() const
{
    // A catalog file is read afresh by every query; one rebuilt in memory (there was no file, or
    // it could not be read) is rebuilt again after a while, so that new logs show.
    const auto now = std::chrono::steady_clock::now();
    if (!m_catalog || (m_catalog->wasRebuilt() && now - m_openedAt > std::chrono::seconds(30))) {
        m_catalog = Catalog::open(m_folder, Catalog::Mode::ReadOnly);
        m_openedAt = now;
    }
    return *m_catalog;
}

void ArchiveView::readCatalog(const std::function<void(const Catalog&)>& read) const
{
    const std::lock_guard lock(m_mutex);
    read(catalogLocked());
}

ArchiveView::Day ArchiveView::dayLocked(const QDate& date, std::int64_t nowUtc) const
{
    const DayReport report = catalogLocked().day(date, nowUtc);
    Day day;
    day.day = date;
    day.startUtc = report.dayStartUtc;
    day.endUtc = report.dayEndUtc;
    // The day's own logs in the order they were recorded, then any other log that holds some of
    // its time (one that ran on over midnight), so that a log keeps its number as the day grows.
    for (const LogFileName& log : logFilesIn(m_folder))
        if (log.day == date)
            day.logs.append(log.fileName);
    for (const wendmoor::Segment& s : report.segments) {
        if (!day.logs.contains(s.log))
            day.logs.append(s.log);
        day.segments.push_back(
            { static_cast<int>(day.logs.indexOf(s.log)), s.firstFrame, s.frames, s.startUtc, s.endUtc, s.sampleRate });
    }
    for (const auto* gaps : { &report.gaps, &report.silences })
        for (const wendmoor::Gap& g : *gaps)
            day.gaps.push_back({ g.fromUtc, g.toUtc, gapReasonName(g.reason), g.detail });
    std::sort(day.gaps.begin(), day.gaps.end(), [](const Gap& a, const Gap& b) { return a.fromUtc < b.fromUtc; });
    const std::int64_t dayEnd = QDateTime(date.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
    for (const wendmoor::Hold& h : m_catalog->holds())
        if (h.fromUtc < dayEnd && h.toUtc > day.startUtc)
            day.holds.push_back({ h.id, h.fromUtc, h.toUtc, h.reason, h.user });
    return day;
}

ArchiveView::Day ArchiveView::day(const QDate& date, std::int64_t nowUtc) const
{
    const std::lock_guard lock(m_mutex);
    return dayLocked(date, nowUtc);
}

std::optional<ArchiveView::Place> ArchiveView::locate(const QDate& date, std::int64_t utc, std::int64_t nowUtc) const
{
    const std::lock_guard lock(m_mutex);
    const Day day = dayLocked(date, nowUtc);
    const Location where = m_catalog->locate(utc);
    if (!where.segment || utc >= nowUtc)
        return std::nullopt;
    const qsizetype log = day.logs.indexOf(where.segment->log);
    if (log < 0)
        return std::nullopt;
    return Place { static_cast<int>(log), where.frame, where.segment->sampleRate };
}

QString ArchiveView::logPath(const QDate& date, int log, std::int64_t nowUtc) const
{
    const Day d = day(date, nowUtc);
    if (log < 0 || log >= d.logs.size())
        return {};
    return QDir(m_folder).filePath(d.logs[log]);
}

std::int64_t ArchiveView::addHold(
    std::int64_t fromUtc, std::int64_t toUtc, const QString& reason, const QString& user, std::int64_t nowUtc)
{
    const std::lock_guard lock(m_mutex);
    const std::int64_t id
        = Catalog::open(m_folder, Catalog::Mode::ReadWrite)->addHold(fromUtc, toUtc, reason, user, nowUtc);
    m_catalog.reset(); // read the file from now on
    return id;
}

} // namespace wendmoor
