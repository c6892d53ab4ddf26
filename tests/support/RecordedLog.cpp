#include "RecordedLog.h"

#include "media/FormatConverter.h"
#include "media/WaveFileWriter.h"

#include <QFile>

#include <vector>

namespace wendmoor::test {

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
