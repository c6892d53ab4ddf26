#include "windows/frmAbout.h"
#include "TestServices.h"

#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

const QString FirstKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString SecondKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString Unavailable = QStringLiteral("Wendmoor|System Information Is Unavailable At This Time");

SystemInfo::RawValue text(const char* s)
{
    return { frmAbout::REG_SZ, QByteArray(s) + '\0' };
}

} // namespace

TEST(frmAbout, SystemInformationStartsOnlyWhenTheProgramIsFoundAndStarts)
{
    struct Case {
        const char* what;
        std::optional<SystemInfo::RawValue> first;
        std::optional<SystemInfo::RawValue> second;
        QStringList files;
        bool startSucceeds;
        QString started; // empty: nothing started and the notice shown
    };
    const Case table[] = {
        { "first key names the program; second key not read", text("/usr/bin/hardinfo"), text("/opt/sys"),
            { QStringLiteral("/opt/sys/MSINFO32.EXE") }, true, QStringLiteral("/usr/bin/hardinfo") },
        { "second key's folder holds the program", std::nullopt, text("/opt/sys"),
            { QStringLiteral("/opt/sys/MSINFO32.EXE") }, true, QStringLiteral("/opt/sys/MSINFO32.EXE") },
        { "program found but cannot be started", text("/usr/bin/hardinfo"), std::nullopt, {}, false, {} },
        { "first key present without data; second not tried", SystemInfo::RawValue { frmAbout::REG_SZ, {} },
            text("/opt/sys"), { QStringLiteral("/opt/sys/MSINFO32.EXE") }, true, {} },
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        TestServices t;
        if (c.first)
            t.systemInfo.values[FirstKey + QStringLiteral("|PATH")] = *c.first;
        if (c.second)
            t.systemInfo.values[SecondKey + QStringLiteral("|MSINFO")] = *c.second;
        t.systemInfo.files = c.files;
        t.systemInfo.startSucceeds = c.startSucceeds;
        QPointer<frmAbout> box = new frmAbout(t.services);
        box->show();
        QTest::mouseClick(box->cmdSysInfo, Qt::LeftButton);
        EXPECT_EQ(t.prompt.notices, c.started.isEmpty() ? QStringList { Unavailable } : QStringList {});
        if (c.startSucceeds) {
            EXPECT_EQ(t.systemInfo.started, c.started.isEmpty() ? QStringList {} : QStringList { c.started });
        }
        EXPECT_TRUE(box->isVisible()); // the box stays open either way
        delete box;
    }
}
