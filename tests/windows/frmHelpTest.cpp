#include "windows/frmHelp.h"
#include "TestServices.h"
#include "windows/QtPrompt.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

// The manual is read on a thread of its own; the window shows it (or reports) when it is done.
void waitForManual(frmHelp& window)
{
    const QDeadlineTimer deadline(20000);
    while (window.isLoading() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_FALSE(window.isLoading());
}

} // namespace

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
            writeFile(t.services.paths.helpFile, c.content);
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
    writeFile(t.services.paths.helpFile, rtf + "}");
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
