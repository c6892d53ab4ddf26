#include "media/WavePlayer.h"
#include "media/LevelMeter.h"
#include "platform/Error.h"

#include "TestServices.h"
#include "TestWavFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>

#include <sndfile.h>

#include <gtest/gtest.h>

namespace wendmoor::test {
namespace {

class WavePlayerTest : public ::testing::Test {
protected:
    TestServices t;
    WavePlayer player { t.audio };
    QStringList events;

    void SetUp() override
    {
        QObject::connect(&player, &WavePlayer::started, [this] { events.append(QStringLiteral("started")); });
        QObject::connect(&player, &WavePlayer::stopped, [this] { events.append(QStringLiteral("stopped")); });
    }

    QString file(const QString& name) const { return t.dir.path() + QLatin1Char('/') + name; }

    // Lets the fake device take `frames` frames, topping the queue up as the player's timer does.
    void playFrames(std::int64_t frames)
    {
        while (frames > 0) {
            player.pump();
            const auto queued
                = static_cast<std::int64_t>(t.audio.playback->queued.size()) / std::max(1, t.audio.playback->channels);
            if (queued == 0)
                break;
            const std::int64_t n = std::min(queued, frames);
            t.audio.play(static_cast<std::size_t>(n));
            frames -= n;
        }
        player.pump();
    }
    void deliver() { QCoreApplication::processEvents(); }
};

TEST_F(WavePlayerTest, PositionIsWhatTheDeviceTookNotWhatWasQueued)
{
    ASSERT_TRUE(writeLog(file("a.wav"), 5000));
    player.setFileName(file("a.wav"));
    player.play();
    EXPECT_GT(t.audio.playback->queued.size(), 0u); // data waits in the queue, nothing heard yet
    EXPECT_EQ(player.positionMs(), 0);
    playFrames(8000 + 4); // 1000.5 ms
    EXPECT_EQ(player.positionMs(), 1001);
    player.pause();
    EXPECT_EQ(player.positionMs(), 1001);
    player.stop();
    EXPECT_EQ(player.positionMs(), 1001);
}

TEST_F(WavePlayerTest, DeviceReceivesTheFileFromThePositionInStereo)
{
    ASSERT_TRUE(writeWav(file("s.wav"), 22050, 2, 22050 * 3));
    player.setFileName(file("s.wav"));
    EXPECT_EQ(player.channelMode(), 1);
    EXPECT_EQ(t.audio.playback->rate, 22050);
    EXPECT_EQ(t.audio.playback->channels, 2);
    player.setPositionMs(1000);
    player.play();
    playFrames(3000);
    ASSERT_EQ(t.audio.playback->played.size(), 6000u);
    for (std::size_t i = 0; i < 3000; ++i) {
        ASSERT_EQ(t.audio.playback->played[2 * i], countingSample(22050 + static_cast<std::int64_t>(i), 0));
        ASSERT_EQ(t.audio.playback->played[2 * i + 1], countingSample(22050 + static_cast<std::int64_t>(i), 1));
    }
}

TEST_F(WavePlayerTest, PositionOutsideTheFileIsHeldAtItsEdges)
{
    ASSERT_TRUE(writeLog(file("a.wav"), 9000));
    player.setFileName(file("a.wav"));
    player.setPositionMs(-11000);
    EXPECT_EQ(player.positionMs(), 0);
    player.play();
    playFrames(1);
    EXPECT_EQ(t.audio.playback->played.front(), countingSample(0, 0));
    player.setPositionMs(20000);
    EXPECT_EQ(player.positionMs(), 9000);
}

TEST_F(WavePlayerTest, EndOfFileOnlyAfterEveryFrameWasPlayed)
{
    ASSERT_TRUE(writeLog(file("a.wav"), 500)); // 4000 frames, all queued at once
    player.setFileName(file("a.wav"));
    player.play();
    player.pump();
    playFrames(3999);
    deliver();
    EXPECT_EQ(player.state(), WavePlayer::State::Playing);
    EXPECT_EQ(events, QStringList { QStringLiteral("started") });
    playFrames(1);
    deliver();
    EXPECT_EQ(player.state(), WavePlayer::State::Stopped);
    EXPECT_EQ(events, (QStringList { QStringLiteral("started"), QStringLiteral("stopped") }));
    EXPECT_EQ(player.positionMs(), 500);
    EXPECT_FALSE(t.audio.playback->running);
}

TEST_F(WavePlayerTest, LoadFailuresNameTheFileOrDevice)
{
    QFile text(file("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not audio");
    text.close();
    ASSERT_TRUE(writeLog(file("a.wav"), 1000));

    struct Case {
        const char* what;
        QString path;
        bool deviceFails;
        int number;
        QString named;
    };
    const std::vector<Case> cases {
        { "missing", file("gone.wav"), false, ErrorNumber::FileNotFound, file("gone.wav") },
        { "not a wave file", file("notes.wav"), false, ErrorNumber::WaveFileRead, file("notes.wav") },
        { "device", file("a.wav"), true, ErrorNumber::SoundDeviceNotFound, QStringLiteral("sound output") },
    };
    for (const Case& c : cases) {
        WavePlayer p(t.audio);
        p.setDeviceID(0);
        t.audio.failOpen = c.deviceFails;
        try {
            p.setFileName(c.path);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number) << c.what;
            EXPECT_TRUE(e.description().contains(c.named)) << c.what << ": " << e.text().toStdString();
        }
        EXPECT_FALSE(p.isLoaded()) << c.what;
        EXPECT_THROW(p.play(), Error) << c.what;
        t.audio.failOpen = false;
    }
}

TEST_F(WavePlayerTest, FileStillBeingWrittenPlaysToItsLengthWhenLoaded)
{
    SF_INFO info {};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* writer = sf_open(QFile::encodeName(file("today.wav")).constData(), SFM_WRITE, &info);
    ASSERT_NE(writer, nullptr);
    std::vector<std::int16_t> second(8000, 1000);
    sf_writef_short(writer, second.data(), 8000);
    sf_command(writer, SFC_UPDATE_HEADER_NOW, nullptr, 0);

    player.setFileName(file("today.wav"));
    EXPECT_EQ(player.lengthMs(), 1000);
    sf_writef_short(writer, second.data(), 8000);
    sf_command(writer, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    player.play();
    playFrames(16000);
    deliver();
    EXPECT_EQ(t.audio.playback->played.size(), 8000u);
    EXPECT_EQ(events.last(), QStringLiteral("stopped"));
    sf_close(writer);
}

TEST_F(WavePlayerTest, MeterShowsOnlyWhatWasPlayed)
{
    ASSERT_TRUE(writeWav(file("loud.wav"), 8000, 1, 16000,
        [](std::int64_t frame, int) { return static_cast<std::int16_t>(frame < 8000 ? 0 : 32000); }));
    LevelMeter meter;
    player.setLevelMeter(&meter);
    player.setFileName(file("loud.wav"));
    player.play();
    playFrames(7999); // the loud second is queued by now but not heard
    EXPECT_DOUBLE_EQ(meter.levelDb(), LevelMeter::kFloorDb);
    playFrames(100);
    EXPECT_GT(meter.levelDb(), -3.0);
}

} // namespace
} // namespace wendmoor::test
