#include "recorder/RecordingChain.h"

#include "../media/WavChecks.h"
#include "RecorderFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// The sound card captures in real time on a thread of its own into a ring that holds half a
// second (two of the recording thread's drains), while the user-interface thread is busy for
// twice as long: the recording thread alone keeps the ring from overflowing, and every sample
// reaches the file.
TEST(RecordingChainTest, UserInterfaceThreadBusyLongerThanTheRingHoldsLosesNothing)
{
    QTemporaryDir dir;
    FakeAudioSystem audio;
    audio.capture = std::make_shared<FakeCaptureStream::Shared>(22050 / 2);
    RecordingMessages messages;
    RecordingChain chain(audio, messages);
    const QString path = dir.filePath(QStringLiteral("log.wav"));
    chain.configure(*recordFormat(5), 0, path);
    chain.start();

    std::int16_t counter = 0;
    std::size_t fed = 0;
    std::thread card([&] {
        std::vector<std::int16_t> block(441); // 20 ms
        const auto begin = std::chrono::steady_clock::now();
        for (int i = 0; i < 75; ++i) {
            for (auto& s : block)
                s = counter = static_cast<std::int16_t>((counter + 1) & 0x7fff);
            audio.feed(block);
            fed += block.size();
            std::this_thread::sleep_until(begin + std::chrono::milliseconds(20 * (i + 1)));
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(1)); // the busy window
    card.join();
    chain.shutdown();

    const WavContents c = readWav(path);
    ASSERT_TRUE(c.opened);
    EXPECT_EQ(c.samples.size(), fed);
    EXPECT_EQ(countingBreak(c.samples), 0u);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
}

} // namespace
