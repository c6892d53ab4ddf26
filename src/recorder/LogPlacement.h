#pragma once

#include <QChar>
#include <QString>

#include <functional>

namespace wendmoor {

class Volumes;

// Where a recording of the day goes. The archive drive must be mounted (else Error 1042, naming
// its mount point) and the archive folder is made when it is missing (deleted by hand, a disk
// mounted late). A log of the day that exists is replaced only when `mayReplace` says yes to the
// question it is given; otherwise the recording goes into the next renumbered name, as it does
// past anything else in the way of a name (a folder, a dangling link). Throws Error.
[[nodiscard]] QString placeLog(const QString& dayPath, QChar drive, const Volumes& volumes,
    const std::function<bool(const QString& question)>& mayReplace);

} // namespace wendmoor
