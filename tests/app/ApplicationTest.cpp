#include "app/Application.h"
#include "recorder/Menu.h"

#include "TestServices.h"

#include <QAction>
#include <QCoreApplication>
#include <QSignalSpy>

#include <functional>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

// Preferences, Help and About open once however often they are asked for, and anew once closed;
// Play closes the open playback window and opens a fresh one.
TEST(Application, MenuCommandsOpenEachWindowOnceAndPlayOpensAFreshOne)
{
    TestServices ts;
    ts.makeArchive();
    Application app(ts.services);
    app.start();
    Menu& menu = app.menu();
    const std::pair<QAction*, std::function<QWidget*()>> windows[] = {
        { menu.mnuMyPreferences, [&] { return app.preferencesWindow(); } },
        { menu.mnuHelp, [&] { return app.helpWindow(); } },
        { menu.mnuAbout, [&] { return app.aboutWindow(); } },
    };
    for (const auto& [command, window] : windows) {
        command->trigger();
        QPointer<QWidget> first = window();
        ASSERT_TRUE(first && first->isVisible()) << command->text().toStdString();
        command->trigger();
        EXPECT_EQ(window(), first.data()) << command->text().toStdString();
        first->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(first) << command->text().toStdString();
        command->trigger();
        EXPECT_TRUE(window()) << command->text().toStdString();
    }

    menu.mnuPlay->trigger();
    QPointer<frmPlay> first = app.playWindow();
    ASSERT_TRUE(first);
    menu.mnuPlay->trigger();
    EXPECT_FALSE(first) << "Play must close the open playback window";
    ASSERT_TRUE(app.playWindow());
    EXPECT_TRUE(app.playWindow()->isVisible());
}

// The close box and Exit end the whole program (no clock left running behind other windows);
// while recording they first ask, and only Yes ends it.
TEST(Closing, CloseBoxAndExitEndTheProgramAskingFirstWhileRecording)
{
    struct Case {
        const char* what;
        bool recording;
        bool useExit;
        std::deque<bool> answers;
        bool ends;
    };
    const Case cases[] = {
        { "close box, not recording", false, false, {}, true },
        { "Exit, not recording", false, true, {}, true },
        { "close box while recording, No", true, false, { false }, false },
        { "Exit while recording, Yes", true, true, { true }, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestServices ts;
        ts.makeArchive();
        ts.writeSettings({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<qint16>(c.recording ? 1 : 0) });
        Application app(ts.services);
        app.start();
        app.openHelp();
        ASSERT_EQ(app.state().IsRecording, c.recording);
        QSignalSpy exit(&app, &Application::exitRequested);
        ts.prompt.answers = c.answers;
        if (c.useExit)
            app.menu().mnuExit->trigger();
        else
            app.menu().close();
        EXPECT_EQ(exit.count(), c.ends ? 1 : 0);
        EXPECT_EQ(app.menu().isVisible(), !c.ends);
        EXPECT_EQ(app.state().IsRecording, c.recording && !c.ends);
        EXPECT_EQ(ts.prompt.questions,
            c.recording ? QStringList { QStringLiteral("Wendmoor|Stop recording and close Wendmoor?") }
                        : QStringList {});
    }
}
