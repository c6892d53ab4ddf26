#pragma once

#include "archive/DiskForecast.h"
#include "config/RecordFormats.h"
#include "platform/BackgroundWork.h"

#include <QDate>
#include <QDateTime>
#include <QObject>

#include <functional>

class QTimer;

namespace wendmoor {

struct Services;
struct Settings;

// Warns the operator, at most once a day, when the archive drive will be full within three days
// at the present format. Runs on the clock's tick; the drive is measured every ten minutes on a
// thread of its own (a drive that stalls holds that thread, never the tick), and the forecast
// comes back to the tick's thread as signals.
class DiskWatch final : public QObject {
    Q_OBJECT
public:
    using Measure = std::function<std::optional<DriveSpace>(const QString& driveRoot, const QString& archiveFolder)>;

    DiskWatch(Services& services, const Settings& settings, QTimer& tick, Measure measure = measureDrive,
        QObject* parent = nullptr);

    void check();
    // Waits for a measurement under way and delivers its forecast (tests).
    void finish();

signals:
    // Each measurement: the days until the drive is full, nothing when the purge keeps it from
    // filling.
    void forecastMade(std::optional<double> daysUntilFull);
    // The same as one line for the status file.
    void forecastText(const QString& text);

private:
    void reportForecast(const DiskForecast& f, const DriveSpace& space, const RecordFormat& format, QChar drive,
        const QString& root, const QDate& today);

    Services& m_services;
    const Settings& m_settings;
    Measure m_measure;
    QDateTime m_lastMeasured;
    QDate m_warnedOn;
    // Last: goes first, so that no forecast reaches a watch being destroyed.
    BackgroundWork m_background;
};

} // namespace wendmoor
