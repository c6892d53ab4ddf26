#include "alarms/RunState.h"

#include <QFile>
#include <QSaveFile>

namespace wendmoor {

std::optional<QDateTime> RunState::start(const QDateTime& now)
{
    std::optional<QDateTime> lastAlive;
    QFile f(m_path);
    if (f.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> words = f.read(200).trimmed().split(' ');
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(words.value(1)), Qt::ISODate);
        if (words.value(0) == "running" && at.isValid())
            lastAlive = at;
    }
    alive(now);
    return lastAlive;
}

void RunState::write(const QString& state, const QDateTime& at)
{
    // Losing this file costs only the report of the next unexpected end; it never stops anything.
    QSaveFile f(m_path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(QStringLiteral("%1 %2\n").arg(state, at.toString(Qt::ISODate)).toLatin1());
        (void)f.commit();
    }
}

} // namespace wendmoor
