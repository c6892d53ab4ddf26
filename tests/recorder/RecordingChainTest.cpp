#include "recorder/RecordingChain.h"

#include "../media/WavChecks.h"
#include "RecorderFixture.h"
#include "catalog/CatalogWriter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

#include <chrono>
#include <thread>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// The sound card captures in real time on a thread of its own into a ring that holds a quarter
// of a second, while the user-interface thread is busy for four times as long: the recording
// thread alone keeps the ring from overflowing, and every sample reaches the file.
TEST(RecordingChainTest, UserInterfaceThreadBusyLongerThanTheRingHoldsLosesNothing)
{
    QTemporaryDir dir;
    FakeAudioSystem audio;
    audio.capture = std::make_shared<FakeCaptureStream::Shared>(22050 / 4);
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

// The chain tells the catalog where every frame went across a Standby; a catalog that cannot be
// written (here a folder stands where its file would be) costs no sample and is reported once.
TEST(RecordingChainTest, CatalogFollowsTheRecordingAndOneThatCannotBeWrittenCostsNoAudio)
{
    for (const bool writable : { true, false }) {
        QTemporaryDir dir;
        if (!writable) {
            ASSERT_TRUE(QDir(dir.path()).mkdir(QLatin1String(Catalog::kFileName)));
        }
        FakeAudioSystem audio;
        FakeTimeSource clock;
        RecordingMessages messages;
        CatalogWriter catalog(messages);
        RecordingChain chain(audio, messages);
        chain.setCatalog(&catalog, &clock);
        const QString path = dir.filePath(QStringLiteral("L120626.wav"));
        chain.configure(*recordFormat(1), 0, path); // PCM 8000 Hz
        const QDateTime start = clock.current;
        chain.start();
        std::int16_t counter = 0;
        auto second = [&] {
            std::vector<std::int16_t> block(8000);
            for (auto& s : block)
                s = counter = static_cast<std::int16_t>((counter + 1) & 0x7fff);
            audio.feed(block); // the second just gone
            clock.advanceMs(1000);
            chain.pump();
        };
        for (int i = 0; i < 30; ++i)
            second();
        chain.pause(QStringLiteral("VOX"));
        for (int i = 0; i < 10; ++i)
            second(); // dropped: Standby
        chain.resume();
        for (int i = 0; i < 20; ++i)
            second();
        chain.shutdown();
        catalog.flush();
        QCoreApplication::processEvents();

        const WavContents c = readWav(path);
        ASSERT_TRUE(c.opened);
        EXPECT_EQ(c.samples.size(), 50u * 8000u) << writable;
        if (!writable) {
            ASSERT_EQ(messages.shown.size(), 1) << messages.shown.join(QLatin1Char('\n')).toStdString();
            EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("1050 "))
                && messages.shown[0].contains(dir.filePath(QLatin1String(Catalog::kFileName))))
                << messages.shown[0].toStdString();
            continue;
        }
        EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('\n')).toStdString();
        const auto read = Catalog::open(dir.path(), Catalog::Mode::ReadOnly);
        const UtcMs t0 = start.toMSecsSinceEpoch();
        const Location before = read->locate(t0 + 12'500);
        ASSERT_TRUE(before.segment);
        EXPECT_EQ(before.frame, 12'500 * 8);
        EXPECT_EQ(read->locate(t0 + 35'000).gap.value_or(Gap {}).detail, QStringLiteral("VOX"));
        const Location after = read->locate(t0 + 45'000);
        ASSERT_TRUE(after.segment);
        EXPECT_EQ(after.frame, 35 * 8000);
    }
}

} // namespace
