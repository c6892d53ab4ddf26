#include "app/Application.h"
#include "recorder/Menu.h"

#include "TestServices.h"

#include <QAction>
#include <QCoreApplication>

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
