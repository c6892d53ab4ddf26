#include "playback/frmPlay.h"

#include "media/WavePlayer.h"
#include "playback/PlaybackController.h"
#include "widgets/PositionSlider.h"

#include "TestServices.h"
#include "TestWavFiles.h"

#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace wendmoor::test {

// The window's controls reach the controller, and the window shows what it decided.
TEST(PlayWindow, ControlsDriveTheControllerAndShowItsView)
{
    TestServices t;
    t.writeSettings(QList<qint16>(11, 0));
    ASSERT_TRUE(writeLog(t.makeArchive() + QStringLiteral("/L120403.wav"), 600000));
    ASSERT_TRUE(writeLog(t.makeArchive() + QStringLiteral("/L120503.wav"), 1000));
    Settings settings;
    settings.LogDrive = QLatin1Char('C');
    PlaybackMemory memory;
    frmPlay w(t.services, settings, memory);
    EXPECT_EQ(w.lstLogs->currentItem()->text(), QStringLiteral("L120503.wav"));

    w.lstLogs->setCurrentRow(1);
    w.cmdEnd[2]->click(); // "10"
    QTest::qWait(1);
    EXPECT_EQ(std::make_pair(w.TrackBar->minimum(), w.TrackBar->maximum()), std::make_pair(590000, 600000));
    EXPECT_TRUE(w.optRange[3]->isEnabled() && !w.optRange[4]->isEnabled());

    w.TrackBar->slider()->setValue(595000); // as the operator's drag does
    EXPECT_EQ(w.controller().player().positionMs(), 595000);
    QTest::mouseClick(w.cmdMem[2], Qt::RightButton);
    QTest::keyClick(w.cmdMem[3], Qt::Key_Menu);
    EXPECT_EQ(std::make_pair(memory.MemoryPoint[2], memory.MemoryPoint[3]), std::make_pair(595000, 595000));

    w.VScroll1->setValue(1); // oldest first
    EXPECT_EQ(w.lstLogs->item(0)->text(), QStringLiteral("L120403.wav"));
    EXPECT_TRUE(t.messages.shown.isEmpty()) << t.messages.shown.join(QLatin1Char('\n')).toStdString();
}

} // namespace wendmoor::test
