#include "cli/CommandLine.h"

#include "Fakes.h"
#include "TestWavFiles.h"
#include "platform/AppPaths.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

using namespace wendmoor;
using namespace wendmoor::test;

namespace {

QByteArray contents(std::FILE* f)
{
    std::rewind(f);
    QByteArray all;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        all.append(buffer, qsizetype(n));
    return all;
}

// Each word either runs its command with the right exit status or, unknown, ends with the
// usage and status 2 instead of starting the recorder; no words, or Qt's own options, start it.
TEST(CommandLineTest, SubcommandsAnswerAndUnknownWordsAreRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writeLog(dir.filePath(QStringLiteral("L120626.wav")), 90'000));
    const FakeTimeSource clock; // 2026-12-06 10:00
    const AppPaths paths = AppPaths::under(dir.path());
    struct Case {
        QStringList words;
        std::optional<int> code;
        const char* printed; // in standard output (or, failing, standard error)
    };
    const Case cases[] = {
        { {}, std::nullopt, "" },
        { { QStringLiteral("-platform"), QStringLiteral("offscreen") }, std::nullopt, "" },
        { { QStringLiteral("anything") }, 2, "unknown command \"anything\"" },
        { { QStringLiteral("report"), QStringLiteral("--archive"), dir.path() }, 0, "00:01:30 recorded of 24:00:00" },
        { { QStringLiteral("report"), QStringLiteral("2026-12-06"), QStringLiteral("--json"),
              QStringLiteral("--archive"), dir.path() },
            0, "\"recorded_ms\": 90000" },
        { { QStringLiteral("report"), QStringLiteral("2026-13-01"), QStringLiteral("--archive"), dir.path() }, 2,
            "not a date" },
        { { QStringLiteral("report"), QStringLiteral("--archive"), dir.filePath(QStringLiteral("none")) }, 1,
            "does not exist" },
    };
    for (const Case& k : cases) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const std::optional<int> code
            = answerCommandLine(QStringList { QStringLiteral("wendmoor") } + k.words, clock, paths, out, err);
        const QByteArray printed = contents(out) + contents(err);
        std::fclose(out);
        std::fclose(err);
        const std::string label = k.words.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(code, k.code) << label << "\n" << printed.toStdString();
        EXPECT_TRUE(printed.contains(k.printed)) << label << "\n" << printed.toStdString();
    }
}

} // namespace
