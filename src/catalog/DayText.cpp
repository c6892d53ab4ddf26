#include "catalog/DayText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <map>
#include <set>

namespace wendmoor {

namespace {

QString duration(std::int64_t ms)
{
    const std::int64_t s = (ms + 500) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QDateTime local(UtcMs utc)
{
    return QDateTime::fromMSecsSinceEpoch(utc);
}

bool offsetChanges(const DayReport& r)
{
    return local(r.dayStartUtc).offsetFromUtc() != local(r.dayEndUtc - 1).offsetFromUtc();
}

QString clock(UtcMs utc, bool withOffset)
{
    const QDateTime t = local(utc);
    QString text = t.toString(QStringLiteral("HH:mm:ss.zzz"));
    if (withOffset)
        text += QLatin1Char(' ') + t.timeZoneAbbreviation();
    return text;
}

QString gapText(const Gap& g)
{
    QString text = gapReasonName(g.reason);
    if (!g.detail.isEmpty())
        text += QStringLiteral(" (%1)").arg(g.detail);
    return text;
}

QJsonObject span(UtcMs from, UtcMs to)
{
    return { { QStringLiteral("from"),
                 local(from).toOffsetFromUtc(local(from).offsetFromUtc()).toString(Qt::ISODateWithMs) },
        { QStringLiteral("to"), local(to).toOffsetFromUtc(local(to).offsetFromUtc()).toString(Qt::ISODateWithMs) },
        { QStringLiteral("from_utc_ms"), qint64(from) }, { QStringLiteral("to_utc_ms"), qint64(to) } };
}

} // namespace

QString dayReportText(const DayReport& r)
{
    const bool offsets = offsetChanges(r);
    QStringList lines;
    lines << QStringLiteral("Day %1: %2 recorded of %3")
                 .arg(r.day.toString(Qt::ISODate), duration(r.recordedMs()), duration(r.dayEndUtc - r.dayStartUtc));
    QString log;
    for (const Segment& s : r.segments) {
        if (s.log != log) {
            log = s.log;
            lines << QStringLiteral("  log %1").arg(log);
        }
        lines << QStringLiteral("    %1 - %2  %3")
                     .arg(clock(s.startUtc, offsets), clock(s.endUtc, offsets), duration(s.endUtc - s.startUtc));
    }
    for (const Gap& g : r.gaps)
        lines << QStringLiteral("  gap %1 - %2  %3  %4")
                     .arg(
                         clock(g.fromUtc, offsets), clock(g.toUtc, offsets), duration(g.toUtc - g.fromUtc), gapText(g));
    for (const Gap& g : r.silences)
        lines << QStringLiteral("  silence %1 - %2  %3  %4")
                     .arg(
                         clock(g.fromUtc, offsets), clock(g.toUtc, offsets), duration(g.toUtc - g.fromUtc), gapText(g));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QByteArray dayReportJson(const DayReport& r)
{
    QJsonArray segments;
    for (const Segment& s : r.segments) {
        QJsonObject o = span(s.startUtc, s.endUtc);
        o.insert(QStringLiteral("log"), s.log);
        o.insert(QStringLiteral("first_frame"), qint64(s.firstFrame));
        o.insert(QStringLiteral("frames"), qint64(s.frames));
        o.insert(QStringLiteral("sample_rate"), s.sampleRate);
        segments.append(o);
    }
    auto gaps = [](const std::vector<Gap>& list) {
        QJsonArray out;
        for (const Gap& g : list) {
            QJsonObject o = span(g.fromUtc, g.toUtc);
            o.insert(QStringLiteral("reason"), gapReasonName(g.reason));
            o.insert(QStringLiteral("detail"), g.detail);
            out.append(o);
        }
        return out;
    };
    QJsonObject o = span(r.dayStartUtc, r.dayEndUtc);
    o.insert(QStringLiteral("day"), r.day.toString(Qt::ISODate));
    o.insert(QStringLiteral("day_ms"), qint64(r.dayEndUtc - r.dayStartUtc));
    o.insert(QStringLiteral("recorded_ms"), qint64(r.recordedMs()));
    o.insert(QStringLiteral("segments"), segments);
    o.insert(QStringLiteral("gaps"), gaps(r.gaps));
    o.insert(QStringLiteral("silences"), gaps(r.silences));
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

QString dayReportSummary(const DayReport& r)
{
    std::set<QString> logs;
    for (const Segment& s : r.segments)
        logs.insert(s.log);
    std::map<QString, std::int64_t> byReason;
    for (const Gap& g : r.gaps)
        byReason[gapReasonName(g.reason)] += g.toUtc - g.fromUtc;
    QStringList gaps;
    for (const auto& [reason, ms] : byReason)
        gaps << QStringLiteral("%1 %2").arg(reason, duration(ms));
    return QStringLiteral("Day %1: %2 of %3 recorded in %4 log(s); gaps: %5")
        .arg(r.day.toString(Qt::ISODate), duration(r.recordedMs()), duration(r.dayEndUtc - r.dayStartUtc))
        .arg(logs.size())
        .arg(gaps.isEmpty() ? QStringLiteral("none") : gaps.join(QStringLiteral(", ")));
}

} // namespace wendmoor
