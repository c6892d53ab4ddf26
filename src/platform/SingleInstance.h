#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

namespace wendmoor {

// One recorder per session: two recorders would write into the same day's log. The first
// instance holds a lock file in the runtime folder ($XDG_RUNTIME_DIR) for as long as it runs
// and listens there for a later instance, which asks it to come to the front and ends. A lock
// left by an instance that crashed is taken over.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        First, // this process is the recorder; the lock is held until it ends
        AlreadyRunning, // another instance holds the lock and has been asked to come forward
        Unavailable, // the lock file cannot be made (description() says why)
    };

    explicit SingleInstance(const QString& runtimeFolder = defaultFolder(), QObject* parent = nullptr);

    [[nodiscard]] Claim claim();
    [[nodiscard]] QString description() const { return m_description; }

    // $XDG_RUNTIME_DIR, or Qt's fallback for it.
    [[nodiscard]] static QString defaultFolder();
    // What the operator is told when a second instance starts.
    [[nodiscard]] static QString alreadyRunningText();

signals:
    // A later instance asked this one to bring its window to the front.
    void raiseRequested();

private:
    void askRunningInstanceToRaise();

    QString m_folder;
    QLockFile m_lock;
    QLocalServer m_server;
    QString m_description;
};

} // namespace wendmoor
