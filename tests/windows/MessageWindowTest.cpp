#include "windows/MessageWindow.h"
#include "windows/frmError.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace wendmoor;

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
