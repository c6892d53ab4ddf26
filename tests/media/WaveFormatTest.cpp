#include "media/WaveFormat.h"
#include "media/FormatConverter.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

#include <vector>

using namespace wendmoor;

namespace {

TEST(WaveFormat, UnwritableFormatsAreRefusedWithANumber)
{
    for (const auto make : std::initializer_list<WaveFormat (*)()> {
             [] {
                 return WaveFormatTemplate { 8000, 2 }.format();
             },
             [] { return WaveFormat::pcm(22050, 24); },
             [] { return WaveFormat::pcm(0, 16); },
             [] { return WaveFormat::gsm610(-8000); },
         }) {
        try {
            (void)make();
            ADD_FAILURE() << "an unwritable format was made";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), ErrorNumber::WaveFormatUnsupported);
        }
    }
}

TEST(WaveHelperPeaks, PeakKeepsSignAndSurvivesMostNegativeSample)
{
    struct Case {
        std::vector<std::int16_t> samples;
        int channels;
        int first;
        int second;
    };
    const Case cases[] = { { {}, 1, 0, 0 }, { { 1, -5, 3 }, 1, -5, -5 }, { { 100, -32768, 32767 }, 1, -32768, -32768 },
        { { 10, -20, -30, 40 }, 2, -30, 40 } }; // stereo: left 10,-30; right -20,40
    for (const Case& c : cases) {
        const WaveHelper::Peaks p = WaveHelper::peaks(c.samples, c.channels);
        EXPECT_EQ(p.first, c.first);
        EXPECT_EQ(p.second, c.second);
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
