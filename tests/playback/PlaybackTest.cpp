#include "playback/PlaybackController.h"

#include "catalog/Catalog.h"
#include "config/SettingsFile.h"
#include "export/ClipExport.h"
#include "media/WavePlayer.h"
#include "media/WaveReader.h"
#include "playback/ExportPanel.h"
#include "playback/frmPlay.h"
#include "widgets/PositionSlider.h"

#include "../media/WavChecks.h"
#include "RecordedLog.h"
#include "TestServices.h"
#include "TestWavFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <tuple>

namespace wendmoor::test {
namespace {

using Window = std::pair<std::int32_t, std::int32_t>;

// A 30-second sweep: every stretch of it is unlike the others.
std::int16_t sweepSample(std::int64_t frame, int rate)
{
    const double s = static_cast<double>(frame) / rate;
    return static_cast<std::int16_t>(12000.0 * std::sin(2.0 * std::numbers::pi * (150.0 * s + 20.0 * s * s)));
}

class Playback : public ::testing::Test {
protected:
    TestServices t;
    Settings settings;
    PlaybackMemory memory;
    QString archive = t.makeArchive();
    std::unique_ptr<PlaybackController> c;

    Playback()
    {
        settings.LogDrive = QLatin1Char('C');
        t.writeSettings(QList<qint16>(11, 0));
    }
    QString path(const QString& name) const { return archive + QLatin1Char('/') + name; }
    PlaybackController& open()
    {
        c.reset();
        c = std::make_unique<PlaybackController>(t.services, settings, memory);
        c->open();
        return *c;
    }
    // Opens on one 8000 Hz counting log of `ms` and plays it whole.
    void openOn(std::int64_t ms)
    {
        ASSERT_TRUE(writeLog(path(QStringLiteral("L120403.wav")), ms));
        open().play(QStringLiteral("L120403.wav"));
        deliver();
    }
    void deliver() { QCoreApplication::processEvents(); }
    // The fake device plays `ms`, the player topping up its queue as its timer does.
    void playMs(std::int64_t ms)
    {
        std::int64_t frames = ms * t.audio.playback->rate / 1000;
        for (std::int64_t n; frames > 0 && (c->player().pump(), n = std::min(frames, queued())) > 0; frames -= n)
            t.audio.play(static_cast<std::size_t>(n));
        c->player().pump();
        deliver();
    }
    std::int64_t queued() const { return static_cast<std::int64_t>(t.audio.playback->queued.size()); }
    std::int32_t position() { return c->player().positionMs(); }
    Window window() const { return { c->view().slider.minimum, c->view().slider.maximum }; }
};

// Each of the formats recorded by the recorder's converter and writer, played back by the real
// player: what reaches the output is the file as libsndfile decodes it from its start.
TEST_F(Playback, EveryRecordingFormatPlaysBackWhereAsked)
{
    const WaveFormat formats[] = { WaveFormat::pcm(8000, 8), WaveFormat::pcm(8000, 16), WaveFormat::pcm(11025, 8),
        WaveFormat::pcm(11025, 16), WaveFormat::pcm(22050, 8), WaveFormat::pcm(22050, 16), WaveFormat::gsm610(8000),
        WaveFormat::gsm610(11025), WaveFormat::gsm610(22050), WaveFormat::flac(22050), WaveFormat::opus(24000) };
    for (const WaveFormat& format : formats) {
        const QString log = QStringLiteral("L120626") + QLatin1String(format.fileExtension());
        const int rate = format.sampleRate();
        recordLog(
            path(log), format, 30, [rate](std::int64_t frame) { return sweepSample(frame, rate); }, t.messages);
        const WavContents file = readWav(path(log));
        ASSERT_GE(file.samples.size(), std::size_t(30 * rate)) << rate; // GSM: whole blocks
        memory.MemoryPoint[1] = 17000;
        open();
        const std::pair<std::function<void()>, std::int64_t> commands[] = {
            { [&] { c->playLast(transport::endButton(1), log); }, 25 },
            { [&] { c->seek(10000); }, 10 },
            { [&] { c->recallMemory(1); }, 17 },
        };
        for (const auto& [command, second] : commands) {
            const std::size_t before = t.audio.playback->played.size();
            command();
            playMs(500);
            ASSERT_EQ(t.audio.playback->played.size() - before, std::size_t(rate / 2));
            // GSM: the decoder starts afresh a little before the position, so the two decodings
            // agree in shape, not to the sample. Opus: the sweep as recorded, in shape, and in time
            // to within 3 samples (the sweep's pitch there is 1.2 kHz at most).
            const bool gsm = format.encoding() == WaveEncoding::Gsm610;
            const bool opus = format.encoding() == WaveEncoding::Opus;
            double worst = 0, best = 0;
            for (int lag = opus ? -3 : 0; lag <= (opus ? 3 : 0); ++lag) {
                double xy = 0, xx = 0, yy = 0;
                for (std::size_t i = 0; i < std::size_t(rate / 2); ++i) {
                    const double x = t.audio.playback->played[before + i];
                    const double y = opus ? sweepSample(second * rate + std::int64_t(i) + lag, rate)
                                          : file.samples[std::size_t(second * rate) + i];
                    worst = std::max(worst, std::abs(x - y));
                    xy += x * y, xx += x * x, yy += y * y;
                }
                best = std::max(best, xy / std::sqrt(xx * yy));
            }
            EXPECT_TRUE(gsm || opus ? best > (opus ? 0.97 : 0.99) : worst == 0)
                << format.describe().first.toStdString() << ' ' << rate << " from second " << second << ": " << best;
        }
        c->close();
    }
    EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(QLatin1Char('\n')).toStdString();
}

TEST_F(Playback, ListIsOrderedByTheDateInTheNameAndSelectsTheNewest)
{
    const QStringList oldestFirst { QStringLiteral("L123126.flac"), QStringLiteral("L010127.wav"),
        QStringLiteral("L010127A.wav"), QStringLiteral("L01012701.opus"), QStringLiteral("L010127P.wav"),
        QStringLiteral("archive.wav") };
    for (const QString& name : oldestFirst + QStringList { QStringLiteral("notes.txt") })
        ASSERT_TRUE(QFile(path(name)).open(QIODevice::WriteOnly));
    for (const int order : { 1, 0 }) {
        settings.LogListOrder = static_cast<std::int16_t>(order);
        // A stale record 10 (a write that failed before): opening with order 1 stores it again.
        SettingsFile(t.services.paths.settingsFile).write(SettingsRecord::LogListOrder, 7);
        QStringList shown = oldestFirst;
        if (order == 0)
            std::reverse(shown.begin(), shown.end() - 1);
        EXPECT_EQ(open().view().logs, shown) << order;
        EXPECT_EQ(c->view().logs.value(c->view().selectedLog), QStringLiteral("L010127P.wav")) << order;
        EXPECT_EQ(SettingsFile(t.services.paths.settingsFile).read(SettingsRecord::LogListOrder), order == 1 ? 1 : 7);
    }
    c->setListOrder(1);
    EXPECT_EQ(c->view().logs.first(), QStringLiteral("L123126.flac"));
    EXPECT_EQ(SettingsFile(t.services.paths.settingsFile).read(SettingsRecord::LogListOrder), 1);
}

TEST_F(Playback, EachFailureIsOneMessage)
{
    QDir(archive).removeRecursively();
    open();
    ASSERT_EQ(t.messages.shown.size(), 1);
    EXPECT_TRUE(t.messages.shown[0].startsWith(QStringLiteral("76 ")) && t.messages.shown[0].contains(archive));
    EXPECT_EQ(memory.RangeWidth[2], 60000); // the steps before the failure were done

    t.makeArchive();
    open().play(QString());
    EXPECT_EQ(t.messages.shown.last(), QStringLiteral("No Log Selected"));
    c->play(QStringLiteral("L120403.wav")); // one message: the fixed sentence, the failure below it
    EXPECT_TRUE(
        t.messages.shown.last().startsWith(QStringLiteral("Wave file does not exist or has been damaged\n53 ")));
    EXPECT_TRUE(t.messages.shown.last().contains(QStringLiteral("L120403.wav")));
    EXPECT_EQ(t.messages.shown.size(), 3);
}

TEST_F(Playback, StepsMoveTheWindowByItsWidthAndStopAtTheEdges)
{
    openOn(80000);
    const struct {
        void (PlaybackController::*step)();
        std::int32_t from, to;
    } cases[] = {
        { &PlaybackController::fastForward, 30000, 30000 }, // would pass the end
        { &PlaybackController::fastForward, 20000, 20000 }, // would land on it
        { &PlaybackController::fastForward, 10000, 70000 },
        { &PlaybackController::rewind, 60000, 60000 }, // would reach the start
        { &PlaybackController::rewind, 60001, 1 },
    };
    for (const auto& k : cases) {
        c->seek(k.from);
        c->chooseRange(2); // "1 Minute" from the slider's position
        ((*c).*k.step)();
        EXPECT_EQ(position(), k.to) << k.from;
        EXPECT_EQ(window(), Window(k.to, k.to + 60000)) << k.from;
    }
    EXPECT_EQ(memory.RepeatPoint, 1);
    EXPECT_TRUE(memory.IsPlaying); // stepping neither starts nor stops
}

TEST_F(Playback, SliderPagesAndTimeLabelsFollowThePlayer)
{
    openOn(200000);
    c->chooseRange(2);
    c->play(QStringLiteral("L120403.wav")); // "1 Minute" from 0
    deliver();
    playMs(58500);
    c->tick();
    EXPECT_EQ(window(), Window(0, 60000));
    EXPECT_EQ(c->view().elapsed, QStringLiteral("00:58")); // 58.5 and 141.5 round to the even second
    EXPECT_EQ(c->view().remaining, QStringLiteral("02:22"));
    playMs(1500);
    c->tick();
    EXPECT_EQ(window(), Window(60000, 120000));
    EXPECT_EQ(c->view().sliderPosition, 60000);
    c->chooseRange(0);
    EXPECT_EQ(window(), Window(60000, 200000)); // "Total" keeps the paged start
    c->stop();
    deliver();
    EXPECT_EQ(c->view().elapsed, QStringLiteral("    "));
    EXPECT_FALSE(c->view().playing);
}

TEST_F(Playback, MemoryPointsAndRepeat)
{
    openOn(600000);
    c->chooseRange(2);
    c->seek(83000);
    c->storeMemory(2);
    EXPECT_EQ(position(), 83000); // storing is not a recall
    playMs(20000);
    c->recallMemory(2);
    EXPECT_EQ(position(), 83000);
    EXPECT_EQ(window(), Window(83000, 143000));

    c->pause();
    c->recallMemory(2); // while paused: plays from there, and the next Play resumes
    deliver();
    playMs(1000);
    c->play(QStringLiteral("L120403.wav"));
    deliver();
    EXPECT_EQ(position(), 84000);
    EXPECT_FALSE(memory.IsPaused);

    c->chooseRange(1);
    c->seek(12000);
    c->fastForward();
    playMs(5000);
    c->repeat(); // back to the last step
    EXPECT_EQ(position(), 22000);
    EXPECT_EQ(window(), Window(22000, 32000));

    c->playLast(transport::endButton(3), QStringLiteral("L120403.wav"));
    deliver();
    playMs(20000);
    EXPECT_FALSE(memory.IsPlaying);
    c->repeat(); // in a last-N mode: the end again
    deliver();
    EXPECT_TRUE(memory.IsPlaying);
    EXPECT_EQ(position(), 580000);
}

// The window's controls reach the controller, and the window shows what it decided.
TEST_F(Playback, WindowControlsDriveTheControllerAndShowItsView)
{
    ASSERT_TRUE(writeLog(path(QStringLiteral("L120403.wav")), 600000));
    ASSERT_TRUE(writeLog(path(QStringLiteral("L120503.wav")), 1000));
    frmPlay w(t.services, settings, memory);
    EXPECT_EQ(w.lstLogs->currentItem()->text(), QStringLiteral("L120503.wav"));

    w.lstLogs->setCurrentRow(1);
    w.cmdEnd[2]->click(); // "10"
    QTest::qWait(1);
    EXPECT_EQ(std::make_pair(w.TrackBar->minimum(), w.TrackBar->maximum()), std::make_pair(590000, 600000));
    EXPECT_TRUE(w.optRange[3]->isEnabled() && !w.optRange[4]->isEnabled());

    w.TrackBar->slider()->setValue(595000); // as the operator's drag does
    EXPECT_EQ(w.controller().player().positionMs(), 595000);
    QTest::mouseClick(w.cmdMem[2], Qt::RightButton);
    QTest::keyClick(w.cmdMem[3], Qt::Key_Menu);
    EXPECT_EQ(std::make_pair(memory.MemoryPoint[2], memory.MemoryPoint[3]), std::make_pair(595000, 595000));

    w.VScroll1->setValue(1); // oldest first
    EXPECT_EQ(w.lstLogs->item(0)->text(), QStringLiteral("L120403.wav"));
    EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(QLatin1Char('\n')).toStdString();
}

// "Go to a time" through the window: the catalog's mapping, not the log's length, decides the
// position (a Standby cut four minutes out of the first log), midnight selects the next day's
// log, a time in a gap is told with its reason and leaves playback alone, and the clock label
// follows the position as it plays.
TEST_F(Playback, GoToATimePlaysTheLogRecordedThenOrNamesTheGap)
{
    const auto at = [](int day, int h, int m, int s) { return QDateTime(QDate(2026, 12, day), QTime(h, m, s)); };
    const auto ms = [](const QDateTime& when) { return when.toMSecsSinceEpoch(); };
    const auto entry = [](const QString& log, int day) { return LogEntry { log, QDate(2026, 12, day), 8000, 1 }; };
    const QString first = QStringLiteral("L120326.wav"), second = QStringLiteral("L120426.wav");
    {
        auto catalog = Catalog::open(archive, Catalog::Mode::ReadWrite);
        catalog->segmentBegun(entry(first, 3), 0, ms(at(3, 23, 50, 0)), at(3, 23, 50, 0).offsetFromUtc());
        catalog->position(960000, ms(at(3, 23, 52, 0)), 0);
        catalog->segmentEnded(1920000, ms(at(3, 23, 54, 0)), GapReason::Standby, QStringLiteral("VOX"));
        catalog->segmentBegun(entry(first, 3), 1920000, ms(at(3, 23, 58, 0)), at(3, 23, 58, 0).offsetFromUtc());
        catalog->segmentEnded(2880000, ms(at(4, 0, 0, 0)), GapReason::Unknown);
        catalog->segmentBegun(entry(second, 4), 0, ms(at(4, 0, 0, 0)), at(4, 0, 0, 0).offsetFromUtc());
        catalog->segmentEnded(960000, ms(at(4, 0, 2, 0)), GapReason::OperatorStop);
    }
    ASSERT_TRUE(writeLog(path(first), 360000));
    ASSERT_TRUE(writeLog(path(second), 120000));
    frmPlay w(t.services, settings, memory);
    WavePlayer& player = w.controller().player();
    const auto goTo = [&](const QString& text) {
        w.txtGoTo->clear();
        QTest::keyClicks(w.txtGoTo, text);
        QTest::keyClick(w.txtGoTo, Qt::Key_Return);
        deliver();
    };
    const auto heard = [&] { // the frame that the next sample played was taken from
        const std::size_t before = t.audio.playback->played.size();
        player.pump();
        t.audio.play(1);
        deliver();
        return t.audio.playback->played.size() > before ? t.audio.playback->played[before] : std::int16_t(-1);
    };

    const struct {
        const char* typed;
        const QString log;
        std::int64_t frame;
        const char* clock;
    } inLogs[] = {
        { "2026-12-03 23:52:30", first, 150 * 8000, "23:52:30" },
        { "2026-12-03T23:59", first, 300 * 8000, "23:59:00" }, // 5 minutes in, not 9: the Standby is no audio
        { "2026-12-04 00:01:00", second, 60 * 8000, "00:01:00" }, // past midnight: the next day's log
    };
    for (const auto& c : inLogs) {
        goTo(QLatin1String(c.typed));
        EXPECT_EQ(w.lstLogs->currentItem()->text(), c.log) << c.typed;
        EXPECT_EQ(heard(), countingSample(c.frame, 0)) << c.typed;
        EXPECT_EQ(w.lblClock->text(), QLatin1String(c.clock)) << c.typed;
        EXPECT_TRUE(w.statusBar()->currentMessage().contains(c.log)) << w.statusBar()->currentMessage().toStdString();
    }
    // The label follows the position as the log plays on.
    t.audio.play(std::size_t(8000 * 3 / 2));
    player.pump();
    w.controller().tick();
    EXPECT_EQ(w.lblClock->text(), QStringLiteral("00:01:01"));

    const struct {
        const char* typed;
        const char* says;
    } notInLogs[] = {
        { "2026-12-03 23:55:00", "In no log: standby (VOX), 23:54:00 to 23:58:00." },
        { "2026-12-04 00:05", "In no log: operator stop, from 00:02:00 on." },
        { "2026-12-03 23:00", "In no log: unknown, until 23:50:00." },
        { "yesterday noon", "Not a date and time: type it as 2026-12-03 14:32:10." },
    };
    for (const auto& c : notInLogs) {
        const std::int32_t position = player.positionMs();
        goTo(QLatin1String(c.typed));
        EXPECT_EQ(w.statusBar()->currentMessage(), QLatin1String(c.says));
        EXPECT_EQ(w.lstLogs->currentItem()->text(), second) << c.typed;
        EXPECT_GE(player.positionMs(), position) << c.typed;
    }
    EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(QLatin1Char('\n')).toStdString();
}

// The window's export: a typed range across midnight exported on the panel's thread to the file
// the save dialog names, the progress bar full at the end and the clip as long as the range; a
// cancelled export leaves nothing in the folder; the fields show a whole clock time.
TEST_F(Playback, ExportPanelWritesTheTypedRangeAndCancelLeavesNothing)
{
    const auto at = [](int day, int h, int m) { return QDateTime(QDate(2026, 12, day), QTime(h, m)); };
    {
        auto catalog = Catalog::open(archive, Catalog::Mode::ReadWrite);
        for (const auto& [log, day, from, minutes] :
            { std::tuple { "L120326.wav", 3, at(3, 23, 50), 10 }, std::tuple { "L120426.wav", 4, at(4, 0, 0), 10 } }) {
            ASSERT_TRUE(writeLog(path(QLatin1String(log)), minutes * 60'000));
            catalog->segmentBegun(
                LogEntry { QLatin1String(log), QDate(2026, 12, day), 8000, 1 }, 0, from.toMSecsSinceEpoch(), 0);
            catalog->segmentEnded(
                minutes * 60 * 8000, from.addSecs(minutes * 60).toMSecsSinceEpoch(), GapReason::OperatorStop);
        }
    }
    QTemporaryDir out;
    frmPlay w(t.services, settings, memory);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    ExportPanel& panel = *w.pnlExport;
    for (QLineEdit* field : { panel.txtFrom, panel.txtTo })
        EXPECT_GE(field->contentsRect().width(), field->fontMetrics().horizontalAdvance(clockTimeText(0)))
            << field->objectName().toStdString();
    const struct {
        const char* name;
        const char* from;
        const char* to;
        bool cancel;
        std::int64_t frames;
    } cases[] = {
        { "across midnight", "2026-12-03 23:59:30", "2026-12-04 00:01:00", false, 90 * 8000 },
        { "cancelled", "2026-12-03 23:50:00", "2026-12-04 00:10:00", true, 0 },
    };
    for (const auto& c : cases) {
        const QString clip = out.filePath(QLatin1String(c.name) + QStringLiteral(".wav"));
        panel.chooseOutput = [&] { return clip; };
        for (const auto& [field, text] : { std::pair { panel.txtFrom, c.from }, std::pair { panel.txtTo, c.to } }) {
            field->clear();
            QTest::keyClicks(field, QLatin1String(text));
        }
        QSignalSpy finished(&panel, &ExportPanel::finished);
        QTest::mouseClick(panel.cmdExport, Qt::LeftButton);
        EXPECT_TRUE(panel.isExporting()) << c.name;
        if (c.cancel)
            QTest::mouseClick(panel.cmdCancel, Qt::LeftButton);
        ASSERT_TRUE(finished.wait(20000)) << c.name;
        EXPECT_EQ(finished.at(0).at(0).toBool(), !c.cancel) << c.name;
        EXPECT_EQ(panel.prgExport->value(), c.cancel ? 0 : panel.prgExport->maximum()) << c.name;
        if (c.cancel) {
            EXPECT_EQ(
                QDir(out.path()).entryList(QDir::Files | QDir::Hidden).filter(QLatin1String(c.name)), QStringList())
                << c.name;
        } else {
            ASSERT_TRUE(QFile::exists(clip + QStringLiteral(".json"))) << c.name;
            EXPECT_EQ(openWaveReader(clip)->frames(), c.frames) << c.name;
        }
    }
}

} // namespace
} // namespace wendmoor::test
