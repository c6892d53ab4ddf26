#pragma once

#include <QString>

namespace wendmoor {

// The fixed places of the program's own files on this machine.
struct AppPaths {
    QString settingsFolder; // <config home>/Wendmoor
    QString settingsFile; // <config home>/Wendmoor/ZaZuve.ini
    QString helpFile; // <prefix>/share/wendmoor/help.rtf
    QString driveLettersFile; // <config home>/Wendmoor/DriveLetters.txt: the letters the drives keep
    QString alarmsFile; // <config home>/Wendmoor/alarms.ini: when alarms are raised and where they go
    QString runStateFile; // <config home>/Wendmoor/Running.txt: running or ended, and when last alive

    // The real places: $XDG_CONFIG_HOME (or ~/.config) and the share folder beside the
    // executable's bin folder.
    [[nodiscard]] static AppPaths system();
    // Everything under one folder, for tests.
    [[nodiscard]] static AppPaths under(const QString& root);
};

} // namespace wendmoor
