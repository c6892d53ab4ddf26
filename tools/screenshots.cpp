// Pictures of every window for the README, taken under a real display server:
//   xvfb-run -a env QT_QPA_PLATFORM=xcb build/tools/screenshots docs/screenshots
#include "app/Application.h"
#include "mainwindow/Menu.h"
#include "playback/ExportPanel.h"
#include "playback/frmPlay.h"

#include "TestServices.h"
#include "TestWavFiles.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <cstdio>

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

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wendmoor"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshots <folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    bool ok = true;

    TestServices ts;
    ts.audio.outputs = { QStringLiteral("pulse"), QStringLiteral("default") };
    ts.audio.inputs = { QStringLiteral("pulse"), QStringLiteral("default") };
    const QString archive = ts.makeArchive();
    for (const char* name : { "L120426.wav", "L120526.wav", "L120626.wav" })
        ok = writeLog(archive + QLatin1Char('/') + QLatin1String(name), 95'000) && ok;
    QDir().mkpath(QFileInfo(ts.services.paths.helpFile).path());
    ok = QFile::copy(QStringLiteral(WENDMOOR_MANUAL), ts.services.paths.helpFile) && ok;
    ts.writeSettings({ 0, 0, 1, 0, 7, 0, 300, 4, 0, 0, 0 });
    ts.clock.current = QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9));

    Application app(ts.services);
    app.start();
    Menu& menu = app.menu();
    menu.cmdRecord->click();
    ts.audio.feed(sineBlock());
    app.recorder().chain().pump();
    ts.clock.advanceMs(3000);
    menu.TmrClock_Timer();

    const auto save = [&out, &ok](QWidget* w, const char* name) {
        w->show();
        QTest::qWait(300);
        ok = w->grab().save(out + QLatin1Char('/') + QLatin1String(name)) && ok;
    };
    save(&menu, "main.png");
    menu.mnuMyPreferences->trigger();
    save(app.preferencesWindow(), "preferences.png");
    menu.mnuPlay->trigger();
    save(app.playWindow(), "play.png");
    // A minute exported from the window's Export row, on its own thread, into the temporary folder.
    ExportPanel& panel = *app.playWindow()->pnlExport;
    panel.txtFrom->setText(QStringLiteral("2026-12-05 00:00:10"));
    panel.txtTo->setText(QStringLiteral("2026-12-05 00:01:10"));
    const QString clip = QDir::temp().filePath(QStringLiteral("wendmoor-window-export.wav"));
    QObject::connect(
        &panel, &ExportPanel::finished, [](bool, const QString& message) { std::printf("%s\n", qPrintable(message)); });
    panel.exportTo(clip, true);
    ok = QTest::qWaitFor([&panel] { return !panel.isExporting(); }, 60000) && ok;
    save(app.playWindow(), "play-export.png");
    menu.mnuHelp->trigger();
    app.helpWindow()->resize(640, 480);
    save(app.helpWindow(), "help.png");
    menu.mnuAbout->trigger();
    save(app.aboutWindow(), "about.png");
    ts.messages.ShowMessage(
        QStringLiteral("76 Cannot create the log /home/op/Wendmoor/logs/L120626.wav: No such file or directory"));
    menu.cmdStop->click();
    return ok ? 0 : 1;
}
