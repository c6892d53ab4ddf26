#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

struct sf_private_tag;

namespace wendmoor {

// When a log's first sample was taken, as the log itself says: a Broadcast Wave `bext` chunk in a
// WAV log (origination date and time, time reference in samples since local midnight, originator
// "Wendmoor" and the program's version), the same facts as comments in a FLAC or Opus log, so
// that a log copied out of the archive still tells what time it holds.
struct LogStamp {
    QDateTime firstSample; // with its offset from UTC
    std::int64_t samplesSinceMidnight = 0; // at the log's rate
    QString originator;
    QString version;
};

// Writes the stamp into a log just created by libsndfile, before its first sample: the bext chunk
// of a WAV file (`wav`), the comments of a FLAC or Opus one. False when libsndfile refused it.
[[nodiscard]] bool writeLogStamp(sf_private_tag* file, bool wav, const QDateTime& firstSample, int sampleRate);

// Reads a log's stamp; nothing when the file has none or cannot be read.
[[nodiscard]] std::optional<LogStamp> readLogStamp(const QString& path);

} // namespace wendmoor
