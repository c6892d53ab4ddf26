#include "media/WaveFormat.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace wendmoor;

namespace {

TEST(WaveFormat, UnwritableFormatsAreRefusedWithANumber)
{
    WaveFormatTemplate t;
    t.BitLength = 2;
    for (const auto& make : std::vector<std::function<WaveFormat()>>{
             [&] { return t.format(); },
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

} // namespace
