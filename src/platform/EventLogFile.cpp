#include "platform/EventLogFile.h"

#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/TimeSource.h"

#include <QDir>

#include <cerrno>
#include <cstdio>

#ifdef WENDMOOR_HAVE_SYSTEMD
#include <syslog.h>
#include <systemd/sd-journal.h>
#endif

namespace wendmoor {

EventLogFile::EventLogFile(const TimeSource& clock, MessageSink& failures, Options options)
    : m_clock(clock)
    , m_failures(failures)
    , m_options(std::move(options))
    , m_path(m_options.folder + QStringLiteral("/events.log"))
    , m_file(m_path)
{
}

QString EventLogFile::defaultFolder()
{
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || !QDir::isAbsolutePath(stateHome))
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(stateHome + QStringLiteral("/Wendmoor"));
}

void EventLogFile::write(Kind kind, const QString& text)
{
    // A failure report that finds its way back here is recorded on the console only.
    const bool nested = m_writing;
    m_writing = true;
    QString oneLine = text;
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString stamp = m_clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString body = kind == Kind::Message ? QStringLiteral("Message: ") + oneLine : oneLine;
    if (m_options.toJournal)
        toConsole(kind, stamp, body);
    if (nested)
        return;

    QString failure;
    int number = 0;
    if (append((stamp + QStringLiteral("  ") + body + QLatin1Char('\n')).toUtf8(), failure, number)) {
        m_failureShown = false;
    } else if (!m_failureShown) {
        m_failureShown = true;
        const Error error(number,
            QStringLiteral("The event log %1 cannot be written (%2); the recorder goes on, "
                           "and the events still reach the journal.")
                .arg(QDir::toNativeSeparators(m_path), failure));
        if (m_options.toJournal)
            toConsole(Kind::Message, stamp, QStringLiteral("Message: ") + error.text());
        m_failures.ShowMessage(error);
    }
    m_writing = false;
}

bool EventLogFile::open(QString& failure, int& number)
{
    if (m_file.isOpen())
        return true;
    if (!QDir().mkpath(m_options.folder)) {
        number = ErrorNumber::PathNotFound;
        failure = QStringLiteral("the folder %1 cannot be created").arg(QDir::toNativeSeparators(m_options.folder));
        return false;
    }
    errno = 0;
    // Unbuffered, so that a full disk shows on the write that meets it.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        number = errorNumberForErrno(errno);
        failure = m_file.errorString();
        return false;
    }
    return true;
}

bool EventLogFile::append(const QByteArray& line, QString& failure, int& number)
{
    if (!open(failure, number))
        return false;
    if (m_file.size() > 0 && m_file.size() + line.size() > m_options.maxBytes) {
        m_file.close();
        const QString older = m_path + QStringLiteral(".1");
        QFile::remove(older);
        // Where the rename fails the log starts afresh, so that it stays bounded all the same.
        const bool renamed = QFile::rename(m_path, older);
        if (!renamed)
            QFile::resize(m_path, 0);
        if (!open(failure, number))
            return false;
    }
    errno = 0;
    if (m_file.write(line) != line.size()) {
        number = errorNumberForErrno(errno ? errno : EIO);
        failure = m_file.errorString();
        // Opened afresh next time: the folder may have room again, or exist again.
        m_file.close();
        return false;
    }
    return true;
}

void EventLogFile::toConsole(Kind kind, const QString& stamp, const QString& text) const
{
#ifdef WENDMOOR_HAVE_SYSTEMD
    // The journal stamps its entries itself.
    const QByteArray utf8 = text.toUtf8();
    if (sd_journal_send("MESSAGE=%s", utf8.constData(), "PRIORITY=%i", kind == Kind::Message ? LOG_WARNING : LOG_INFO,
            "SYSLOG_IDENTIFIER=wendmoor", nullptr)
        == 0)
        return;
#else
    (void)kind;
#endif
    std::fprintf(stderr, "%s wendmoor: %s\n", stamp.toUtf8().constData(), text.toUtf8().constData());
}

} // namespace wendmoor
