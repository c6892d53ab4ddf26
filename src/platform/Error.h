#pragma once

#include <QString>

#include <exception>

namespace wendmoor {

// Every failure the program reports carries one of these numbers. The low numbers keep the
// meaning operators of the Windows original know from its run-time errors; the 1000s are ours.
namespace ErrorNumber {
inline constexpr int InvalidArgument = 5;
inline constexpr int Overflow = 6;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int BadFileName = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int DeviceIoError = 57;
inline constexpr int DiskFull = 61;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccess = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int InvalidPropertyArrayIndex = 381; // a list asked for its chosen entry has none

inline constexpr int SoundDeviceNotFound = 1001;
inline constexpr int SoundDeviceOpen = 1002;
inline constexpr int SoundDeviceFailure = 1003;
inline constexpr int SoundDropout = 1004;
inline constexpr int WaveFormatUnsupported = 1010;
inline constexpr int WaveFileCreate = 1011;
inline constexpr int WaveFileWrite = 1012;
inline constexpr int WaveFileRead = 1013;
inline constexpr int Resampler = 1014;
inline constexpr int RichTextMalformed = 1020;
inline constexpr int PortAccess = 1030;
inline constexpr int SettingsDriveInvalid = 1040;
inline constexpr int SettingsValueInvalid = 1041;
inline constexpr int DriveNotMounted = 1042;
inline constexpr int CatalogFailure = 1050; // the archive's catalog cannot be read or written
inline constexpr int ExportCancelled = 1060; // an export stopped on request; nothing was left behind
// Alarms: the settings file, a delivery that failed, and the alarms themselves.
inline constexpr int AlarmSettingsInvalid = 1070;
inline constexpr int AlarmDeliveryFailed = 1071;
inline constexpr int DeadAir = 1072;
inline constexpr int NotRecording = 1073;
inline constexpr int InputLost = 1074;
inline constexpr int DiskFilling = 1075;
inline constexpr int ClockUnsynchronised = 1076;
inline constexpr int UnexpectedEnd = 1077;
inline constexpr int TestAlarm = 1078;
inline constexpr int Unexpected = 1099;
} // namespace ErrorNumber

// A failure with a number and a description that names the file or device concerned.
// Thrown by operations that can fail; trapping handlers catch it and show `text()`.
class Error : public std::exception {
public:
    Error(int number, QString description);

    [[nodiscard]] int number() const noexcept { return m_number; }
    [[nodiscard]] const QString& description() const noexcept { return m_description; }
    // The number in decimal, one blank, the description ("53 " for an empty description).
    [[nodiscard]] QString text() const;
    [[nodiscard]] const char* what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

// Maps an errno value from a failed file operation to the number an operator sees.
[[nodiscard]] int errorNumberForErrno(int err) noexcept;

// Builds an Error for a failed file operation: "<what> <path>: <system text>".
[[nodiscard]] Error fileError(int err, const QString& what, const QString& path);

} // namespace wendmoor
