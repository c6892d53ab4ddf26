#pragma once

#include <QString>

#include <cstdint>
#include <span>
#include <utility>

namespace wendmoor {

// How the samples of a wave format are stored.
enum class WaveEncoding { Pcm, Gsm610, Flac, Opus };

// A mono wave format: PCM of 8 or 16 bits or GSM 6.10 in a WAV file, 16-bit FLAC, or Opus at
// kOpusBitsPerSecond in an Ogg file, at a sample rate. Only the formats the recorder can write can
// be made.
class WaveFormat {
public:
    // Throws Error (WaveFormatUnsupported) for a rate outside 1000..192000 Hz or a bit length
    // other than 8 or 16.
    [[nodiscard]] static WaveFormat pcm(int sampleRate, int bitsPerSample);
    [[nodiscard]] static WaveFormat gsm610(int sampleRate);
    [[nodiscard]] static WaveFormat flac(int sampleRate);
    // Opus takes 8000, 12000, 16000, 24000 or 48000 Hz; any other rate throws.
    [[nodiscard]] static WaveFormat opus(int sampleRate);

    static constexpr int kOpusBitsPerSecond = 32000;
    // GSM 6.10 in a WAV file (WAV49 framing) stores every 320 samples in a block of 65 bytes.
    static constexpr int kGsmBlockBytes = 65;
    static constexpr int kGsmBlockSamples = 320;

    [[nodiscard]] WaveEncoding encoding() const { return m_encoding; }
    [[nodiscard]] int sampleRate() const { return m_rate; }
    // 8 or 16 for PCM, 16 for FLAC; 0 for GSM 6.10 and Opus, which have no bit length of their own.
    [[nodiscard]] int bitsPerSample() const { return m_bits; }
    [[nodiscard]] static constexpr int channels() { return 1; }
    // The extension of a file in this format, with its dot: ".wav", ".flac", ".opus".
    [[nodiscard]] const char* fileExtension() const
    {
        return m_encoding == WaveEncoding::Flac ? ".flac" : m_encoding == WaveEncoding::Opus ? ".opus" : ".wav";
    }
    // Two texts for the operator: the format's name ("PCM", "GSM 6.10", "FLAC", "Opus") and its details
    // ("22.050 kHz, 16 Bit, Mono").
    [[nodiscard]] std::pair<QString, QString> describe() const;

    friend bool operator==(const WaveFormat&, const WaveFormat&) = default;

private:
    WaveFormat(WaveEncoding encoding, int rate, int bits)
        : m_encoding(encoding)
        , m_rate(rate)
        , m_bits(bits)
    {
    }

    WaveEncoding m_encoding;
    int m_rate;
    int m_bits;
};

// A PCM format made from a sample rate and a bit length code, the way the recorder's format
// template is set up: BitLength 0 is 8 bit, 1 is 16 bit, and the template stays mono.
struct WaveFormatTemplate {
    int SampleRate = 8000;
    int BitLength = 1;
    // Throws Error for a bit length code other than 0 or 1 or an unusable rate.
    [[nodiscard]] WaveFormat format() const;
};

// Wave helpers: peak values.
namespace WaveHelper {
// The peaks of a buffer of 16-bit samples: for each of the first two channels the sample of the
// largest magnitude, with its sign (a mono buffer gives its peak twice). Returned as int so that
// a peak of -32768 stays what it is; an empty buffer gives zeros.
struct Peaks {
    int first = 0;
    int second = 0;
};
[[nodiscard]] Peaks peaks(std::span<const std::int16_t> samples, int channels = 1);
} // namespace WaveHelper

} // namespace wendmoor
