#pragma once

#include "platform/BackgroundWork.h"
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

// Writes the recorder's state every two seconds of the clock's tick, whole (written beside and
// renamed over), so that a reader never sees half of it: recording or not, into which log, when
// a sample last reached the disk, the input level, the disk forecast (from the disk watch) and
// the last ten messages. The file is written on a thread of its own; one that cannot be written
// costs nothing else.
class StatusFile final : public QObject {
    Q_OBJECT
public:
    StatusFile(Services& services, const RecorderState& state, Recorder& recorder, QString path = statusFilePath(),
        QObject* parent = nullptr);

    // What is written, but the log's last write (read on the background thread).
    [[nodiscard]] QJsonObject status();
    void write();
    // The disk watch's latest forecast, as a line.
    void setForecast(const QString& text);

private:
    Services& m_services;
    const RecorderState& m_state;
    QString m_path;
    int m_peak = 0; // the loudest sample since the last write
    QStringList m_messages;
    QDateTime m_lastWritten;
    QString m_forecast;
    BackgroundWork m_background;
};

} // namespace wendmoor
