#include "media/FormatConverter.h"

#include "WavChecks.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

#include <vector>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// Collects what leaves the converter.
class Collector final : public AudioSink {
public:
    std::vector<std::int16_t> samples;
    std::vector<WaveFormat> begun;
    int ended = 0;
    void beginStream(const WaveFormat& format) override { begun.push_back(format); }
    void writeSamples(std::span<const std::int16_t> s) override { samples.insert(samples.end(), s.begin(), s.end()); }
    void endStream() override { ++ended; }
};

std::vector<std::int16_t> convert(
    int inRate, const WaveFormat& out, const std::vector<std::int16_t>& input, std::size_t chunk, Collector& sink)
{
    FormatConverter c;
    c.setOutput(&sink);
    c.setOutputFormat(out);
    c.beginStream(WaveFormat::pcm(inRate, 16));
    for (std::size_t i = 0; i < input.size(); i += chunk)
        c.writeSamples(std::span(input).subspan(i, std::min(chunk, input.size() - i)));
    c.endStream();
    return sink.samples;
}

TEST(FormatConverter, ToneKeepsItsFrequencyAndLengthAcrossRates)
{
    struct Case {
        int inRate;
        WaveFormat out;
    };
    const Case cases[] = {
        { 22050, WaveFormat::pcm(8000, 16) },
        { 22050, WaveFormat::pcm(11025, 8) },
        { 8000, WaveFormat::pcm(22050, 16) },
        { 22050, WaveFormat::pcm(22050, 16) },
    };
    for (const Case& c : cases) {
        Collector sink;
        // Odd-sized buffers, so the resampler's state must carry from one to the next.
        const auto out
            = convert(c.inRate, c.out, sineTone(c.inRate, 1000.0, static_cast<std::size_t>(c.inRate) * 2), 333, sink);
        const double expectedFrames = 2.0 * c.out.sampleRate();
        EXPECT_NEAR(static_cast<double>(out.size()), expectedFrames, 2.0) << c.inRate << " -> " << c.out.sampleRate();
        EXPECT_NEAR(toneFrequency(out, c.out.sampleRate()), 1000.0, 1.0) << c.inRate << " -> " << c.out.sampleRate();
        EXPECT_NEAR(rms(out), 12000.0 / std::sqrt(2.0), 300.0);
        ASSERT_EQ(sink.begun.size(), 1u);
        EXPECT_EQ(sink.begun.front(), c.out);
        EXPECT_EQ(sink.ended, 1);
    }
}

TEST(FormatConverter, EightBitReductionRoundsToNearestStepWithoutWrapping)
{
    std::vector<std::int16_t> s { 0, 127, 128, -128, -129, 32767, 32640, -32768, 383 };
    FormatConverter::reduceTo8Bit(s);
    const std::vector<std::int16_t> expected { 0, 0, 256, 0, -256, 32512, 32512, -32768, 256 };
    EXPECT_EQ(s, expected);
}

} // namespace
