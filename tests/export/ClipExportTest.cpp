#include "export/ClipExport.h"

#include "media/LogStamp.h"
#include "media/WaveReader.h"
#include "platform/Error.h"

#include "FillingDisk.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <map>

namespace wendmoor {
namespace {

UtcMs at(int day, int h, int m, double s)
{
    return QDateTime(QDate(2026, 1, day), QTime(h, m)).toMSecsSinceEpoch() + std::llround(s * 1000);
}

// The test signal: a level for each clock second (1000 + 1000 × (second mod 20)), so that any
// sample says which second of which log it came from, also after resampling.
std::int16_t levelOf(UtcMs utc)
{
    return std::int16_t(1000 + 1000 * ((utc / 1000) % 20));
}

// A log of [fromUtc, toUtc) at `rate`, and its segment in the catalog.
void recordLog(Catalog& catalog, const QString& folder, const QString& name, int rate, UtcMs fromUtc, UtcMs toUtc)
{
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QDir(folder).filePath(name).toLocal8Bit().constData(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    const std::int64_t frames = (toUtc - fromUtc) * rate / 1000;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames));
    for (std::int64_t i = 0; i < frames; ++i)
        samples[std::size_t(i)] = levelOf(fromUtc + i * 1000 / rate);
    sf_write_short(file, samples.data(), frames);
    sf_close(file);
    const int offset = QDateTime::fromMSecsSinceEpoch(fromUtc).offsetFromUtc();
    catalog.segmentBegun(
        LogEntry { name, QDateTime::fromMSecsSinceEpoch(fromUtc).date(), rate, 1 }, 0, fromUtc, offset);
    for (std::int64_t f = rate * 60; f < frames; f += rate * 60)
        catalog.position(f, fromUtc + f * 1000 / rate, offset);
    catalog.position(frames, toUtc, offset);
}

// An archive: the 14th's log to midnight, the 15th's from midnight until the program died at
// 00:02:00, and after the restart at 00:02:30 a log at twice the rate until 00:04:00.
class ClipExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(archive.isValid() && out.isValid());
        auto catalog = Catalog::open(archive.path(), Catalog::Mode::ReadWrite);
        catalog->programStarted(at(14, 23, 57, 0));
        recordLog(*catalog, archive.path(), QStringLiteral("L011426.wav"), 8000, at(14, 23, 57, 0), at(15, 0, 0, 0));
        catalog->segmentEnded(3 * 60 * 8000, at(15, 0, 0, 0), GapReason::Unknown);
        recordLog(*catalog, archive.path(), QStringLiteral("L011526.wav"), 8000, at(15, 0, 0, 0), at(15, 0, 2, 0));
        catalog->programStarted(at(15, 0, 2, 30));
        recordLog(*catalog, archive.path(), QStringLiteral("L01152601.wav"), 16000, at(15, 0, 2, 30), at(15, 0, 4, 0));
        catalog->programEnded(at(15, 0, 4, 0));
        catalog.reset();
        // As the command line reads it: without writing.
        this->catalog = Catalog::open(archive.path(), Catalog::Mode::ReadOnly);
    }

    // Every file of both folders with its size and checksum.
    std::map<QString, QByteArray> snapshot() const
    {
        std::map<QString, QByteArray> files;
        for (const QString& root : { archive.path(), out.path() }) {
            QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                QFile f(it.next());
                if (f.open(QIODevice::ReadOnly))
                    files[f.fileName()] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
            }
        }
        return files;
    }

    QTemporaryDir archive;
    QTemporaryDir out;
    std::unique_ptr<Catalog> catalog;
};

TEST_F(ClipExportTest, AClipAcrossMidnightAndARestartHasItsLengthTheGapAndTheAudioOfEachClockTime)
{
    const UtcMs from = at(14, 23, 59, 0.25);
    const UtcMs to = at(15, 0, 3, 10.75);
    ClipExportOptions options;
    options.output = out.filePath(QStringLiteral("complaint.wav"));
    const ClipExportResult result = exportClip(planClip(*catalog, from, to), options);

    // Written at the highest rate of the logs, as long as the range to a millisecond.
    const auto clip = openWaveReader(result.clip);
    ASSERT_EQ(clip->sampleRate(), 16000);
    EXPECT_NEAR(double(clip->frames()), double(to - from) * 16, 16);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(clip->frames()));
    ASSERT_EQ(clip->read(samples), clip->frames());
    const struct {
        UtcMs when;
        std::int16_t level;
    } expected[] = {
        { from, levelOf(from) }, // the first sample
        { at(14, 23, 59, 59.5), levelOf(at(14, 23, 59, 59)) }, // just before midnight
        { at(15, 0, 0, 0.5), levelOf(at(15, 0, 0, 0)) }, // just after it
        { at(15, 0, 1, 59.5), levelOf(at(15, 0, 1, 59)) }, // the last second before the program died
        { at(15, 0, 2, 15), 0 }, // not running: silence
        { at(15, 0, 2, 30.5), levelOf(at(15, 0, 2, 30)) }, // the first second after the restart
        { to - 1, levelOf(to - 1) }, // the last sample
    };
    for (const auto& e : expected) {
        const std::size_t i = std::min<std::size_t>(std::size_t((e.when - from) * 16), samples.size() - 1);
        EXPECT_NEAR(samples[i], e.level, 60) << clockTimeText(e.when).toStdString();
    }
    // The clip says when its first sample was taken.
    const std::optional<LogStamp> stamp = readLogStamp(result.clip);
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->firstSample.toMSecsSinceEpoch(), from);

    // The manifest names the three logs and the gap with its reason.
    QFile manifestFile(result.manifest);
    ASSERT_TRUE(manifestFile.open(QIODevice::ReadOnly));
    const QJsonObject manifest = QJsonDocument::fromJson(manifestFile.readAll()).object();
    const QJsonArray sources = manifest.value(QStringLiteral("sources")).toArray();
    ASSERT_EQ(sources.size(), 3);
    EXPECT_EQ(sources.at(2).toObject().value(QStringLiteral("log")).toString(), QStringLiteral("L01152601.wav"));
    const QJsonArray gaps = manifest.value(QStringLiteral("gaps")).toArray();
    ASSERT_EQ(gaps.size(), 1);
    EXPECT_EQ(
        gaps.at(0).toObject().value(QStringLiteral("reason")).toString(), gapReasonName(GapReason::ProgramCrashed));
    EXPECT_DOUBLE_EQ(gaps.at(0).toObject().value(QStringLiteral("seconds")).toDouble(), 30.0);

    // sha256sum verifies the clip and the logs, and notices a changed log.
    auto verify = [&] {
        QProcess sums;
        sums.setWorkingDirectory(out.path());
        sums.start(QStringLiteral("sha256sum"), { QStringLiteral("-c"), QFileInfo(result.sums).fileName() });
        return sums.waitForFinished(60000) && sums.exitStatus() == QProcess::NormalExit ? sums.exitCode() : -1;
    };
    EXPECT_EQ(verify(), 0);
    QFile log(QDir(archive.path()).filePath(QStringLiteral("L011526.wav")));
    ASSERT_TRUE(log.open(QIODevice::Append));
    log.write("x");
    log.close();
    EXPECT_NE(verify(), 0);
}

TEST_F(ClipExportTest, EachBadInputIsRefusedAndLeavesNothingBehind)
{
    const QString clip = out.filePath(QStringLiteral("clip.wav"));
    QFile existing(out.filePath(QStringLiteral("taken.flac")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("an earlier export");
    existing.close();
    std::atomic<std::int64_t> room { 20000 };
    std::atomic<bool> cancel { true };
    const struct {
        const char* name;
        UtcMs from;
        UtcMs to;
        QString output;
        int number;
        std::function<void(ClipExportOptions&)> tweak;
    } cases[] = {
        { "from after to", at(15, 0, 1, 0), at(15, 0, 0, 0), clip, ErrorNumber::InvalidArgument, {} },
        { "before the archive", at(14, 23, 50, 0), at(14, 23, 58, 0), clip, ErrorNumber::InvalidArgument, {} },
        { "after the archive", at(15, 0, 3, 0), at(15, 0, 5, 0), clip, ErrorNumber::InvalidArgument, {} },
        { "wholly in the gap", at(15, 0, 2, 5), at(15, 0, 2, 25), clip, ErrorNumber::InvalidArgument, {} },
        { "an existing file", at(15, 0, 0, 0), at(15, 0, 1, 0), existing.fileName(), ErrorNumber::InvalidArgument, {} },
        { "one of the logs, even with force", at(15, 0, 0, 0), at(15, 0, 1, 0),
            QDir(archive.path()).filePath(QStringLiteral("L011526.wav")), ErrorNumber::InvalidArgument,
            [](ClipExportOptions& o) { o.overwrite = true; } },
        { "a missing folder", at(15, 0, 0, 0), at(15, 0, 1, 0), out.filePath(QStringLiteral("no/clip.wav")),
            ErrorNumber::InvalidArgument, {} },
        { "an unknown extension", at(15, 0, 0, 0), at(15, 0, 1, 0), out.filePath(QStringLiteral("clip.mp3")),
            ErrorNumber::InvalidArgument, {} },
        { "a disk that fills", at(14, 23, 58, 0), at(15, 0, 1, 0), clip, ErrorNumber::DiskFull,
            [&room](ClipExportOptions& o) {
                o.sink = [&room](const QString& path) { return std::make_unique<test::FillingDisk>(path, room); };
            } },
        { "cancelled", at(14, 23, 58, 0), at(15, 0, 1, 0), clip, ErrorNumber::ExportCancelled,
            [&cancel](ClipExportOptions& o) { o.cancel = &cancel; } },
    };
    const std::map<QString, QByteArray> before = snapshot();
    for (const auto& c : cases) {
        ClipExportOptions options;
        options.output = c.output;
        if (c.tweak)
            c.tweak(options);
        try {
            (void)exportClip(planClip(*catalog, c.from, c.to), options);
            ADD_FAILURE() << c.name << ": exported";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number) << c.name << ": " << e.what();
        }
        EXPECT_EQ(snapshot(), before) << c.name;
    }
}

// Each format: the clip has every frame of the range, the bext time, and a checksum that
// sha256sum confirms (a WAV of one rate is hashed as it is written, the others from the disk).
TEST_F(ClipExportTest, AClipOfOneRateHasEveryFrameAndAChecksumThatSha256sumConfirms)
{
    const UtcMs from = at(14, 23, 59, 0.25);
    const UtcMs to = at(15, 0, 1, 30);
    for (const char* name : { "one-rate.wav", "one-rate.flac", "resampled.opus" }) {
        ClipExportOptions options;
        options.output = out.filePath(QLatin1String(name));
        const ClipExportResult result = exportClip(planClip(*catalog, from, to), options);
        SF_INFO info {};
        SNDFILE* file = sf_open(QFile::encodeName(result.clip).constData(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << name;
        sf_close(file);
        EXPECT_EQ(info.frames, result.frames) << name;
        if (result.sampleRate == 8000) {
            EXPECT_EQ(result.frames, (to - from) * 8) << name;
        }
        ASSERT_TRUE(readLogStamp(result.clip)) << name;
        EXPECT_EQ(readLogStamp(result.clip)->firstSample.toMSecsSinceEpoch(), from) << name;
        QProcess sums;
        sums.setWorkingDirectory(out.path());
        sums.start(QStringLiteral("sha256sum"), { QStringLiteral("-c"), QFileInfo(result.sums).fileName() });
        ASSERT_TRUE(sums.waitForFinished(60000));
        EXPECT_EQ(sums.exitCode(), 0) << name << sums.readAll().toStdString();
    }
}

// A log's checksum is remembered once it is finished, and used only while its size and time are
// those it was taken at; a log written just now is read at each export and not remembered.
TEST_F(ClipExportTest, ARememberedChecksumIsUsedOnlyWhileTheLogIsUnchanged)
{
    const QString name = QStringLiteral("L011526.wav");
    const QString path = QDir(archive.path()).filePath(name);
    // The log last written `seconds` ago.
    auto age = [&](int seconds) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite)
            && f.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime));
    };
    auto exported = [&](const QString& clip) {
        ClipExportOptions options;
        options.output = out.filePath(clip);
        catalog = Catalog::open(archive.path(), Catalog::Mode::ReadOnly);
        const ClipExportResult result = exportClip(planClip(*catalog, at(15, 0, 0, 0), at(15, 0, 1, 0)), options);
        rememberChecksums(archive.path(), result.taken);
        QFile manifest(result.manifest);
        EXPECT_TRUE(manifest.open(QIODevice::ReadOnly));
        const QJsonObject source
            = QJsonDocument::fromJson(manifest.readAll()).object().value(QStringLiteral("sources"))[0].toObject();
        return std::make_pair(result.taken.size(), source.value(QStringLiteral("sha256")).toString().toStdString());
    };
    auto actual = [&] {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex().toStdString();
    };
    // Written just now: read, not remembered.
    EXPECT_EQ(exported(QStringLiteral("0.wav")), std::make_pair(std::size_t(0), actual()));
    // Finished: read once and remembered; a planted sum shows when the remembered one is used.
    age(60);
    EXPECT_EQ(exported(QStringLiteral("1.wav")), std::make_pair(std::size_t(1), actual()));
    {
        const auto writable = Catalog::open(archive.path(), Catalog::Mode::ReadWrite);
        LogChecksum planted = *writable->checksum(name);
        planted.sha256 = QByteArray(64, 'a');
        writable->rememberChecksum(planted);
    }
    EXPECT_EQ(exported(QStringLiteral("2.wav")), std::make_pair(std::size_t(0), std::string(64, 'a')));
    const struct {
        const char* change;
        std::function<void(QFile&)> apply;
        int finishedSecondsAgo; // 0: written just now
    } changes[] = {
        { "a sample changed in place", [](QFile& f) { f.seek(100), f.write("xy"); }, 0 },
        { "a sample changed, finished since", [](QFile& f) { f.seek(200), f.write("zz"); }, 30 },
        { "appended to", [](QFile& f) { f.seek(f.size()), f.write("tail!"); }, 0 },
    };
    int n = 3;
    for (const auto& c : changes) {
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            c.apply(f);
        }
        if (c.finishedSecondsAgo > 0)
            age(c.finishedSecondsAgo);
        const auto [taken, sum] = exported(QString::number(n++) + QStringLiteral(".wav"));
        EXPECT_EQ(sum, actual()) << c.change;
        EXPECT_EQ(taken, c.finishedSecondsAgo > 0 ? 1U : 0U) << c.change;
    }
}

} // namespace
} // namespace wendmoor
