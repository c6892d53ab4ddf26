#include "windows/MessageWindow.h"
#include "windows/QtPrompt.h"
#include "windows/frmAbout.h"
#include "windows/frmError.h"
#include "windows/frmHelp.h"

#include "TestServices.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

// The manual is read on a thread of its own; the window shows it (or reports) when it is done.
void waitForManual(frmHelp& window)
{
    const QDeadlineTimer deadline(20000);
    while (window.isLoading() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_FALSE(window.isLoading());
}

// Writes the manual the window will read.
void writeManual(TestServices& t, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(t.services.paths.helpFile).absolutePath());
    QFile f(t.services.paths.helpFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

} // namespace

// One window at a time shows only the latest text; OK closes it and the next message opens afresh.
TEST(MessageWindow, OneWindowShowsTheLatestTextAndOkClosesIt)
{
    MessageWindow m;
    m.ShowMessage(QStringLiteral("first"));
    frmError* w = m.window();
    ASSERT_NE(w, nullptr);
    m.ShowMessage(Error(76, QStringLiteral("Path not found")));
    EXPECT_EQ(m.window(), w);
    EXPECT_EQ(w->lblMessage->text(), QStringLiteral("76 Path not found"));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->focusWidget(), w->OKButton);

    QTest::mouseClick(w->OKButton, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(m.window(), nullptr);
    m.ShowMessage(QStringLiteral("second"));
    ASSERT_NE(m.window(), nullptr);
    EXPECT_EQ(m.window()->lblMessage->text(), QStringLiteral("second"));
}

// The system information program comes from the first key's PATH, else from the folder the
// second key names; when none is found or it cannot be started the operator is told.
TEST(frmAbout, SystemInformationStartsOnlyWhenTheProgramIsFoundAndStarts)
{
    const auto text = [](const char* s) { return SystemInfo::RawValue { frmAbout::REG_SZ, QByteArray(s) + '\0' }; };
    struct Case {
        const char* what;
        std::optional<SystemInfo::RawValue> first;
        std::optional<SystemInfo::RawValue> second; // a folder that holds MSINFO32.EXE
        bool startSucceeds;
        const char* started; // what was started, or tried
    };
    const Case table[] = {
        { "first key names the program; second key not read", text("/usr/bin/hardinfo"), text("/opt/sys"), true,
            "/usr/bin/hardinfo" },
        { "second key's folder holds the program", std::nullopt, text("/opt/sys"), true, "/opt/sys/MSINFO32.EXE" },
        { "program found but cannot be started", text("/usr/bin/hardinfo"), std::nullopt, false, "/usr/bin/hardinfo" },
        { "first key present without data; second not tried", SystemInfo::RawValue { frmAbout::REG_SZ, {} },
            text("/opt/sys"), true, "" },
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        TestServices t;
        if (c.first)
            t.systemInfo.values[QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH")] = *c.first;
        if (c.second)
            t.systemInfo.values[QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO")] = *c.second;
        t.systemInfo.files = { QStringLiteral("/opt/sys/MSINFO32.EXE") };
        t.systemInfo.startSucceeds = c.startSucceeds;
        QPointer<frmAbout> box = new frmAbout(t.services);
        box->show();
        QTest::mouseClick(box->cmdSysInfo, Qt::LeftButton);
        EXPECT_EQ(t.systemInfo.started.join(QLatin1Char(' ')), QLatin1String(c.started));
        const bool unavailable = !c.startSucceeds || !*c.started;
        EXPECT_EQ(t.prompt.notices,
            unavailable ? QStringList { QStringLiteral("Wendmoor|System Information Is Unavailable At This Time") }
                        : QStringList {});
        ASSERT_TRUE(box && box->isVisible()); // the box stays open either way
        delete box;
    }
}

// Missing, damaged or oversized: one message naming the file, an empty window, on every opening.
TEST(frmHelp, UnreadableManualIsReportedOnceAndTheWindowStaysEmpty)
{
    struct Case {
        const char* what;
        QByteArray content; // empty: no file
        qint64 size; // grown to this size when larger than the content
        const char* start;
    };
    const Case cases[] = {
        { "missing", {}, 0, "53 File not found: " },
        { "cut short", "{\\rtf1 The first part reads well\\par but the file is cut", 0, "1020 " },
        { "over 16 MB", "{\\rtf1 x}", 16 * 1024 * 1024 + 1, "1020 " },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestServices t;
        if (!c.content.isEmpty()) {
            writeManual(t, c.content);
            if (c.size > 0)
                QFile::resize(t.services.paths.helpFile, c.size);
        }
        for (int opening = 1; opening <= 2; ++opening) {
            QPointer<frmHelp> window = new frmHelp(t.services);
            window->show();
            waitForManual(*window);
            EXPECT_TRUE(window->RichTextBox1->document()->isEmpty());
            ASSERT_EQ(t.messages.shown.size(), opening);
            EXPECT_TRUE(t.messages.shown.last().startsWith(QLatin1String(c.start)))
                << t.messages.shown.last().toStdString();
            EXPECT_TRUE(t.messages.shown.last().contains(t.services.paths.helpFile));
            window->mnuExit->trigger();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_TRUE(window.isNull());
        }
    }
}

// A window closed while a long manual is still being read goes at once, and nothing follows.
TEST(frmHelp, ClosingWhileReadingStopsTheReading)
{
    TestServices t;
    QByteArray rtf = "{\\rtf1 ";
    while (rtf.size() < 8 * 1024 * 1024)
        rtf += "words {\\b bold} words\\par ";
    writeManual(t, rtf + "}");
    auto* window = new frmHelp(t.services);
    EXPECT_TRUE(window->isLoading());
    delete window;
    QCoreApplication::processEvents();
    EXPECT_TRUE(t.messages.shown.isEmpty());
}

// The manual that is installed with the program: it must read without a fault, and tell the
// operator about every fixed message the program can show.
TEST(frmHelp, InstalledManualOpensWithTextAndExplainsEveryFixedMessage)
{
    TestServices t;
    t.services.paths.helpFile = QStringLiteral(WENDMOOR_MANUAL);
    frmHelp window(t.services);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    waitForManual(window);
    EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(QLatin1Char('\n')).toStdString();
    const QString text = window.RichTextBox1->toPlainText();
    for (const char* m : { "You must select the number of days to save wave files.", "You must select a hard drive.",
             "No Log Selected", "Wave file does not exist or has been damaged", "Overwrite Existing File-->",
             "System Information Is Unavailable At This Time" })
        EXPECT_TRUE(text.contains(QLatin1String(m))) << m;
}

// One Enter in passing must not replace a day's log or end a recording.
TEST(QtPrompt, EnterAnswersNo)
{
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            QTest::keyClick(box, Qt::Key_Return);
    });
    presser.start(20);
    QtPrompt prompt;
    EXPECT_FALSE(prompt.askYesNo(QStringLiteral("Wendmoor"), QStringLiteral("Overwrite Existing File--> x?")));
}
