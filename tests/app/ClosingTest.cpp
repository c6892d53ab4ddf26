#include "app/Application.h"
#include "recorder/Menu.h"

#include "TestServices.h"

#include <QAction>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

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
