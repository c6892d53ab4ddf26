#include "playback/frmPlay.h"

#include "config/SettingsFile.h"
#include "media/PositionSlider.h"
#include "media/WavePlayer.h"

#include "TestServices.h"
#include "TestWavFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace wendmoor::test {
namespace {

const QString kBadWave = QStringLiteral("Wave file does not exist or has been damaged");

class PlayWindow : public ::testing::Test {
protected:
    TestServices t;
    Settings settings;
    PlaybackMemory memory;
    QString archive;
    std::unique_ptr<frmPlay> w;

    void SetUp() override
    {
        settings.LogDrive = QLatin1Char('C');
        archive = t.makeArchive();
        t.writeSettings(QList<qint16>(11, 0));
    }

    void log(const char* name, std::int64_t ms)
    {
        ASSERT_TRUE(writeLog(archive + QLatin1Char('/') + QLatin1String(name), ms));
    }

    frmPlay& open()
    {
        w.reset();
        w = std::make_unique<frmPlay>(t.services, settings, memory);
        w->Timer1->stop(); // the test ticks by hand
        return *w;
    }
    void deliver() { QCoreApplication::processEvents(); }
    WavePlayer& player() { return *w->WavePlayer; }

    // The fake device plays `ms` of the 8000 Hz logs, the player topping up its queue as its
    // timer does; then the window's notifications are delivered.
    void playMs(std::int64_t ms)
    {
        std::int64_t frames = ms * 8;
        while (frames > 0) {
            player().pump();
            const auto queued = static_cast<std::int64_t>(t.audio.playback->queued.size());
            if (queued == 0)
                break;
            const std::int64_t n = std::min(queued, frames);
            t.audio.play(static_cast<std::size_t>(n));
            frames -= n;
        }
        player().pump();
        deliver();
    }
    // Loads the selected log in range option `option` and lets it start.
    void playWithRange(int option)
    {
        w->optRange[static_cast<std::size_t>(option)]->setChecked(true);
        w->cmdPlay_Click();
        deliver();
    }
    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < w->lstLogs->count(); ++i)
            names.append(w->lstLogs->item(i)->text());
        return names;
    }
    QString selected() const
    {
        const auto items = w->lstLogs->selectedItems();
        return items.isEmpty() ? QString() : items.first()->text();
    }
    std::pair<int, int> window() const { return { w->TrackBar->minimum(), w->TrackBar->maximum() }; }
};

TEST_F(PlayWindow, ListShowsLogsInStoredOrderWithGreatestSelected)
{
    for (const char* name : { "L120403.wav", "L120503A.wav", "L120503P.wav" })
        log(name, 100);
    QFile(archive + QStringLiteral("/notes.txt")).open(QIODevice::WriteOnly);

    const QStringList ascending { QStringLiteral("L120403.wav"), QStringLiteral("L120503A.wav"),
        QStringLiteral("L120503P.wav") };
    for (const int order : { 0, 1 }) {
        settings.LogListOrder = static_cast<std::int16_t>(order);
        open();
        QStringList expected = ascending;
        if (order == 0)
            std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(listed(), expected) << order;
        EXPECT_EQ(selected(), QStringLiteral("L120503P.wav")) << order;
        EXPECT_EQ(w->lstLogs->currentRow(), order == 0 ? 0 : 2) << order;
    }
    // Opening with order 1 ran the order change too, which stored it.
    EXPECT_EQ(SettingsFile(t.services.paths.settingsFile).read(10), 1);
    EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(QLatin1Char('\n')).toStdString();
}

TEST_F(PlayWindow, EmptyFolderListsNothingAndPlayAsksForASelection)
{
    open();
    EXPECT_EQ(w->lstLogs->count(), 0);
    for (auto command : { &frmPlay::cmdPlay_Click, &frmPlay::mnuPlay10_Click }) {
        t.messages.shown.clear();
        ((*w).*command)();
        EXPECT_EQ(t.messages.shown, QStringList { QStringLiteral("No Log Selected") });
    }
    w->cmdEnd[2]->click();
    EXPECT_EQ(t.messages.shown.last(), QStringLiteral("No Log Selected"));
    EXPECT_EQ(t.audio.playbackOpens, 0);
}

TEST_F(PlayWindow, MissingArchiveFolderIsReportedAndTheWindowStillOpens)
{
    QDir(archive).removeRecursively();
    open();
    ASSERT_EQ(t.messages.shown.size(), 1);
    EXPECT_TRUE(t.messages.shown[0].startsWith(QStringLiteral("76 "))) << t.messages.shown[0].toStdString();
    EXPECT_TRUE(t.messages.shown[0].contains(archive));
    EXPECT_EQ(w->lstLogs->count(), 0);
    EXPECT_EQ(memory.RangeWidth[2], 60000); // the steps before the failure were done
}

TEST_F(PlayWindow, DeletedLogIsReportedAsMissingOrDamaged)
{
    log("L120403.wav", 1000);
    open();
    QFile::remove(archive + QStringLiteral("/L120403.wav"));
    w->cmdPlay->click();
    ASSERT_EQ(t.messages.shown.size(), 1);
    EXPECT_TRUE(t.messages.shown[0].startsWith(kBadWave + QLatin1Char('\n'))) << t.messages.shown[0].toStdString();
    EXPECT_TRUE(t.messages.shown[0].contains(QStringLiteral("L120403.wav"))) << "the failure names the file";
    deliver();
    EXPECT_FALSE(memory.IsPlaying);
    log("L120403.wav", 1000);
    w->cmdPlay->click(); // the window stays usable
    deliver();
    EXPECT_TRUE(memory.IsPlaying);
}

TEST_F(PlayWindow, ShortLogKeepsTheRangeWidthAndDisablesTheOptionButNotTheChoice)
{
    log("L120403.wav", 7000);
    log("L120503.wav", 20000);
    open();
    playWithRange(0); // the 20-second log makes "10 Seconds" available
    ASSERT_TRUE(w->optRange[1]->isEnabled());
    w->optRange[1]->click();
    w->lstLogs->setCurrentRow(1);
    w->cmdPlay->click();
    deliver();
    EXPECT_EQ(window(), std::make_pair(0, 10000));
    EXPECT_FALSE(w->optRange[1]->isEnabled());
    EXPECT_TRUE(w->optRange[1]->isChecked());
    EXPECT_EQ(memory.RangeIndex, 1);
}

TEST_F(PlayWindow, LastNCommandsPlayTheEndOfTheLogWithTheWidthTheyName)
{
    log("L120403.wav", 600000);
    open();
    struct Case {
        const char* what;
        std::function<void()> command;
        int index;
        int start;
    };
    const std::vector<Case> cases {
        { "button 5", [&] { w->cmdEnd[1]->click(); }, 6, 595000 },
        { "button 10", [&] { w->cmdEnd[2]->click(); }, 7, 590000 },
        { "button 20", [&] { w->cmdEnd[3]->click(); }, 8, 580000 },
        { "menu 5", [&] { w->mnuPlay5->trigger(); }, 6, 595000 },
        { "menu 10", [&] { w->mnuPlay10->trigger(); }, 8, 590000 },
        { "menu 20", [&] { w->mnuPlay20->trigger(); }, 7, 580000 },
    };
    for (const Case& c : cases) {
        c.command();
        deliver();
        EXPECT_EQ(memory.RangeIndex, c.index) << c.what;
        EXPECT_EQ(memory.RangeWidth[static_cast<std::size_t>(c.index)], 600000 - c.start) << c.what;
        EXPECT_EQ(window(), std::make_pair(c.start, 600000)) << c.what;
        EXPECT_EQ(player().positionMs(), c.start) << c.what;
        EXPECT_TRUE(memory.IsPlaying) << c.what;
        const std::size_t before = t.audio.playback->played.size();
        playMs(1);
        EXPECT_EQ(t.audio.playback->played[before], countingSample(std::int64_t { c.start } * 8, 0)) << c.what;
    }
    EXPECT_TRUE(t.messages.shown.isEmpty());
}

TEST_F(PlayWindow, StepsAreRefusedAtTheFileEdges)
{
    log("L120403.wav", 80000);
    open();
    playWithRange(0);
    w->optRange[2]->click(); // "1 Minute"
    ASSERT_TRUE(w->cmdFF->isEnabled());

    player().setPositionMs(30000);
    w->TrackBar->setPosition(30000);
    w->optRange[2]->click();
    w->cmdFF->click();
    EXPECT_EQ(player().positionMs(), 30000);
    EXPECT_EQ(window(), std::make_pair(30000, 90000));

    player().setPositionMs(10000);
    w->TrackBar->setPosition(10000);
    w->optRange[2]->click();
    w->cmdFF->click();
    EXPECT_EQ(player().positionMs(), 70000);
    EXPECT_EQ(window(), std::make_pair(70000, 130000));
    EXPECT_EQ(memory.RepeatPoint, 70000);

    w->optRange[1]->click(); // "10 Seconds"
    player().setPositionMs(10000);
    w->cmdRwd->click();
    EXPECT_EQ(player().positionMs(), 10000);
    player().setPositionMs(10001);
    w->cmdRwd->click();
    EXPECT_EQ(player().positionMs(), 1);
    EXPECT_EQ(memory.RepeatPoint, 1);
    EXPECT_TRUE(memory.IsPlaying); // stepping neither starts nor stops
}

TEST_F(PlayWindow, WindowPagesWhenPlaybackReachesItsEndAndTotalKeepsThePagedStart)
{
    log("L120403.wav", 200000);
    open();
    playWithRange(0);
    w->optRange[2]->click();
    w->cmdPlay->click(); // "1 Minute" from 0
    deliver();
    EXPECT_EQ(window(), std::make_pair(0, 60000));
    playMs(59990);
    w->Timer1_Timer();
    EXPECT_EQ(window(), std::make_pair(0, 60000));
    EXPECT_EQ(w->TrackBar->position(), 59990);
    playMs(10);
    w->Timer1_Timer();
    EXPECT_EQ(window(), std::make_pair(60000, 120000));
    EXPECT_EQ(w->TrackBar->position(), 60000);

    w->optRange[0]->click();
    EXPECT_EQ(window(), std::make_pair(60000, 200000));
}

TEST_F(PlayWindow, TimeLabelsRoundHalfToEvenAndBlankOnStop)
{
    log("L120403.wav", 120000);
    open();
    playWithRange(0);
    EXPECT_EQ(w->lblTime->text(), QString());
    playMs(58500);
    w->Timer1_Timer();
    EXPECT_EQ(w->lblTime->text(), QStringLiteral("00:58"));
    EXPECT_EQ(w->lblDown->text(), QStringLiteral("01:02"));
    playMs(1000);
    w->Timer1_Timer();
    EXPECT_EQ(w->lblTime->text(), QStringLiteral("01:00"));
    EXPECT_EQ(w->lblDown->text(), QStringLiteral("01:00"));

    w->cmdStop->click();
    deliver();
    EXPECT_EQ(w->lblTime->text(), QStringLiteral("    "));
    EXPECT_EQ(w->lblDown->text(), QStringLiteral("     "));
    EXPECT_EQ(w->TrackBar->position(), 59500);
}

TEST_F(PlayWindow, DraggingTheSliderSeeksButTheWindowsOwnSettingDoesNot)
{
    log("L120403.wav", 80000);
    open();
    playWithRange(0);
    w->TrackBar->slider()->setValue(40000); // as the user's drag does
    EXPECT_EQ(player().positionMs(), 40000);
    w->TrackBar->setPosition(1000);
    EXPECT_EQ(player().positionMs(), 40000);
}

TEST_F(PlayWindow, MemoryStoredWithRightReleaseRecalledByClick)
{
    log("L120403.wav", 600000);
    open();
    playWithRange(0);
    w->optRange[2]->click();
    player().setPositionMs(83000);
    QTest::mouseClick(w->cmdMem[2], Qt::RightButton);
    EXPECT_EQ(memory.MemoryPoint[2], 83000);
    EXPECT_EQ(player().positionMs(), 83000); // storing is not a recall, playback goes on
    playMs(20000);
    w->cmdMem[2]->click();
    EXPECT_EQ(player().positionMs(), 83000);
    EXPECT_EQ(window(), std::make_pair(83000, 143000));
    EXPECT_EQ(w->TrackBar->position(), 83000);

    w->cmdMem[4]->click(); // never stored
    EXPECT_EQ(player().positionMs(), 0);

    // Without a mouse: the menu key, or Shift+F10, on a focused memory button stores too.
    player().setPositionMs(91000);
    QTest::keyClick(w->cmdMem[1], Qt::Key_Menu);
    EXPECT_EQ(memory.MemoryPoint[1], 91000);
    player().setPositionMs(92000);
    QTest::keyClick(w->cmdMem[3], Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(memory.MemoryPoint[3], 92000);
}

TEST_F(PlayWindow, RecallWhilePausedStartsThereAndNextPlayResumes)
{
    log("L120403.wav", 200000);
    open();
    playWithRange(0);
    playMs(3000);
    w->cmdPause->click();
    memory.MemoryPoint[3] = 120000;
    w->cmdMem[3]->click();
    deliver();
    EXPECT_EQ(player().state(), WavePlayer::State::Playing);
    EXPECT_TRUE(memory.IsPlaying);
    EXPECT_TRUE(memory.IsPaused);
    playMs(1000);
    w->cmdPlay->click(); // the resume path: no reload, no jump back to 0
    deliver();
    EXPECT_FALSE(memory.IsPaused);
    EXPECT_EQ(player().positionMs(), 121000);
}

TEST_F(PlayWindow, RepeatReturnsToTheLastStep)
{
    log("L120403.wav", 600000);
    open();
    w->cmdRepeat->click(); // nothing loaded yet: reported, not a crash
    EXPECT_EQ(t.messages.shown.size(), 1u);
    playWithRange(0);
    w->cmdRepeat->click(); // no step yet in this run: from 0, over the whole file
    EXPECT_EQ(player().positionMs(), 0);
    EXPECT_EQ(window(), std::make_pair(0, 600000));

    w->optRange[1]->click();
    player().setPositionMs(12000);
    w->cmdFF->click();
    EXPECT_EQ(memory.RepeatPoint, 22000);
    playMs(5000);
    EXPECT_EQ(player().positionMs(), 27000);
    w->cmdRepeat->click();
    EXPECT_EQ(player().positionMs(), 22000);
    EXPECT_EQ(window(), std::make_pair(22000, 32000));
}

TEST_F(PlayWindow, RepeatInALastNModeReplaysTheEnd)
{
    log("L120403.wav", 600000);
    open();
    w->cmdEnd[3]->click();
    deliver();
    playMs(20000);
    deliver();
    EXPECT_FALSE(memory.IsPlaying); // reached the end
    w->cmdRepeat->click();
    deliver();
    EXPECT_TRUE(memory.IsPlaying);
    EXPECT_EQ(player().positionMs(), 580000);
    EXPECT_EQ(window(), std::make_pair(580000, 600000));
}

TEST_F(PlayWindow, MemoryPointsAndStepWidthsOutliveTheWindow)
{
    log("L120403.wav", 600000);
    open();
    playWithRange(0);
    player().setPositionMs(83000);
    QTest::mouseClick(w->cmdMem[2], Qt::RightButton);
    w->cmdEnd[3]->click();
    deliver();
    w->close();
    EXPECT_FALSE(memory.IsPlaying);
    EXPECT_FALSE(t.audio.playback->running);

    open();
    EXPECT_EQ(memory.RangeIndex, 0);
    EXPECT_EQ(memory.RangeWidth[8], 20000);
    playWithRange(0);
    w->cmdMem[2]->click();
    EXPECT_EQ(player().positionMs(), 83000);
}

} // namespace
} // namespace wendmoor::test
