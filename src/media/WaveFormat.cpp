#include "media/WaveFormat.h"

#include "platform/Error.h"

#include <cstdlib>

namespace wendmoor {

namespace {

void checkRate(int sampleRate)
{
    if (sampleRate < 1000 || sampleRate > 192000) {
        throw Error(ErrorNumber::WaveFormatUnsupported,
            QStringLiteral("A wave format of %1 Hz cannot be recorded.").arg(sampleRate));
    }
}

// "22.050 kHz": the rate in kHz with three decimals.
QString kiloHertz(int rate)
{
    return QStringLiteral("%1.%2 kHz").arg(rate / 1000).arg(rate % 1000, 3, 10, QLatin1Char('0'));
}

} // namespace

WaveFormat WaveFormat::pcm(int sampleRate, int bitsPerSample)
{
    checkRate(sampleRate);
    if (bitsPerSample != 8 && bitsPerSample != 16) {
        throw Error(ErrorNumber::WaveFormatUnsupported,
            QStringLiteral("A PCM wave format of %1 bits cannot be recorded; 8 or 16 bits can.").arg(bitsPerSample));
    }
    return { WaveEncoding::Pcm, sampleRate, bitsPerSample };
}

WaveFormat WaveFormat::gsm610(int sampleRate)
{
    checkRate(sampleRate);
    return { WaveEncoding::Gsm610, sampleRate, 0 };
}

WaveFormat WaveFormat::flac(int sampleRate)
{
    checkRate(sampleRate);
    return { WaveEncoding::Flac, sampleRate, 16 };
}

WaveFormat WaveFormat::opus(int sampleRate)
{
    if (sampleRate != 8000 && sampleRate != 12000 && sampleRate != 16000 && sampleRate != 24000
        && sampleRate != 48000) {
        throw Error(ErrorNumber::WaveFormatUnsupported,
            QStringLiteral("Opus cannot be recorded at %1 Hz; 8000, 12000, 16000, 24000 or 48000 Hz can.")
                .arg(sampleRate));
    }
    return { WaveEncoding::Opus, sampleRate, 0 };
}

std::pair<QString, QString> WaveFormat::describe() const
{
    if (m_encoding == WaveEncoding::Gsm610)
        return { QStringLiteral("GSM 6.10"), kiloHertz(m_rate) + QStringLiteral(", Mono") };
    if (m_encoding == WaveEncoding::Flac)
        return { QStringLiteral("FLAC"), kiloHertz(m_rate) + QStringLiteral(", 16 Bit, Mono") };
    if (m_encoding == WaveEncoding::Opus)
        return { QStringLiteral("Opus"),
            QStringLiteral("%1, %2 kb/s, Mono").arg(kiloHertz(m_rate)).arg(kOpusBitsPerSecond / 1000) };
    return { QStringLiteral("PCM"), QStringLiteral("%1, %2 Bit, Mono").arg(kiloHertz(m_rate)).arg(m_bits) };
}

WaveFormat WaveFormatTemplate::format() const
{
    if (BitLength != 0 && BitLength != 1) {
        throw Error(ErrorNumber::WaveFormatUnsupported,
            QStringLiteral("The bit length code %1 names no PCM format (0 is 8 bit, 1 is 16 bit).").arg(BitLength));
    }
    return WaveFormat::pcm(SampleRate, BitLength == 0 ? 8 : 16);
}

namespace WaveHelper {

Peaks peaks(std::span<const std::int16_t> samples, int channels)
{
    if (channels < 1)
        channels = 1;
    int best[2] = { 0, 0 };
    const auto step = static_cast<std::size_t>(channels);
    for (int c = 0; c < std::min(channels, 2); ++c) {
        for (std::size_t i = static_cast<std::size_t>(c); i < samples.size(); i += step) {
            const int v = samples[i];
            if (std::abs(v) > std::abs(best[c]))
                best[c] = v;
        }
    }
    if (channels == 1)
        best[1] = best[0];
    return { best[0], best[1] };
}

} // namespace WaveHelper

} // namespace wendmoor
