#pragma once

#include "archive/DiskForecast.h"

#include <QDate>
#include <QDateTime>
#include <QObject>

#include <functional>

class QTimer;

namespace wendmoor {

struct Services;
struct Settings;

// Warns the operator, at most once a day, when the archive drive will be full within three days
// at the present format. Runs on the clock's tick; the drive is measured every ten minutes.
class DiskWatch final : public QObject {
    Q_OBJECT
public:
    using Measure = std::function<std::optional<DriveSpace>(const QString& driveRoot, const QString& archiveFolder)>;

    DiskWatch(Services& services, const Settings& settings, QTimer& tick, Measure measure = measureDrive,
        QObject* parent = nullptr);

    void check();

signals:
    // Each measurement: the days until the drive is full, nothing when the purge keeps it from
    // filling.
    void forecastMade(std::optional<double> daysUntilFull);

private:
    Services& m_services;
    const Settings& m_settings;
    Measure m_measure;
    QDateTime m_lastMeasured;
    QDate m_warnedOn;
};

} // namespace wendmoor
