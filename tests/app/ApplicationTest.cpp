#include "app/Application.h"
#include "media/WaveFileWriter.h"
#include "media/WaveInput.h"
#include "recorder/Menu.h"

#include "../media/WavChecks.h"
#include "TestServices.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

TEST(Application, MenuCommandsOpenEachWindowOnceAndPlayOpensAFreshOne)
{
    TestServices ts;
    ts.makeArchive();
    Application app(ts.services);
    app.start();
    Menu& menu = app.menu();

    menu.mnuMyPreferences->trigger();
    QPointer<frmMyPreferences> prefs = app.preferencesWindow();
    ASSERT_TRUE(prefs);
    EXPECT_TRUE(prefs->isVisible());
    EXPECT_FALSE(prefs->isModal());
    menu.mnuMyPreferences->trigger();
    EXPECT_EQ(app.preferencesWindow(), prefs.data()) << "a second command must not open a second dialog";

    menu.mnuHelp->trigger();
    QPointer<frmHelp> help = app.helpWindow();
    ASSERT_TRUE(help);
    menu.mnuHelp->trigger();
    EXPECT_EQ(app.helpWindow(), help.data());

    menu.mnuAbout->trigger();
    QPointer<frmAbout> about = app.aboutWindow();
    ASSERT_TRUE(about);
    menu.mnuAbout->trigger();
    EXPECT_EQ(app.aboutWindow(), about.data());

    menu.mnuPlay->trigger();
    QPointer<frmPlay> first = app.playWindow();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    menu.mnuPlay->trigger();
    EXPECT_FALSE(first) << "Play must close the open playback window";
    ASSERT_TRUE(app.playWindow());
    EXPECT_TRUE(app.playWindow()->isVisible());

    // A window closed by the operator is opened anew by the next command.
    prefs->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(prefs);
    menu.mnuMyPreferences->trigger();
    EXPECT_TRUE(app.preferencesWindow());
}

TEST(Application, ExitAsksNothingAndEndsTheProgram)
{
    TestServices ts;
    Application app(ts.services);
    QSignalSpy exit(&app, &Application::exitRequested);
    app.menu().mnuExit->trigger();
    EXPECT_EQ(exit.count(), 1);
    EXPECT_TRUE(ts.prompt.questions.isEmpty());
}

// The level check is connected to the chain: in VOX mode silence pauses and the next loud
// buffer resumes, and that buffer is in the file.
TEST(Application, LoudBufferResumesAPausedVoxRecordingAndIsWritten)
{
    TestServices ts;
    ts.makeArchive();
    // Format 5 (22050 Hz 16 bit), VOX, threshold 1000, stop delay 2 s, start on loading.
    ts.writeSettings({0, 0, 5, 0, 0, 1, 1000, 2, 0, 0, 1});
    ts.clock.current = QDateTime(QDate(2026, 12, 6), QTime(13, 0, 0));
    Application app(ts.services);
    app.start();
    Menu& menu = app.menu();
    menu.TmrClock->stop();
    ASSERT_TRUE(app.state().IsRecording);

    menu.TmrClock_Timer(); // no activity yet: Standby at once
    EXPECT_TRUE(app.state().InStandby);
    ts.audio.feed(std::vector<std::int16_t>(22050, 10)); // a quiet second
    menu.chain().pump();
    EXPECT_TRUE(app.state().InStandby);
    EXPECT_EQ(menu.chain().positionMs(), 0);

    std::vector<std::int16_t> loud(22050, 0);
    loud[100] = -32768; // the loudest sample there is counts as activity
    ts.audio.feed(loud);
    menu.chain().pump();
    EXPECT_FALSE(app.state().InStandby);
    EXPECT_EQ(menu.cmdRecord->text(), QStringLiteral("Recording"));
    EXPECT_EQ(app.state().LastActivityTime, 13 * 3600);
    EXPECT_EQ(menu.chain().positionMs(), 1000) << "the buffer that resumes must itself be written";
    menu.cmdStop->click();
    const WavContents c = readWav(app.state().CurrentLogPath);
    ASSERT_EQ(c.samples.size(), 22050u);
    EXPECT_EQ(c.samples[100], -32768);
}
