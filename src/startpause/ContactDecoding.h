#pragma once

#include <cstdint>

namespace wendmoor {

// The port address each remote-control input (RemoteParallelPort, RemotePrairieCard) is read from.
namespace RemoteInputSource {
inline constexpr int ParallelStatusAddress = 0x379;
inline constexpr int PrairieCardAddress = 0x285;

// What a port that cannot be reached is taken to read: no contact closed.
inline constexpr std::uint8_t ParallelIdleByte = 0x7f;
inline constexpr std::uint8_t PrairieIdleByte = 0x00;
} // namespace RemoteInputSource

// The value the contacts are decoded from, for a byte read from the chosen input. The parallel
// port's status lines are pulled to ground by a closed contact, so the byte is turned around by
// subtracting it from 127; a status byte of 128 or more (busy line high) gives a negative value.
// The card's byte is taken as it is.
[[nodiscard]] std::int16_t remoteInputValue(std::int16_t source, std::uint8_t byte) noexcept;

// The contacts found in a value, and what is left of it once the bits have been peeled off.
struct ContactReading {
    bool record = false; // weight 32: pin 12 on the parallel port
    bool pause = false; // weight 16: pin 13 on the parallel port
    std::int16_t remainder = 0;
};

// Peels the value from the top bit down (128, 64, 32, 16, and on the card also 4, 2, 1), each
// weight being taken off only when the value still reaches it. A negative value shows no contact.
[[nodiscard]] ContactReading peelContacts(std::int16_t source, std::int16_t value) noexcept;

} // namespace wendmoor
