#include "archive/LogNames.h"

#include "config/RecordFormats.h"
#include "platform/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <tuple>

namespace wendmoor {

namespace {
constexpr int kNoon = 43200;
const QString kDateFormat = QStringLiteral("MMddyy");
} // namespace

QString logFileName(const QDate& date, int secondOfDay, int recordFormat)
{
    QString name = QStringLiteral("L") + date.toString(kDateFormat);
    if (splitsAtNoon(recordFormat))
        name += secondOfDay >= kNoon ? QLatin1Char('P') : QLatin1Char('A');
    const RecordFormat* format = wendmoor::recordFormat(recordFormat);
    return name + QLatin1String(format ? format->waveFormat().fileExtension() : ".wav");
}

const QStringList& logExtensions()
{
    static const QStringList extensions = [] {
        QStringList list;
        for (const RecordFormat& format : kRecordFormats) {
            const QString extension = QLatin1String(format.waveFormat().fileExtension());
            if (!list.contains(extension))
                list << extension;
        }
        return list;
    }();
    return extensions;
}

QStringList logNameFilters()
{
    QStringList filters;
    for (const QString& extension : logExtensions())
        filters << QLatin1Char('*') + extension;
    return filters;
}

std::optional<LogName> parseLogName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^L(\\d\\d)(\\d\\d)(\\d\\d)([AP]?)(\\d*)(\\.[a-z0-9]+)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    LogName log;
    log.extension = m.captured(6).toLower();
    log.date = QDate(2000 + m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
    if (!log.date.isValid() || !logExtensions().contains(log.extension))
        return std::nullopt;
    log.afternoon = m.captured(4).compare(QLatin1String("P"), Qt::CaseInsensitive) == 0;
    log.copy = m.captured(5).isEmpty() ? 0 : m.captured(5).toInt();
    return log;
}

QString renumberedLogPath(const QString& path, const std::function<bool(const QString&)>& exists)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype end = dot > slash ? dot : path.size();
    const QString base = path.left(end);
    const QString extension = path.mid(end);
    for (std::int32_t n = 1; n < std::numeric_limits<std::int32_t>::max(); ++n) {
        const QString candidate = base + QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')) + extension;
        if (!exists(candidate))
            return candidate;
    }
    return path;
}

bool isDatedLog(const QString& name)
{
    return parseLogName(name).has_value();
}

bool logBefore(const QString& a, const QString& b)
{
    const auto key = [](const std::optional<LogName>& n) { return std::tuple(n->date, n->afternoon, n->copy); };
    const std::optional<LogName> na = parseLogName(a);
    const std::optional<LogName> nb = parseLogName(b);
    if (na.has_value() != nb.has_value())
        return na.has_value();
    if (na && key(na) != key(nb))
        return key(na) < key(nb);
    return a < b;
}

QStringList logFileNames(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir()) {
        throw Error(ErrorNumber::PathNotFound,
            QStringLiteral("The log folder %1 does not exist.").arg(QDir::toNativeSeparators(folder)));
    }
    if (!info.isReadable()) {
        throw Error(ErrorNumber::PermissionDenied,
            QStringLiteral("The log folder %1 cannot be read.").arg(QDir::toNativeSeparators(folder)));
    }
    QDir dir(folder);
    dir.setNameFilters(logNameFilters());
    QStringList names = dir.entryList(QDir::Files, QDir::NoSort);
    std::sort(names.begin(), names.end(), logBefore);
    return names;
}

std::optional<QString> purgePattern(const QDate& today, std::int16_t daysToKeep)
{
    if (daysToKeep == 0 || daysToKeep == std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    const int n = daysToKeep + 1;
    // A negative count would name today's log, the one being recorded.
    if (n < 1)
        return std::nullopt;
    return QStringLiteral("L") + today.addDays(-n).toString(kDateFormat) + QLatin1Char('*');
}

} // namespace wendmoor
