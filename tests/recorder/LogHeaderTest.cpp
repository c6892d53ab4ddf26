#include "recorder/LogHeader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <sndfile.h>

#include <gtest/gtest.h>

#include <vector>

using namespace wendmoor;

namespace {

// A WAV file whose header still says "empty", the way a writer leaves it between updates, with
// `frames` samples of a counting pattern appended.
QString writeStaleWav(const QTemporaryDir& dir, int format, int frames)
{
    const QString path = dir.filePath(QStringLiteral("L120626.wav"));
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = format;
    SNDFILE* sf = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    EXPECT_NE(sf, nullptr);
    sf_command(sf, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_FALSE);
    sf_command(sf, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    std::vector<short> samples(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        samples[static_cast<size_t>(i)] = static_cast<short>(i * 7);
    sf_write_short(sf, samples.data(), frames);
    sf_write_sync(sf);
    // Leave without closing the handle's header: copy the bytes as they stand now.
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    f.close();
    sf_close(sf);
    QFile out(path);
    out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    out.write(bytes);
    return path;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

TEST(LogHeader, RefreshSetsRiffAndDataSizesWithoutTouchingSamples)
{
    for (int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_PCM_U8}) {
        QTemporaryDir dir;
        const QString path = writeStaleWav(dir, format, 800);
        const QByteArray before = readAll(path);
        ASSERT_TRUE(refreshLogHeader(path));
        const QByteArray after = readAll(path);

        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(qFromLittleEndian<quint32>(after.constData() + 4), static_cast<quint32>(after.size() - 8));
        const int data = after.indexOf("data");
        ASSERT_GT(data, 0);
        EXPECT_EQ(qFromLittleEndian<quint32>(after.constData() + data + 4), static_cast<quint32>(after.size() - data - 8));
        // Everything after the data chunk's header is the audio, byte for byte.
        EXPECT_EQ(after.mid(data + 8), before.mid(data + 8)) << "the refresh overwrote sample data";

        SF_INFO info{};
        SNDFILE* sf = sf_open(path.toLocal8Bit().constData(), SFM_READ, &info);
        ASSERT_NE(sf, nullptr);
        EXPECT_EQ(info.frames, 800);
        sf_close(sf);
    }
}

TEST(LogHeader, RefusesWhatIsNotAWaveFileAndMissingFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notes.wav"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("this is not a wave file at all, just text");
    f.close();
    const QByteArray before = readAll(path);
    EXPECT_FALSE(refreshLogHeader(path));
    EXPECT_EQ(readAll(path), before);
    EXPECT_FALSE(refreshLogHeader(dir.filePath(QStringLiteral("missing.wav"))));
}
