#include "TestWavFiles.h"
#include "RecordedLog.h"

#include "media/FormatConverter.h"
#include "media/WaveFileWriter.h"

#include <QFile>

#include <sndfile.h>

#include <algorithm>
#include <vector>

namespace wendmoor::test {

bool writeWav(const QString& path, int rate, int channels, std::int64_t frames, const SampleFn& sample)
{
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    constexpr std::int64_t kChunk = 8192;
    std::vector<std::int16_t> block(static_cast<std::size_t>(kChunk * channels));
    bool ok = true;
    for (std::int64_t done = 0; done < frames && ok;) {
        const std::int64_t n = std::min(kChunk, frames - done);
        for (std::int64_t i = 0; i < n; ++i)
            for (int c = 0; c < channels; ++c)
                block[static_cast<std::size_t>(i * channels + c)] = sample(done + i, c);
        ok = sf_writef_short(f, block.data(), n) == n;
        done += n;
    }
    return sf_close(f) == 0 && ok;
}

bool writeLog(const QString& path, std::int64_t ms)
{
    return writeWav(path, 8000, 1, ms * 8);
}

void recordLog(const QString& path, const WaveFormat& format, int seconds,
    const std::function<std::int16_t(std::int64_t frame)>& sample, MessageSink& messages)
{
    WaveFileWriter writer(messages);
    QFile::remove(path); // the writer never replaces a file
    writer.setFileName(path);
    writer.setEnabled(true);
    FormatConverter converter;
    converter.setOutput(&writer);
    converter.setOutputFormat(format);
    converter.beginStream(WaveFormat::pcm(format.sampleRate(), 16));
    std::vector<std::int16_t> second(static_cast<std::size_t>(format.sampleRate()));
    for (std::int64_t frame = 0; frame < std::int64_t { seconds } * format.sampleRate();) {
        for (std::int16_t& s : second)
            s = sample(frame++);
        converter.writeSamples(second);
    }
    converter.endStream();
}

} // namespace wendmoor::test
