#pragma once

#include "catalog/Catalog.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace wendmoor {

class ByteSink;

// One stretch of a clip: frames of a log, or silence where no log holds the time.
struct ClipPiece {
    UtcMs fromUtc = 0;
    UtcMs toUtc = 0;
    bool silence = false;
    // A log's frames [firstFrame, firstFrame + frames) at its rate.
    QString log; // file name in the archive folder
    std::int64_t firstFrame = 0;
    std::int64_t frames = 0;
    int sampleRate = 0;
    // Why there is silence.
    GapReason reason = GapReason::Unknown;
    QString detail;
};

// What a clip of [fromUtc, toUtc) is made of, in clock order, and the rate it is written at (the
// highest of its logs; the others are resampled).
struct ClipPlan {
    UtcMs fromUtc = 0;
    UtcMs toUtc = 0;
    QString archiveFolder;
    int sampleRate = 0;
    std::vector<ClipPiece> pieces;
    std::vector<Gap> silences; // silence written into the logs (input lost), clipped to the range
    // The checksums the catalog remembers of the logs, by log; each is used only while it holds.
    std::map<QString, LogChecksum> checksums;
};

// Cuts [fromUtc, toUtc) through the catalog. Throws Error (InvalidArgument) naming the times for a
// range that is empty or reversed, that reaches outside what the archive holds, or that lies
// wholly in a gap (with its reason).
[[nodiscard]] ClipPlan planClip(const Catalog& catalog, UtcMs fromUtc, UtcMs toUtc);

struct ClipExportOptions {
    // The clip's path; its extension chooses the format: .wav (16-bit PCM with a bext chunk that
    // holds the clock time of its first sample), .flac or .opus.
    QString output;
    // Replace an existing clip (and its manifest); never a log or anything in the archive folder.
    bool overwrite = false;
    // Called now and then with the output frames written and the total.
    std::function<void(std::int64_t done, std::int64_t total)> progress;
    // Set from any thread to stop; the export then throws Error (ExportCancelled).
    const std::atomic<bool>* cancel = nullptr;
    // Where the clip's bytes go (a file created at the given path by default). Tests give a disk
    // that fills.
    std::function<std::unique_ptr<ByteSink>(const QString& path)> sink;
    // The time of the export, for the manifest; now when invalid.
    QDateTime exportedAt;
};

struct ClipExportResult {
    QString clip;
    QString manifest; // clip + ".json"
    QString sums; // clip + ".sha256", in the format sha256sum -c reads
    int sampleRate = 0;
    std::int64_t frames = 0;
    QByteArray sha256; // hex
    // The checksums of finished logs computed for this export, for the catalog to remember.
    std::vector<LogChecksum> taken;
};

// The problem with writing the clip to `output`, or nothing: an unknown extension, a missing or
// unwritable folder, an existing file (unless `overwrite`), a log or a place in the archive folder.
[[nodiscard]] std::optional<QString> outputProblem(const QString& archiveFolder, const QString& output, bool overwrite);

// Writes the clip, streamed block by block, to a temporary name in the output's folder and gives
// it its name (with the manifest and the sums beside it) only when everything is written; after
// any failure or a cancellation nothing is left. Throws Error naming the file: InvalidArgument for
// an output outputProblem() refuses, DiskFull when the disk fills, others when a log cannot be read.
ClipExportResult exportClip(const ClipPlan& plan, const ClipExportOptions& options);

// Has the catalog of `archiveFolder` remember the checksums an export computed, so that the next
// export of those logs need not read them whole again. Best effort: a catalog that is missing
// (none is made for this), read-only or busy keeps nothing, and the export stands.
void rememberChecksums(const QString& archiveFolder, const std::vector<LogChecksum>& sums);

// "YYYY-MM-DD HH:MM:SS" (or with a T) as a local clock time; nothing when it is not one.
[[nodiscard]] std::optional<UtcMs> parseClockTime(const QString& text);
// A UTC instant as local clock time "YYYY-MM-DD HH:MM:SS.zzz".
[[nodiscard]] QString clockTimeText(UtcMs utc);

} // namespace wendmoor
