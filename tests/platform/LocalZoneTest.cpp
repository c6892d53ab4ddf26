#include "platform/LocalZone.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>

using namespace wendmoor;

namespace {

// The local offset from UTC at a winter noon, as the C library converts it now.
int winterOffsetSeconds()
{
    return QDateTime(QDate(2026, 1, 15), QTime(12, 0)).offsetFromUtc();
}

// Puts TZ back as it was, whatever a case did to it.
struct KeepTz {
    std::optional<QByteArray> was
        = std::getenv("TZ") ? std::optional<QByteArray>(std::getenv("TZ")) : std::optional<QByteArray>();
    ~KeepTz()
    {
        if (was)
            ::setenv("TZ", was->constData(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
};

} // namespace

// The zone file (a link, as /etc/localtime is) re-pointed while the program runs: a look that
// is due reads the new zone, one that is not due keeps the old; a TZ set by someone else wins.
TEST(LocalZone, FollowsAZoneFileThatChangesOnlyWhenALookIsDueAndNeverOverridesAGivenTz)
{
    const QString zoneinfo = QStringLiteral("/usr/share/zoneinfo/");
    struct Case {
        const char* name;
        std::optional<const char*> givenTz;
        int everyMs;
        int offsetBefore;
        int offsetAfter;
    } cases[] = {
        { "a look due: the new zone", std::nullopt, 0, 3600, 9 * 3600 },
        { "no look due: the zone read at the start", std::nullopt, 3600000, 3600, 3600 },
        { "TZ given: that zone throughout", "Asia/Kolkata", 0, 19800, 19800 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const KeepTz keep;
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("localtime"));
        ASSERT_TRUE(QFile::link(zoneinfo + QStringLiteral("Europe/Berlin"), link));
        if (c.givenTz)
            ::setenv("TZ", *c.givenTz, 1);
        else
            ::unsetenv("TZ");
        LocalZone zone(QFile::encodeName(link), std::chrono::milliseconds(c.everyMs));
        zone.follow();
        EXPECT_EQ(winterOffsetSeconds(), c.offsetBefore);

        ASSERT_TRUE(QFile::remove(link));
        ASSERT_TRUE(QFile::link(zoneinfo + QStringLiteral("Asia/Tokyo"), link));
        zone.follow();
        EXPECT_EQ(winterOffsetSeconds(), c.offsetAfter);
        EXPECT_EQ(QByteArray(std::getenv("TZ")), c.givenTz ? QByteArray(*c.givenTz) : ':' + QFile::encodeName(link));
    }
}
