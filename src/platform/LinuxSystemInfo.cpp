#include "platform/LinuxSystemInfo.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace wendmoor {

QStringList LinuxSystemInfo::knownPrograms()
{
    return { QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"), QStringLiteral("kinfocenter"),
        QStringLiteral("lshw-gtk"), QStringLiteral("gnome-system-monitor") };
}

LinuxSystemInfo::LinuxSystemInfo(QStringList searchFolders)
    : m_searchFolders(std::move(searchFolders))
{
}

std::optional<SystemInfo::RawValue> LinuxSystemInfo::readValue(const QString& key, const QString& name)
{
    if (key.compare(QLatin1String(ProgramKey), Qt::CaseInsensitive) != 0
        || name.compare(QLatin1String(ProgramValue), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    for (const QString& program : knownPrograms()) {
        const QString path = QStandardPaths::findExecutable(program, m_searchFolders);
        if (path.isEmpty())
            continue;
        // Stored as a registry text value is: the text in the system's 8-bit encoding and a
        // closing zero byte.
        RawValue value;
        value.type = 1;
        value.data = path.toLocal8Bit();
        value.data.append('\0');
        return value;
    }
    return std::nullopt;
}

bool LinuxSystemInfo::isNormalFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile();
}

bool LinuxSystemInfo::startProgram(const QString& path)
{
    return QProcess::startDetached(path, {});
}

} // namespace wendmoor
