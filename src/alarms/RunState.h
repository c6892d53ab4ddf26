#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace wendmoor {

// A small file beside the settings that says whether the program is running and when it was
// last alive, so that a start after an unexpected end (a crash, a power cut, a kill) knows how
// long nothing was recorded. UI thread.
class RunState {
public:
    explicit RunState(QString path)
        : m_path(std::move(path))
    {
    }

    // At start: when the last run was last known alive, if it did not end cleanly. Marks this
    // run as running.
    [[nodiscard]] std::optional<QDateTime> start(const QDateTime& now);
    // Every minute or so while running.
    void alive(const QDateTime& now) { write(QStringLiteral("running"), now); }
    // At a clean end.
    void end(const QDateTime& now) { write(QStringLiteral("ended"), now); }

private:
    void write(const QString& state, const QDateTime& at);
    QString m_path;
};

} // namespace wendmoor
