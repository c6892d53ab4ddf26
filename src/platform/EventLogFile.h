#pragma once

#include "platform/EventLog.h"

#include <QFile>
#include <QString>

namespace wendmoor {

class MessageSink;
class TimeSource;

// The event log on this machine: each line goes to the systemd journal (to standard error where
// there is no journal) and to events.log in the state folder, which is renamed to events.log.1
// when it would grow past its bound, so that the two files together stay within twice that.
//
// A state folder that is full, missing or read-only costs the file, never the program: the
// failure is shown once through `failures` (the message window itself, not a sink that logs, so
// that the report cannot come back here) and the lines still reach the journal. The next line
// that can be written again re-arms the report.
class EventLogFile final : public EventLog {
public:
    struct Options {
        QString folder; // where events.log lives
        qint64 maxBytes = 2 * 1024 * 1024; // events.log is rotated beyond this
        bool toJournal = true; // the journal, or standard error without one
    };

    EventLogFile(const TimeSource& clock, MessageSink& failures, Options options);

    using EventLog::write;
    void write(Kind kind, const QString& text) override;

    [[nodiscard]] QString path() const { return m_path; }

    // $XDG_STATE_HOME/Wendmoor, or ~/.local/state/Wendmoor.
    [[nodiscard]] static QString defaultFolder();

private:
    // Appends one line; on failure returns false with the reason in `failure`.
    [[nodiscard]] bool append(const QByteArray& line, QString& failure, int& number);
    [[nodiscard]] bool open(QString& failure, int& number);
    void toConsole(Kind kind, const QString& stamped, const QString& text) const;

    const TimeSource& m_clock;
    MessageSink& m_failures;
    Options m_options;
    QString m_path;
    QFile m_file;
    bool m_failureShown = false;
    bool m_writing = false;
};

} // namespace wendmoor
