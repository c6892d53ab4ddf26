#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace wendmoor {

// The source of registry-style values and the starter of the system-information program.
class SystemInfo {
public:
    virtual ~SystemInfo() = default;

    struct RawValue {
        std::uint32_t type = 0; // 1 text, 4 32-bit number, others as stored
        QByteArray data; // the bytes as stored
    };
    // Empty when the key or value does not exist.
    [[nodiscard]] virtual std::optional<RawValue> readValue(const QString& key, const QString& name) = 0;
    [[nodiscard]] virtual bool isNormalFile(const QString& path) = 0;
    // Starts a program without waiting for it; false when it cannot be started.
    [[nodiscard]] virtual bool startProgram(const QString& path) = 0;
};

} // namespace wendmoor
