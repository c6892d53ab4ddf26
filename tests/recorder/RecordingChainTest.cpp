#include "recorder/RecordingChain.h"

#include "../media/WavChecks.h"
#include "RealTimeCard.h"
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

    RealTimeCard card(audio, 75); // 1.5 s
    std::this_thread::sleep_for(std::chrono::seconds(1)); // the busy window
    card.finish();
    chain.shutdown();

    const WavContents c = readWav(path);
    ASSERT_TRUE(c.opened);
    EXPECT_EQ(c.samples.size(), card.fed());
    EXPECT_EQ(countingBreak(c.samples), 0u);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
}

} // namespace
