#include "TestServices.h"
#include "recorder/Menu.h"

#include <QAction>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

class StartOnLoad : public ::testing::TestWithParam<int> { };

// Only the value 1 starts a recording; 2 and others are not "true enough".
TEST_P(StartOnLoad, OnlyExactlyOneStartsRecordingAtStartUp)
{
    TestServices t;
    t.makeArchive();
    t.writeSettings({ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<qint16>(GetParam()) });
    Settings settings;
    RecorderState state;
    Menu menu(t.services, settings, state);
    menu.Form_Initialize();
    EXPECT_EQ(settings.StartOnLoad, GetParam());
    if (GetParam() == 1)
        EXPECT_TRUE(state.CurrentLogPath.endsWith(QStringLiteral("/L120626.wav")))
            << state.CurrentLogPath.toStdString();
    else
        EXPECT_TRUE(state.CurrentLogPath.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Values, StartOnLoad, ::testing::Values(0, 1, 2, -1));
