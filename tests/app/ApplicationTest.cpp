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

