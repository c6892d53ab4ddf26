#pragma once

#include "media/WaveFormat.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace wendmoor {
class MessageSink;
}

namespace wendmoor::test {

// Records `seconds` of `sample(frame)` into `path` in `format` through the recorder's converter
// and writer, from an input at the format's rate. Throws Error as they do.
void recordLog(const QString& path, const WaveFormat& format, int seconds,
    const std::function<std::int16_t(std::int64_t frame)>& sample, MessageSink& messages);

} // namespace wendmoor::test
