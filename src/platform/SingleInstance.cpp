#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace wendmoor {

namespace {
QString socketPath(const QString& folder)
{
    return folder + QStringLiteral("/wendmoor.socket");
}
} // namespace

SingleInstance::SingleInstance(const QString& runtimeFolder, QObject* parent)
    : QObject(parent)
    , m_folder(runtimeFolder)
    , m_lock(runtimeFolder + QStringLiteral("/wendmoor.lock"))
{
    // The recorder holds the lock for days: only a dead owner makes it stale, never its age.
    m_lock.setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* caller = m_server.nextPendingConnection()) {
            caller->disconnectFromServer();
            caller->deleteLater();
            emit raiseRequested();
        }
    });
}

QString SingleInstance::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString SingleInstance::alreadyRunningText()
{
    return QStringLiteral("Wendmoor is already running.");
}

SingleInstance::Claim SingleInstance::claim()
{
    QDir().mkpath(m_folder);
    if (m_lock.tryLock(0)) {
        // The lock is ours, so a socket left at the path belongs to an instance that is gone.
        QLocalServer::removeServer(socketPath(m_folder));
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        if (!m_server.listen(socketPath(m_folder)))
            m_description = QStringLiteral("Cannot listen at %1: %2").arg(socketPath(m_folder), m_server.errorString());
        return Claim::First;
    }
    if (m_lock.error() == QLockFile::LockFailedError) {
        askRunningInstanceToRaise();
        return Claim::AlreadyRunning;
    }
    m_description = QStringLiteral("Cannot create the lock file %1 that keeps a second Wendmoor from recording "
                                   "into the same logs")
                        .arg(m_lock.fileName());
    return Claim::Unavailable;
}

void SingleInstance::askRunningInstanceToRaise()
{
    // An instance started a moment earlier may hold the lock and not listen yet.
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath(m_folder));
        if (socket.waitForConnected(250)) {
            socket.write("raise\n");
            socket.waitForBytesWritten(250);
            socket.disconnectFromServer();
            return;
        }
        QThread::msleep(50);
    }
}

} // namespace wendmoor
