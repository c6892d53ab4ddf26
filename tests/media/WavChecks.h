#pragma once

#include <QString>

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <vector>

namespace wendmoor::test {

// A log file as another program reads it, through libsndfile, up to where its audio ends (a
// FLAC file whose recording was cut short states no length).
struct WavContents {
    bool opened = false;
    int rate = 0;
    int format = 0; // SF_FORMAT_* bits
    std::vector<std::int16_t> samples;
};

inline WavContents readWav(const QString& path)
{
    WavContents c;
    SF_INFO info {};
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
    if (!f)
        return c;
    c = { true, info.samplerate, info.format, {} };
    std::int16_t block[4096];
    for (sf_count_t got; (got = sf_read_short(f, block, 4096 - 4096 % info.channels)) > 0;)
        c.samples.insert(c.samples.end(), block, block + got);
    sf_close(f);
    return c;
}

inline std::vector<std::int16_t> sineTone(
    int rate, double hz, std::size_t frames, double amplitude = 12000.0, std::size_t startFrame = 0)
{
    std::vector<std::int16_t> out(frames);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = static_cast<std::int16_t>(std::lround(
            amplitude * std::sin(2.0 * std::numbers::pi * hz * (static_cast<double>(i + startFrame) / rate))));
    return out;
}

// The frequency of a steady tone from the number of its rising zero crossings.
inline double toneFrequency(const std::vector<std::int16_t>& samples, int rate)
{
    std::vector<std::size_t> rising;
    for (std::size_t i = 1; i < samples.size(); ++i)
        if (samples[i - 1] < 0 && samples[i] >= 0)
            rising.push_back(i);
    return rising.size() < 2
        ? 0.0
        : static_cast<double>(rising.size() - 1) * rate / static_cast<double>(rising.back() - rising.front());
}

// Root-mean-square of the samples.
inline double rms(const std::vector<std::int16_t>& samples)
{
    const double sum = std::inner_product(samples.begin(), samples.end(), samples.begin(), 0.0);
    return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

} // namespace wendmoor::test
