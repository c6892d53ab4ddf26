#pragma once

#include <QChar>

#include <cstdint>

namespace wendmoor {

struct AppPaths;
class MessageSink;

// The program's configuration while it runs: one instance, owned by the application, filled by
// LoadSettings at start-up and changed by the preferences dialog and the playback window.
// The values of Settings::StartPauseMode.
enum StartPauseModeValue : std::int16_t { ModeOff = 0, ModeVox = 1, ModeMomentary = 2, ModeContinous = 3 };
// The values of Settings::RemoteControl.
enum RemoteControlValue : std::int16_t { RemoteOff = 0, RemoteParallelPort = 1, RemotePrairieCard = 2 };

struct Settings {
    std::int16_t PlayDevice = 0;
    std::int16_t RecordDevice = 0;
    std::int32_t RecordFormat = 0;
    QChar LogDrive;
    std::int16_t DaysToKeep = 0;
    std::int16_t StartPauseMode = 0; // 0 Off, 1 VOX, 2 Momentary, 3 Continous
    std::int16_t Threshold = 0;
    std::int16_t StopDelay = 0; // seconds
    std::int16_t RemoteControl = 0; // 0 Off, 1 parallel port, 2 Prairie Digital card
    std::int16_t LogListOrder = 0;
    std::int16_t StartOnLoad = 0;
};

// Record numbers of the settings file.
namespace SettingsRecord {
inline constexpr int PlayDevice = 1;
inline constexpr int RecordDevice = 2;
inline constexpr int RecordFormat = 3;
inline constexpr int DriveIndex = 4;
inline constexpr int DaysToKeep = 5;
inline constexpr int StartPauseMode = 6;
inline constexpr int Threshold = 7;
inline constexpr int StopDelay = 8;
inline constexpr int RemoteControl = 9;
inline constexpr int LogListOrder = 10;
inline constexpr int StartOnLoad = 11;
inline constexpr int Count = 11;
} // namespace SettingsRecord

// The drive letter a record 4 value names (value + 67, C for 0), or a null QChar when the value
// names no letter from C to Z; and the record 4 value of a letter (-1 for none from C to Z).
[[nodiscard]] QChar driveLetterForIndex(std::int16_t index);
[[nodiscard]] std::int16_t driveIndexForLetter(QChar letter);

// Creates the settings folder when it is missing, creates an empty settings file when there is
// none, and reads all eleven records into `settings` without writing to the file. A record 4
// that names no drive letter falls back to C, a start/pause mode outside 0 to 3 to Off, each
// told to the operator once. Throws Error when the folder or file cannot be made
// or read.
void LoadSettings(const AppPaths& paths, Settings& settings, MessageSink& messages);

} // namespace wendmoor
