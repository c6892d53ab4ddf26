#pragma once

#include "platform/SystemInfo.h"

#include <QStringList>

namespace wendmoor {

// The system-information source on Linux. There is no registry: the key that names the
// system-information program answers with the first known system-information program found on
// the search path, as a text value; every other key answers nothing.
class LinuxSystemInfo final : public SystemInfo {
public:
    // The key and value name that hold the full path of the system-information program.
    static constexpr const char* ProgramKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
    static constexpr const char* ProgramValue = "PATH";

    // The programs looked for, best first.
    [[nodiscard]] static QStringList knownPrograms();

    // Searches $PATH; tests pass the folders to search instead.
    LinuxSystemInfo() = default;
    explicit LinuxSystemInfo(QStringList searchFolders);

    [[nodiscard]] std::optional<RawValue> readValue(const QString& key, const QString& name) override;
    [[nodiscard]] bool isNormalFile(const QString& path) override;
    [[nodiscard]] bool startProgram(const QString& path) override;

private:
    QStringList m_searchFolders; // empty: $PATH
};

} // namespace wendmoor
