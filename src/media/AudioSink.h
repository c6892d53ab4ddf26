#pragma once

#include "media/WaveFormat.h"

#include <cstdint>
#include <span>

namespace wendmoor {

// One stage of the recording chain, fed on the recording thread: the input begins a stream in a
// format, hands on 16-bit mono buffers, and ends the stream when it stops.
class AudioSink {
public:
    virtual ~AudioSink() = default;
    // The chain starts; `format` is the format of the samples that follow. Throws Error when the
    // stage cannot take it (the file cannot be created, say).
    virtual void beginStream(const WaveFormat& format) = 0;
    // One buffer of samples, each a 16-bit value whatever the format's bit length.
    virtual void writeSamples(std::span<const std::int16_t> samples) = 0;
    // The chain stops; everything held back goes on now.
    virtual void endStream() = 0;
    // Whether audio handed on now would be kept (a paused file writer drops it). A stage that
    // holds audio back keeps it for the next stream rather than flushing it into a stage that
    // would drop it.
    [[nodiscard]] virtual bool accepting() const { return true; }
};

} // namespace wendmoor
