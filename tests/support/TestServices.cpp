#include "TestServices.h"

#include <QDir>
#include <QFile>

namespace wendmoor::test {

TestServices::TestServices()
    : services { clock, volumes, audio, ports, prompt, systemInfo, messages, AppPaths::under(dir.path()), events }
{
    for (char l : { 'C', 'D', 'E' }) {
        const QString root = dir.path() + QStringLiteral("/drive") + QLatin1Char(l);
        QDir().mkpath(root);
        volumes.list.append({ QLatin1Char(l), root });
    }
}

QString TestServices::drive(QChar letter) const
{
    return volumes.rootOf(letter);
}

QString TestServices::makeArchive(QChar letter) const
{
    const QString path = volumes.archiveFolder(letter);
    QDir().mkpath(path);
    return path;
}

void TestServices::writeSettings(const QList<qint16>& records) const
{
    QDir().mkpath(services.paths.settingsFolder);
    QFile f(services.paths.settingsFile);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    for (qint16 v : records) {
        const char bytes[2] = { static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff) };
        f.write(bytes, 2);
    }
}

} // namespace wendmoor::test
