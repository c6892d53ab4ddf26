#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace wendmoor {

namespace {
AppPaths fromFolders(const QString& configHome, const QString& shareFolder)
{
    AppPaths p;
    p.settingsFolder = QDir::cleanPath(configHome + QStringLiteral("/Wendmoor"));
    p.settingsFile = p.settingsFolder + QStringLiteral("/ZaZuve.ini");
    p.driveLettersFile = p.settingsFolder + QStringLiteral("/DriveLetters.txt");
    p.alarmsFile = p.settingsFolder + QStringLiteral("/alarms.ini");
    p.runStateFile = p.settingsFolder + QStringLiteral("/Running.txt");
    p.helpFile = QDir::cleanPath(shareFolder + QStringLiteral("/help.rtf"));
    return p;
}
} // namespace

AppPaths AppPaths::system()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || !QDir::isAbsolutePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    const QString share = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/wendmoor");
    return fromFolders(configHome, share);
}

AppPaths AppPaths::under(const QString& root)
{
    return fromFolders(root + QStringLiteral("/config"), root + QStringLiteral("/share"));
}

} // namespace wendmoor
