#include "TestWavFiles.h"
#include "RecordedLog.h"

#include "media/FormatConverter.h"
#include "media/WaveFileWriter.h"

#include <QFile>

#include <sndfile.h>

#include <vector>

namespace wendmoor::test {

bool writeWav(const QString& path, int rate, int channels, std::int64_t frames, const SampleFn& sample)
{
    SF_INFO info { 0, rate, channels, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0 };
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!f)
        return false;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames * channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = sample(static_cast<std::int64_t>(i) / channels, static_cast<int>(i % std::size_t(channels)));
    const bool ok = sf_writef_short(f, samples.data(), frames) == frames;
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
