#include "windows/frmAbout.h"
#include "TestServices.h"
#include "platform/Error.h"

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

QByteArray dword(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((v >> (8 * i)) & 0xff);
    return b;
}

} // namespace

TEST(frmAbout, ValuesBecomeTextAsTheBoxReadsThem)
{
    struct Case {
        const char* what;
        std::uint32_t type;
        QByteArray data;
        QString expected;
    };
    const Case table[] = {
        { "number 258", frmAbout::REG_DWORD, dword(258), QStringLiteral("&h000102") },
        { "number with a top byte", frmAbout::REG_DWORD, dword(0x1A2B3C4D), QStringLiteral("&h1A2B3C4D") },
        { "text without a closing zero", frmAbout::REG_SZ, QByteArray("C:\\Tools"), QStringLiteral("C:\\Tools") },
        { "text in UTF-8", frmAbout::REG_SZ, QByteArray("/opt/caf\xc3\xa9\0", 11), QStringLiteral("/opt/café") },
        { "other type keeps what was passed in", 3, QByteArray("\x01\x02", 2), QStringLiteral("passed in") },
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        QString out = QStringLiteral("passed in");
        registryValueText(c.type, c.data, QStringLiteral("V"), out);
        EXPECT_EQ(out, c.expected);
    }
    QString out;
    EXPECT_THROW(registryValueText(frmAbout::REG_SZ, QByteArray(), QStringLiteral("V"), out), Error);
}

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
