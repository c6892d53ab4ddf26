#include "platform/LinuxSystemInfo.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wendmoor;

namespace {

QString makeProgram(const QString& folder, const QString& name, const QByteArray& script, bool executable = true)
{
    const QString path = folder + QLatin1Char('/') + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("#!/bin/sh\n" + script + "\n");
    f.close();
    QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        p |= QFile::ExeOwner;
    f.setPermissions(p);
    return path;
}

const QString Key = QString::fromLatin1(LinuxSystemInfo::ProgramKey);
const QString Name = QString::fromLatin1(LinuxSystemInfo::ProgramValue);

} // namespace

TEST(LinuxSystemInfo, FirstKnownProgramOnThePathAnswersAsAClosedTextValue)
{
    QTemporaryDir a, b;
    makeProgram(a.path(), QStringLiteral("kinfocenter"), "exit 0");
    makeProgram(a.path(), QStringLiteral("hardinfo2"), "exit 0", false); // not executable: not a program
    const QString best = makeProgram(b.path(), QStringLiteral("hardinfo"), "exit 0");
    LinuxSystemInfo info(QStringList { a.path(), b.path() });

    const auto value = info.readValue(Key, Name);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, 1u);
    EXPECT_EQ(value->data, best.toLocal8Bit() + '\0');
    // Registry names are not case-sensitive; other keys and a folder without a program give nothing.
    EXPECT_TRUE(info.readValue(Key.toLower(), QStringLiteral("path")));
    EXPECT_FALSE(info.readValue(Key, QStringLiteral("OTHER")));
    EXPECT_FALSE(LinuxSystemInfo(QStringList { a.path() + QStringLiteral("/none") }).readValue(Key, Name));
}
