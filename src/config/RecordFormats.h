#pragma once

#include <array>

namespace wendmoor {

// The texts of the nine recording formats, indexed by Settings::RecordFormat (0 to 8). Blanks
// are part of the texts and stay as they are.
inline constexpr std::array<const char*, 9> kRecordFormatTexts = {
    "PCM 8.000 kHz Mono 8 Bit 7 kb/sec ",
    "PCM 8.000 kHz Mono 16 Bit 15 kb/sec",
    "PCM 11,025 kHz Mono 8 Bit 10 kb/sec",
    "PCM 11,025 kHz Mono 16 Bit 21 kb/sec",
    "PCM 22.050 kHz Mono 8 Bit 21 kb/sec",
    "PCM 22.050 kHz Mono 16 Bit 43 kb/sec",
    "GSM 6.10 8.000 kHz Mono 1 kb/sec",
    "GSM 6.10 11.025 kHz Mono 2 kb/sec",
    "GSM 6.10 22.050 kHz Mono 4 kb/sec",
};

} // namespace wendmoor
