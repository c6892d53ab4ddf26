#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>

class QTimer;

namespace wendmoor {

class Menu;
struct RecorderState;
struct Services;
struct Settings;

// $XDG_RUNTIME_DIR/wendmoor-status.json: where the recorder says what it is doing, for
// `wendmoor serve`, which runs in a process of its own.
[[nodiscard]] QString statusFilePath();

// Writes the recorder's state every two seconds of the clock's tick, whole (written beside and
// renamed over), so that a reader never sees half of it: recording or not, into which log, when
// a sample last reached the disk, the input level, the disk forecast and the last lines of the
// event log. A file that cannot be written costs nothing else.
class StatusFile final : public QObject {
    Q_OBJECT
public:
    StatusFile(Services& services, const Settings& settings, const RecorderState& state, const Menu& menu,
        QString eventLogPath, QTimer& tick, QString path = statusFilePath(), QObject* parent = nullptr);

    [[nodiscard]] QJsonObject status();
    void write();

private:
    Services& m_services;
    const Settings& m_settings;
    const RecorderState& m_state;
    const Menu& m_menu;
    QString m_eventLogPath;
    QString m_path;
    QDateTime m_lastWritten;
    QDateTime m_lastMeasured;
    QString m_forecast;
};

} // namespace wendmoor
