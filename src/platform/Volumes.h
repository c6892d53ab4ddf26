#pragma once

#include <QChar>
#include <QList>
#include <QString>

namespace wendmoor {

// A drive letter and the folder it stands for on this machine.
struct Drive {
    QChar letter;
    QString root;
};

// The machine's drives as the program names them: C is the home folder, D onward the other
// writable mounted volumes ordered by mount point.
class Volumes {
public:
    virtual ~Volumes() = default;
    // Ascending by letter, beginning with C.
    [[nodiscard]] virtual QList<Drive> drives() const = 0;

    // The root of a drive letter (either case), or an empty string for a letter with no drive.
    [[nodiscard]] QString rootOf(QChar letter) const;
    // <root>/Wendmoor and <root>/Wendmoor/logs; for a letter without a drive, a path under a
    // root that does not exist, so that using it fails with "path not found".
    [[nodiscard]] QString wendmoorFolder(QChar letter) const;
    [[nodiscard]] QString archiveFolder(QChar letter) const;
};

// The real machine: the home folder and the writable, real file systems from /proc/self/mounts.
class SystemVolumes final : public Volumes {
public:
    [[nodiscard]] QList<Drive> drives() const override;

    // Exposed for tests: picks the drives from the text of a mounts table.
    [[nodiscard]] static QList<Drive> drivesFromMounts(const QString& home, const QByteArray& mountsTable);
};

} // namespace wendmoor
