#include "media/WavePlayer.h"
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
        const auto ch = static_cast<std::int64_t>(std::max(1, t.audio.playback->channels));
        const auto queued = [&] { return static_cast<std::int64_t>(t.audio.playback->queued.size()) / ch; };
        for (std::int64_t n; frames > 0 && (player.pump(), n = std::min(frames, queued())) > 0; frames -= n)
            t.audio.play(static_cast<std::size_t>(n));
        player.pump();
        QCoreApplication::processEvents();
    }
};

// Position, level and the end follow what the device took, not what was queued.
TEST_F(WavePlayerTest, PositionMeterAndEndFollowWhatTheDeviceTook)
{
    ASSERT_TRUE(writeWav(file("a.wav"), 8000, 1, 12000,
        [](std::int64_t frame, int) { return static_cast<std::int16_t>(frame < 8000 ? 0 : 32000); }));
    int loudest = -1;
    player.setLevelTap([&](std::span<const std::int16_t> s) {
        loudest = s.empty() ? -1 : std::max<int>(loudest, *std::max_element(s.begin(), s.end()));
    });
    player.setFileName(file("a.wav"));
    player.setPositionMs(-11000);
    player.play();
    playFrames(7999); // the loud half second is queued by now but not heard
    EXPECT_EQ(player.positionMs(), 1000);
    EXPECT_EQ(loudest, 0);
    playFrames(5);
    EXPECT_EQ(player.positionMs(), 1001); // 1000.5 ms
    EXPECT_EQ(loudest, 32000);
    player.pause();
    player.resume();
    playFrames(3995);
    EXPECT_EQ(player.state(), WavePlayer::State::Playing); // one frame left
    playFrames(1);
    EXPECT_EQ(
        events, (QStringList { QStringLiteral("started"), QStringLiteral("started"), QStringLiteral("stopped") }));
    EXPECT_EQ(player.positionMs(), 1500);
    EXPECT_EQ(loudest, -1);
    EXPECT_FALSE(t.audio.playback->running);
    player.setPositionMs(20000);
    EXPECT_EQ(player.positionMs(), 1500);
}

TEST_F(WavePlayerTest, LoadFailuresNameTheFileOrDevice)
{
    QFile text(file("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("this is not audio") > 0);
    text.close();
    ASSERT_TRUE(writeWav(file("quad.wav"), 8000, 4, 800) && writeLog(file("a.wav"), 100));
    const std::tuple<const char*, bool, int> cases[] = {
        { "notes.wav", false, ErrorNumber::WaveFileRead },
        { "quad.wav", false, ErrorNumber::WaveFormatUnsupported },
        { "a.wav", true, ErrorNumber::SoundDeviceNotFound },
    };
    for (const auto& [name, deviceFails, number] : cases) {
        WavePlayer p(t.audio);
        t.audio.failOpen = deviceFails;
        try {
            p.setFileName(file(name));
            ADD_FAILURE() << name << ": no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), number) << e.text().toStdString();
            EXPECT_TRUE(e.description().contains(deviceFails ? QStringLiteral("sound output") : file(name)))
                << e.text().toStdString();
        }
        EXPECT_THROW(p.play(), Error) << name;
    }
}

// Today's log, in the recorder's own writer: what was written after loading is not played, and
// a GSM log that loses its tail meanwhile ends with a message, not in silence.
TEST_F(WavePlayerTest, LogBeingWrittenPlaysToItsLengthWhenLoaded)
{
    for (const WaveFormat& format : { WaveFormat::pcm(8000, 16), WaveFormat::gsm610(8000) }) {
        WaveFileWriter writer(t.messages);
        QFile::remove(file("today.wav")); // the writer never replaces a file
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
    }
    player.setFileName(file("today.wav")); // the closed GSM log: two seconds
    player.play();
    QFile(file("today.wav")).resize(200);
    playFrames(16000);
    ASSERT_EQ(events.size(), 7) << events.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(events[5].startsWith(QStringLiteral("1013 ")) && events[5].contains(file("today.wav")))
        << events[5].toStdString();
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
        int format, rate, channels;
        double peak, tolerance; // of full scale
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
        SF_INFO info { 0, c.rate, c.channels, c.format, 0, 0 };
        SNDFILE* out = sf_open(QFile::encodeName(file("other.wav")).constData(), SFM_WRITE, &info);
        std::vector<float> samples(static_cast<std::size_t>(4 * c.rate * c.channels));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = float(sweep(std::int64_t(i) / c.channels, c.rate, int(i) % c.channels, c.peak));
        ASSERT_EQ(sf_write_float(out, samples.data(), sf_count_t(samples.size())), sf_count_t(samples.size())) << what;
        sf_close(out);

        player.setFileName(file("other.wav"));
        EXPECT_TRUE(player.lengthMs() >= 4000 && player.lengthMs() < 4070) << what; // ADPCM: whole blocks
        for (const std::int32_t from : { 0, 2000 }) {
            const std::size_t before = t.audio.playback->played.size();
            player.setPositionMs(from);
            player.play();
            playFrames(c.rate / 2);
            player.stop();
            double worst = 0; // past the first 320 frames, where ADPCM and GSM settle
            for (int i = 320 * c.channels; i < c.rate / 2 * c.channels; ++i) {
                const double expected = std::clamp(
                    sweep(from * c.rate / 1000 + i / c.channels, c.rate, i % c.channels, c.peak), -1.0, 1.0);
                worst
                    = std::max(worst, std::abs(t.audio.playback->played[before + std::size_t(i)] / 32768.0 - expected));
            }
            EXPECT_LE(worst, c.tolerance) << what << " from " << from;
        }
    }
}

} // namespace
} // namespace wendmoor::test
