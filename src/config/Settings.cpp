#include "config/Settings.h"

#include "config/SettingsFile.h"
#include "platform/AppPaths.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"

#include <QDir>

#include <cerrno>

namespace wendmoor {

QChar driveLetterForIndex(std::int16_t index)
{
    const int code = 67 + index;
    if (code < 'C' || code > 'Z')
        return {};
    return QLatin1Char(static_cast<char>(code));
}

std::int16_t driveIndexForLetter(QChar letter)
{
    const char16_t code = letter.toUpper().unicode();
    if (code < u'C' || code > u'Z')
        return -1;
    return static_cast<std::int16_t>(code - u'C');
}

void LoadSettings(const AppPaths& paths, Settings& settings, MessageSink& messages)
{
    if (!QDir(paths.settingsFolder).exists()) {
        errno = 0;
        // The parent (~/.config) may itself be missing on a new account, so all levels are made.
        if (!QDir().mkpath(paths.settingsFolder))
            throw fileError(
                errno != 0 ? errno : EACCES, QStringLiteral("Cannot create the settings folder"), paths.settingsFolder);
    }

    SettingsFile file(paths.settingsFile, SettingsFile::Access::ReadOnly);
    namespace R = SettingsRecord;
    settings.PlayDevice = file.read(R::PlayDevice);
    settings.RecordDevice = file.read(R::RecordDevice);
    settings.RecordFormat = file.read(R::RecordFormat);
    const std::int16_t driveIndex = file.read(R::DriveIndex);
    settings.LogDrive = driveLetterForIndex(driveIndex);
    settings.DaysToKeep = file.read(R::DaysToKeep);
    settings.StartPauseMode = file.read(R::StartPauseMode);
    settings.Threshold = file.read(R::Threshold);
    settings.StopDelay = file.read(R::StopDelay);
    settings.RemoteControl = file.read(R::RemoteControl);
    settings.LogListOrder = file.read(R::LogListOrder);
    settings.StartOnLoad = file.read(R::StartOnLoad);
    file.close();

    if (settings.LogDrive.isNull()) {
        settings.LogDrive = QLatin1Char('C');
        messages.ShowMessage(Error(ErrorNumber::SettingsDriveInvalid,
            QStringLiteral("The archive drive stored in %1 (record 4 = %2) is not a drive "
                           "letter from C to Z; recording to drive C instead. Choose the "
                           "drive again in Setup > My Preferences.")
                .arg(paths.settingsFile)
                .arg(driveIndex)));
    }
    // A mode no start/pause control stands for would hold the recorder in Standby for good.
    if (settings.StartPauseMode < ModeOff || settings.StartPauseMode > ModeContinous) {
        messages.ShowMessage(Error(ErrorNumber::SettingsValueInvalid,
            QStringLiteral("The start/pause mode stored in %1 (record 6 = %2) is not one of "
                           "0 to 3; recording with start/pause Off instead. Choose the mode "
                           "again in Setup > My Preferences.")
                .arg(paths.settingsFile)
                .arg(settings.StartPauseMode)));
        settings.StartPauseMode = ModeOff;
    }
}

} // namespace wendmoor
