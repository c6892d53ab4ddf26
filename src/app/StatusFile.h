#pragma once

#include "web/WebServer.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>

namespace wendmoor {

class Recorder;
struct RecorderState;
struct Services;
struct Settings;

// Writes the recorder's state every two seconds of the clock's tick, whole (written beside and
// renamed over), so that a reader never sees half of it: recording or not, into which log, when
// a sample last reached the disk, the input level, the disk forecast and the last ten messages.
// A file that cannot be written costs nothing else.
class StatusFile final : public QObject {
    Q_OBJECT
public:
    StatusFile(Services& services, const Settings& settings, const RecorderState& state, Recorder& recorder,
        QString path = statusFilePath(), QObject* parent = nullptr);

    [[nodiscard]] QJsonObject status();
    void write();

private:
    Services& m_services;
    const Settings& m_settings;
    const RecorderState& m_state;
    QString m_path;
    int m_peak = 0; // the loudest sample since the last write
    QStringList m_messages;
    QDateTime m_lastWritten;
    QDateTime m_lastMeasured;
    QString m_forecast;
};

} // namespace wendmoor
