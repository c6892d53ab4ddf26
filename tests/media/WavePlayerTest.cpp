#include "media/WavePlayer.h"
#include "media/FormatConverter.h"
#include "media/WaveFileWriter.h"
#include "media/WaveFormat.h"

#include "TestServices.h"
#include "TestWavFiles.h"

#include <QCoreApplication>
#include <QFile>

#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

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
        QObject::connect(&player, &WavePlayer::failed, [this](const Error& e) { events.append(e.text()); });
    }
    QString file(const char* name) const { return t.dir.path() + QLatin1Char('/') + QLatin1String(name); }

    // Lets the fake device take `frames` frames, topping the queue up as the player's timer does.
    void playFrames(std::int64_t frames)
    {
        const auto ch = static_cast<std::size_t>(std::max(1, t.audio.playback->channels));
        for (std::size_t queued; frames > 0 && (player.pump(), queued = t.audio.playback->queued.size() / ch) > 0;) {
            const std::int64_t n = std::min(static_cast<std::int64_t>(queued), frames);
            t.audio.play(static_cast<std::size_t>(n));
            frames -= n;
        }
        player.pump();
        QCoreApplication::processEvents();
    }
};

TEST_F(WavePlayerTest, PositionIsWhatTheDeviceTookAndStaysInsideTheFile)
{
    ASSERT_TRUE(writeLog(file("a.wav"), 5000));
    player.setFileName(file("a.wav"));
    player.setPositionMs(-11000);
    player.play();
    EXPECT_GT(t.audio.playback->queued.size(), 0u); // data waits in the queue, nothing heard yet
    EXPECT_EQ(player.positionMs(), 0);
    playFrames(8000 + 4); // 1000.5 ms
    EXPECT_EQ(player.positionMs(), 1001);
    player.pause();
    EXPECT_EQ(player.positionMs(), 1001);
    player.setPositionMs(20000);
    EXPECT_EQ(player.positionMs(), 5000);
}

TEST_F(WavePlayerTest, EndOfFileOnlyAfterEveryFrameWasPlayed)
{
    ASSERT_TRUE(writeLog(file("a.wav"), 500)); // 4000 frames, all queued at once
    player.setFileName(file("a.wav"));
    player.play();
    playFrames(3999);
    EXPECT_EQ(player.state(), WavePlayer::State::Playing);
    playFrames(1);
    EXPECT_EQ(events, (QStringList { QStringLiteral("started"), QStringLiteral("stopped") }));
    EXPECT_EQ(player.positionMs(), 500);
    EXPECT_FALSE(t.audio.playback->running);
}

TEST_F(WavePlayerTest, LoadFailuresNameTheFileOrDevice)
{
    QFile text(file("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("this is not audio") > 0);
    text.close();
    ASSERT_TRUE(writeLog(file("a.wav"), 1000));
    ASSERT_TRUE(writeWav(file("quad.wav"), 8000, 4, 800));
    const struct {
        QString path;
        bool deviceFails;
        int number;
        QString named;
    } cases[] = {
        { file("gone.wav"), false, ErrorNumber::FileNotFound, file("gone.wav") },
        { file("notes.wav"), false, ErrorNumber::WaveFileRead, file("notes.wav") },
        { file("quad.wav"), false, ErrorNumber::WaveFormatUnsupported, file("quad.wav") },
        { file("a.wav"), true, ErrorNumber::SoundDeviceNotFound, QStringLiteral("sound output") },
    };
    for (const auto& c : cases) {
        WavePlayer p(t.audio);
        t.audio.failOpen = c.deviceFails;
        try {
            p.setFileName(c.path);
            ADD_FAILURE() << c.path.toStdString() << ": no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number) << e.text().toStdString();
            EXPECT_TRUE(e.description().contains(c.named)) << e.text().toStdString();
        }
        EXPECT_FALSE(p.isLoaded());
        EXPECT_THROW(p.play(), Error);
    }
}

// Today's log, in the recorder's own writer: what was written after loading is not played, and
// a GSM log that loses its tail meanwhile ends with a message, not in silence.
TEST_F(WavePlayerTest, LogBeingWrittenPlaysToItsLengthWhenLoaded)
{
    for (const WaveFormat& format : { WaveFormat::pcm(8000, 16), WaveFormat::gsm610(8000) }) {
        WaveFileWriter writer(t.messages);
        writer.setFileName(file("today.wav"));
        writer.setEnabled(true);
        writer.beginStream(format);
        const std::vector<std::int16_t> second(8000, 1000);
        writer.writeSamples(second);
        writer.writeSamples(std::span(second).first(160));
        writer.refreshNow();
        player.setFileName(file("today.wav"));
        const std::int64_t frames = format.encoding() == WaveEncoding::Pcm ? 8160 : 8000; // whole GSM blocks
        EXPECT_EQ(player.lengthMs(), frames / 8);
        writer.writeSamples(second);
        writer.refreshNow();
        const std::size_t before = t.audio.playback->played.size();
        player.play();
        playFrames(16000);
        EXPECT_EQ(t.audio.playback->played.size() - before, static_cast<std::size_t>(frames));
        EXPECT_EQ(events.last(), QStringLiteral("stopped"));
    }
    player.setFileName(file("today.wav")); // the closed GSM log: two seconds
    player.play();
    QFile(file("today.wav")).resize(200);
    playFrames(16000);
    ASSERT_EQ(events.size(), 7) << events.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(events[5].startsWith(QStringLiteral("1013 ")) && events[5].contains(file("today.wav")))
        << events[5].toStdString();
}

TEST_F(WavePlayerTest, LevelTapGetsOnlyWhatWasPlayed)
{
    ASSERT_TRUE(writeWav(file("loud.wav"), 8000, 1, 16000,
        [](std::int64_t frame, int) { return static_cast<std::int16_t>(frame < 8000 ? 0 : 32000); }));
    int loudest = -1;
    player.setLevelTap([&](std::span<const std::int16_t> s) {
        loudest = s.empty() ? -1 : std::max<int>(loudest, *std::max_element(s.begin(), s.end()));
    });
    player.setFileName(file("loud.wav"));
    player.play();
    playFrames(7999); // the loud second is queued by now but not heard
    EXPECT_EQ(loudest, 0);
    playFrames(100);
    EXPECT_EQ(loudest, 32000);
    player.stop();
    EXPECT_EQ(loudest, -1);
}

// A sweep whose every stretch differs from the others, so that what is heard tells where in the
// file it came from; `peak` is the amplitude, 1.0 full scale.
double sweep(std::int64_t frame, int rate, int channel, double peak)
{
    const double s = static_cast<double>(frame) / rate;
    return (channel == 0 ? peak : -peak) * std::sin(2.0 * std::numbers::pi * (150.0 * s + 200.0 * s * s));
}

// WAV layouts of other programs, written with libsndfile: each shows its length and plays at its
// pitch and level from the start and from the middle.
TEST_F(WavePlayerTest, EveryCommonLayoutPlaysAndSeeks)
{
    const struct {
        int format;
        int rate;
        int channels;
        double peak;
        double tolerance; // of full scale
    } cases[] = {
        { SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8000, 1, 0.5, 0.01 },
        { SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5, 0.0001 },
        { SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 1, 0.5, 0.0001 },
        { SF_FORMAT_WAV | SF_FORMAT_PCM_32, 32000, 2, 0.5, 0.0001 },
        { SF_FORMAT_WAV | SF_FORMAT_FLOAT, 22050, 1, 0.5, 0.0001 },
        { SF_FORMAT_WAV | SF_FORMAT_FLOAT, 16000, 2, 1.5, 0.0001 }, // beyond full scale: clipped
        { SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 48000, 2, 0.5, 0.0001 },
        { SF_FORMAT_WAV | SF_FORMAT_ALAW, 8000, 1, 0.5, 0.02 },
        { SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, 0.5, 0.02 },
        { SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 11025, 1, 0.5, 0.08 },
        { SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 22050, 2, 0.5, 0.08 },
        { SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, 0.5, 0.2 },
    };
    for (const auto& c : cases) {
        const std::string what = std::to_string(c.format) + " " + std::to_string(c.rate) + " Hz";
        const std::int64_t frames = 4 * c.rate;
        SF_INFO info { 0, c.rate, c.channels, c.format, 0, 0 };
        SNDFILE* out = sf_open(QFile::encodeName(file("other.wav")).constData(), SFM_WRITE, &info);
        ASSERT_NE(out, nullptr) << what;
        std::vector<float> samples(static_cast<std::size_t>(frames * c.channels));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<float>(sweep(static_cast<std::int64_t>(i) / c.channels, c.rate, int(i) % c.channels, c.peak));
        ASSERT_EQ(sf_writef_float(out, samples.data(), frames), frames) << what;
        sf_close(out);

        player.setFileName(file("other.wav"));
        EXPECT_TRUE(player.lengthMs() >= 4000 && player.lengthMs() < 4070) << what; // ADPCM: whole blocks
        for (const std::int32_t from : { 0, 2000 }) {
            const std::size_t before = t.audio.playback->played.size();
            player.setPositionMs(from);
            player.play();
            playFrames(c.rate / 2);
            player.stop();
            // After the first GSM block (the decoder settling), sample by sample against the sweep.
            double worst = 0;
            for (std::int64_t f = 320; f < c.rate / 2; ++f) {
                for (int ch = 0; ch < c.channels; ++ch) {
                    const double expected = std::clamp(sweep(from * c.rate / 1000 + f, c.rate, ch, c.peak), -1.0, 1.0);
                    const double got = t.audio.playback->played[before + std::size_t(f * c.channels + ch)] / 32768.0;
                    worst = std::max(worst, std::abs(got - expected));
                }
            }
            EXPECT_LE(worst, c.tolerance) << what << " from " << from;

        }
    }
}

} // namespace
} // namespace wendmoor::test
