#include "recorder/LogNames.h"

namespace wendmoor {

QString logFileName(const QDate& date, int secondOfDay, int recordFormat)
{
    QString name = QStringLiteral("L") + date.toString(QStringLiteral("MMddyy"));
    if (recordFormat == 5)
        name += secondOfDay >= 43200 ? QLatin1Char('P') : QLatin1Char('A');
    return name + QStringLiteral(".wav");
}

} // namespace wendmoor
