#include "windows/frmHelp.h"
#include "TestServices.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

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

// Closes the window the way the operator does and lets it be destroyed.
void closeByExit(frmHelp* window)
{
    window->mnuExit->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST(frmHelp, MissingManualIsReportedOnceAndTheWindowStillOpensEmpty)
{
    TestServices t;
    for (int opening = 1; opening <= 2; ++opening) {
        SCOPED_TRACE(opening);
        QPointer<frmHelp> window = new frmHelp(t.services);
        window->show();
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->RichTextBox1->document()->isEmpty());
        ASSERT_EQ(t.messages.shown.size(), opening);
        EXPECT_EQ(t.messages.shown.last(), QStringLiteral("53 File not found: ") + t.services.paths.helpFile);
        closeByExit(window);
        EXPECT_TRUE(window.isNull());
    }
}

TEST(frmHelp, DamagedManualShowsNothingOfItsReadablePart)
{
    TestServices t;
    writeFile(t.services.paths.helpFile, "{\\rtf1 The first part reads well\\par but the file is cut");
    QPointer<frmHelp> window = new frmHelp(t.services);
    ASSERT_EQ(t.messages.shown.size(), 1);
    EXPECT_TRUE(t.messages.shown.first().startsWith(QStringLiteral("1020 ")));
    EXPECT_TRUE(t.messages.shown.first().contains(t.services.paths.helpFile));
    EXPECT_TRUE(window->RichTextBox1->document()->isEmpty());
    delete window;
}

TEST(frmHelp, UnformattedTextShowsInTheWindowFontAndFormattedTextAsWritten)
{
    TestServices t;
    writeFile(
        t.services.paths.helpFile, "{\\rtf1\\ansi{\\fonttbl{\\f0 Courier New;}} plain words \\f0\\fs36 big words}");
    frmHelp window(t.services);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    QTextDocument* doc = window.RichTextBox1->document();
    const QFont base = doc->defaultFont();
    EXPECT_EQ(base.family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(base.pointSizeF(), 12);

    QTextCursor c(doc);
    c.setPosition(doc->find(QStringLiteral("plain")).selectionStart() + 1);
    EXPECT_FALSE(c.charFormat().hasProperty(QTextFormat::FontFamilies));
    c.setPosition(doc->find(QStringLiteral("big")).selectionStart() + 1);
    EXPECT_EQ(c.charFormat().fontPointSize(), 18);
    EXPECT_EQ(c.charFormat().fontFamilies().toStringList(), QStringList { QStringLiteral("Courier New") });
}

// The manual that is installed with the program: it must read without a fault, and tell the
// operator about every fixed message the program can show.
TEST(frmHelp, InstalledManualOpensWithTextAndExplainsEveryFixedMessage)
{
    TestServices t;
    t.services.paths.helpFile = QStringLiteral(WENDMOOR_MANUAL);
    frmHelp window(t.services);
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(QLatin1Char('\n')).toStdString();
    const QString text = window.RichTextBox1->toPlainText();
    EXPECT_GT(text.size(), 5000);
    const char* messages[] = {
        "You must select the number of days to save wave files.",
        "You must select a hard drive.",
        "No Log Selected",
        "Wave file does not exist or has been damaged",
        "Overwrite Existing File-->",
        "System Information Is Unavailable At This Time",
    };
    for (const char* m : messages)
        EXPECT_TRUE(text.contains(QLatin1String(m))) << m;
}
