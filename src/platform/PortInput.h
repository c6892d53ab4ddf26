#pragma once

#include <cstdint>

namespace wendmoor {

// Reads one byte from an I/O port address (the remote-control contacts).
class PortInput {
public:
    virtual ~PortInput() = default;
    // Throws Error when the port cannot be reached.
    [[nodiscard]] virtual std::uint8_t Inp(int address) = 0;
};

} // namespace wendmoor
