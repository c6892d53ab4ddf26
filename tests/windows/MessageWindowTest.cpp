#include "windows/MessageWindow.h"
#include "windows/frmError.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace wendmoor;

TEST(MessageWindow, OneWindowShowsOnlyTheLatestText)
{
    MessageWindow m;
    m.ShowMessage(QStringLiteral("first"));
    frmError* w = m.window();
    ASSERT_NE(w, nullptr);
    m.ShowMessage(QStringLiteral("second"));
    EXPECT_EQ(m.window(), w);
    EXPECT_EQ(w->lblMessage->text(), QStringLiteral("second"));
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isModal());
}

TEST(MessageWindow, OkClosesAndTheNextMessageStartsAfresh)
{
    MessageWindow m;
    m.ShowMessage(Error(76, QStringLiteral("Path not found")));
    ASSERT_NE(m.window(), nullptr);
    EXPECT_EQ(m.window()->lblMessage->text(), QStringLiteral("76 Path not found"));
    EXPECT_EQ(m.window()->focusWidget(), m.window()->OKButton);

    QTest::mouseClick(m.window()->OKButton, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(m.window(), nullptr);

    m.ShowMessage(Error(61, QString()));
    ASSERT_NE(m.window(), nullptr);
    EXPECT_EQ(m.window()->lblMessage->text(), QStringLiteral("61 "));
}
