#pragma once

#include <QString>

namespace wendmoor {

// Brings the size fields of a WAV file that is still being written up to date: the RIFF chunk
// size becomes the file's length minus 8 and, when the data chunk is the last chunk, its size
// covers everything after its header. Only those two 4-byte fields are written; the sample data
// is never touched. Returns false, having changed nothing, when the file cannot be opened or
// does not look like a RIFF WAVE file.
[[nodiscard]] bool refreshLogHeader(const QString& path);

} // namespace wendmoor
