#include "app/Application.h"
#include "media/WaveInput.h"
#include "recorder/Menu.h"

#include "TestServices.h"
#include "TestWavFiles.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cmath>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {
std::vector<std::int16_t> sineBlock()
{
    std::vector<std::int16_t> v(66150);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<std::int16_t>(12000.0 * std::sin(static_cast<double>(i) * 0.125));
    return v;
}
} // namespace

// Pictures of every window for the README. Runs only when WENDMOOR_SCREENSHOT_DIR names a folder,
// under a real display server (for example xvfb-run with QT_QPA_PLATFORM=xcb):
//   xvfb-run -a env QT_QPA_PLATFORM=xcb WENDMOOR_SCREENSHOT_DIR=$PWD/docs/screenshots
//     build/tests/test_app --gtest_filter='Screenshots*'
TEST(Screenshots, EveryWindow)
{
    const QString out = qEnvironmentVariable("WENDMOOR_SCREENSHOT_DIR");
    if (out.isEmpty())
        GTEST_SKIP() << "set WENDMOOR_SCREENSHOT_DIR to take the pictures";
    QDir().mkpath(out);

    TestServices ts;
    ts.audio.outputs = {QStringLiteral("pulse"), QStringLiteral("default")};
    ts.audio.inputs = {QStringLiteral("pulse"), QStringLiteral("default")};
    const QString archive = ts.makeArchive();
    for (const char* name : {"L120426.wav", "L120526.wav", "L120626.wav"})
        ASSERT_TRUE(writeLog(archive + QLatin1Char('/') + QLatin1String(name), 95'000));
    QDir().mkpath(QFileInfo(ts.services.paths.helpFile).path());
    ASSERT_TRUE(QFile::copy(QStringLiteral(WENDMOOR_MANUAL), ts.services.paths.helpFile));
    ts.writeSettings({0, 0, 1, 0, 7, 0, 300, 4, 0, 0, 0});
    ts.clock.current = QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9));

    Application app(ts.services);
    app.start();
    Menu& menu = app.menu();
    menu.cmdRecord->click();
    ts.audio.feed(sineBlock());
    menu.WaveIn->pump();
    ts.clock.advanceMs(3000);
    menu.TmrClock_Timer();

    const auto save = [&out](QWidget* w, const char* name) {
        w->show();
        QTest::qWait(300);
        EXPECT_TRUE(w->grab().save(out + QLatin1Char('/') + QLatin1String(name)));
    };
    save(&menu, "main.png");
    menu.mnuMyPreferences->trigger();
    save(app.preferencesWindow(), "preferences.png");
    menu.mnuPlay->trigger();
    save(app.playWindow(), "play.png");
    menu.mnuHelp->trigger();
    app.helpWindow()->resize(640, 480);
    save(app.helpWindow(), "help.png");
    menu.mnuAbout->trigger();
    save(app.aboutWindow(), "about.png");
    ts.messages.ShowMessage(QStringLiteral("76 Cannot create the log /home/op/Wendmoor/logs/L120626.wav: No such file or directory"));
    menu.cmdStop->click();
}
