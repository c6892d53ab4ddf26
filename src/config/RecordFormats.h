#pragma once

#include "media/WaveFormat.h"

#include <array>
#include <cstdint>

namespace wendmoor {

// One recording format as the operator chooses it: its caption in the preferences' list and what
// the recording chain, the log names and the clock need to know of it.
struct RecordFormat {
    const char* caption; // blanks are part of the text and stay as they are
    WaveEncoding encoding;
    int sampleRate;
    int bits; // 8 or 16 for PCM and FLAC; 0 for GSM 6.10 and Opus
    bool splitsAtNoon; // a morning and an afternoon log per day

    [[nodiscard]] WaveFormat waveFormat() const
    {
        switch (encoding) {
        case WaveEncoding::Gsm610:
            return WaveFormat::gsm610(sampleRate);
        case WaveEncoding::Flac:
            return WaveFormat::flac(sampleRate);
        case WaveEncoding::Opus:
            return WaveFormat::opus(sampleRate);
        case WaveEncoding::Pcm:
            break;
        }
        return WaveFormat::pcm(sampleRate, bits);
    }

    // The rate the sound card records at: the format's own, except for Opus, which takes no
    // 22050 Hz; its input is recorded at 22050 Hz and resampled.
    [[nodiscard]] int inputRate() const { return encoding == WaveEncoding::Opus ? 22050 : sampleRate; }
};

// The formats, indexed by Settings::RecordFormat.
inline constexpr std::array<RecordFormat, 11> kRecordFormats = { {
    { "PCM 8.000 kHz Mono 8 Bit 7 kb/sec ", WaveEncoding::Pcm, 8000, 8, false },
    { "PCM 8.000 kHz Mono 16 Bit 15 kb/sec", WaveEncoding::Pcm, 8000, 16, false },
    { "PCM 11,025 kHz Mono 8 Bit 10 kb/sec", WaveEncoding::Pcm, 11025, 8, false },
    { "PCM 11,025 kHz Mono 16 Bit 21 kb/sec", WaveEncoding::Pcm, 11025, 16, false },
    { "PCM 22.050 kHz Mono 8 Bit 21 kb/sec", WaveEncoding::Pcm, 22050, 8, false },
    { "PCM 22.050 kHz Mono 16 Bit 43 kb/sec", WaveEncoding::Pcm, 22050, 16, true },
    { "GSM 6.10 8.000 kHz Mono 1 kb/sec", WaveEncoding::Gsm610, 8000, 0, false },
    { "GSM 6.10 11.025 kHz Mono 2 kb/sec", WaveEncoding::Gsm610, 11025, 0, false },
    { "GSM 6.10 22.050 kHz Mono 4 kb/sec", WaveEncoding::Gsm610, 22050, 0, false },
    { "FLAC 22.050 kHz Mono 16 Bit lossless", WaveEncoding::Flac, 22050, 16, false },
    { "Opus 24.000 kHz Mono 32 kbit/sec", WaveEncoding::Opus, 24000, 0, false },
} };

// The format a settings value names, or nullptr for a value that names none.
[[nodiscard]] inline const RecordFormat* recordFormat(std::int32_t number)
{
    if (number < 0 || number >= static_cast<std::int32_t>(kRecordFormats.size()))
        return nullptr;
    return &kRecordFormats[static_cast<std::size_t>(number)];
}

// Whether the format's days are split into a morning and an afternoon log.
[[nodiscard]] inline bool splitsAtNoon(std::int32_t number)
{
    const RecordFormat* format = recordFormat(number);
    return format && format->splitsAtNoon;
}

} // namespace wendmoor
