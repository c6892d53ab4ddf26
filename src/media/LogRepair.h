#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace wendmoor {

// What a mended log's header said of its length before, and says now, in frames.
struct MendedHeader {
    std::int64_t framesBefore = 0;
    std::int64_t framesAfter = 0;
    int sampleRate = 0;
};

// A log whose header does not say what the file holds (the recorder was killed, the disk filled
// while it wrote) is given the header that does: a WAV log's data and RIFF sizes (and the GSM
// sample count) cover the whole blocks that are in the file, a FLAC log's stream information
// counts the samples that decode. Only the header's own bytes are written: nothing is cut off or
// moved. Returns what changed, or nothing when the header was right or the file is not a WAV or
// FLAC log. Throws Error naming the file when it cannot be read or written.
[[nodiscard]] std::optional<MendedHeader> mendLogHeader(const QString& path);

// Mends every log (L*.wav, L*.flac) in `folder`; for each one mended, a line for the event log
// saying what its header said and says now, and for each that could not be, the failure. A
// missing folder has nothing to mend. Call it while nothing records into the folder.
[[nodiscard]] QStringList mendLogHeaders(const QString& folder);

} // namespace wendmoor
