#include "playback/LogList.h"

#include "platform/Error.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <optional>
#include <tuple>

namespace wendmoor {

namespace {

// Date, half of the day (plain or morning 0, afternoon 1) and copy number of a log name.
using LogKey = std::tuple<QDate, int, int>;

std::optional<LogKey> logKey(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^L(\\d\\d)(\\d\\d)(\\d\\d)([AP]?)(\\d*)\\.(wav|flac|opus)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(name);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(2000 + m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
    if (!date.isValid())
        return std::nullopt;
    return LogKey { date, m.captured(4).compare(QLatin1String("P"), Qt::CaseInsensitive) == 0 ? 1 : 0,
        m.captured(5).isEmpty() ? 0 : m.captured(5).toInt() };
}

} // namespace

bool isDatedLog(const QString& name)
{
    return logKey(name).has_value();
}

bool logBefore(const QString& a, const QString& b)
{
    const auto ka = logKey(a);
    const auto kb = logKey(b);
    if (ka.has_value() != kb.has_value())
        return ka.has_value();
    if (ka && *ka != *kb)
        return *ka < *kb;
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
    dir.setNameFilters({ QStringLiteral("*.wav"), QStringLiteral("*.flac"), QStringLiteral("*.opus") });
    QStringList names = dir.entryList(QDir::Files, QDir::NoSort);
    std::sort(names.begin(), names.end(), logBefore);
    return names;
}

LogListView orderLogs(const QStringList& oldestFirst, int order)
{
    LogListView view;
    if (order != 0 && order != 1)
        return view;
    const auto firstUndated = std::find_if_not(oldestFirst.begin(), oldestFirst.end(), isDatedLog);
    const auto dated = static_cast<int>(firstUndated - oldestFirst.begin());
    view.entries = oldestFirst;
    if (order == 0)
        std::reverse(view.entries.begin(), view.entries.begin() + dated);
    if (!view.entries.isEmpty())
        view.selected = dated == 0 ? static_cast<int>(view.entries.size()) - 1 : (order == 0 ? 0 : dated - 1);
    return view;
}

} // namespace wendmoor
