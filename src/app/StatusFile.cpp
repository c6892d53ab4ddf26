#include "app/StatusFile.h"

#include "platform/Services.h"
#include "platform/TimeSource.h"
#include "recorder/Recorder.h"
#include "recorder/RecorderState.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include <cmath>

namespace wendmoor {

StatusFile::StatusFile(
    Services& services, const RecorderState& state, Recorder& recorder, QString path, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_state(state)
    , m_path(std::move(path))
{
    connect(&recorder, &Recorder::ticked, this, [this](const QDateTime& now) {
        if (!m_lastWritten.isValid() || qAbs(m_lastWritten.secsTo(now)) >= 2)
            write();
    });
    connect(&recorder, &Recorder::level, this, [this](int peak) { m_peak = std::max(m_peak, peak); });
    connect(&recorder, &Recorder::message, this, [this](const QString& text) {
        m_messages.append(m_services.clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + text);
        while (m_messages.size() > 10)
            m_messages.removeFirst();
    });
}

void StatusFile::setForecast(const QString& text)
{
    m_forecast = text;
}

QJsonObject StatusFile::status()
{
    const QDateTime now = m_services.clock.now();
    constexpr double kFloorDb = -60.0;
    const double levelDb = m_peak > 0 ? std::max(kFloorDb, 20.0 * std::log10(m_peak / 32768.0)) : kFloorDb;
    m_peak = 0;
    return {
        { QStringLiteral("writtenUtc"), double(now.toMSecsSinceEpoch()) },
        { QStringLiteral("recording"), m_state.IsRecording },
        { QStringLiteral("standby"), m_state.InStandby },
        { QStringLiteral("log"), QFileInfo(m_state.CurrentLogPath).fileName() },
        { QStringLiteral("lastWrite"), QString() },
        { QStringLiteral("levelDb"), levelDb },
        { QStringLiteral("level"), std::clamp((levelDb - kFloorDb) / -kFloorDb, 0.0, 1.0) },
        { QStringLiteral("forecast"), m_forecast },
        { QStringLiteral("messages"), QJsonArray::fromStringList(m_messages) },
    };
}

void StatusFile::write()
{
    m_lastWritten = m_services.clock.now();
    // The log's time and the file are read and written on the background thread; a write still
    // under way (a disk that stalls) is not joined by another.
    if (!m_background.idle())
        return;
    m_background.post([object = status(), log = m_state.IsRecording ? m_state.CurrentLogPath : QString(),
                          path = m_path]() mutable -> BackgroundWork::Result {
        const QFileInfo info(log);
        if (!log.isEmpty() && info.exists())
            object.insert(
                QStringLiteral("lastWrite"), info.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
            (void)file.commit();
        }
        return {};
    });
}

} // namespace wendmoor
