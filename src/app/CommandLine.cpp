#include "app/CommandLine.h"

#include "app/ArchiveCommands.h"
#include "platform/Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace wendmoor {

namespace {

// The commands that work on the archive alone, by their first word.
struct Subcommand {
    const char* word;
    int (*run)(const QStringList& arguments);
};
constexpr Subcommand kSubcommands[] = {
    { "export", runExportCommand },
    { "hold", runHoldCommand },
};

} // namespace

std::optional<int> runSubcommand(int argc, char** argv)
{
    if (argc < 2)
        return std::nullopt;
    for (const Subcommand& command : kSubcommands) {
        if (std::strcmp(argv[1], command.word) != 0)
            continue;
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Wendmoor"));
        QCoreApplication::setApplicationVersion(QLatin1String(kVersion));
        QStringList arguments;
        for (int i = 2; i < argc; ++i)
            arguments.append(QString::fromLocal8Bit(argv[i]));
        return command.run(arguments);
    }
    return std::nullopt;
}

std::optional<int> answerCommandLine(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QCoreApplication::setApplicationName(QStringLiteral("wendmoor"));
    QCoreApplication::setApplicationVersion(QLatin1String(kVersion));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Records a radio station's program audio around the clock into one WAV, FLAC or Opus file per day.\n"
        "The settings are made in Setup > My Preferences; the events are logged to the journal and to\n"
        "$XDG_STATE_HOME/Wendmoor/events.log."));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Shows this help."));
    const QCommandLineOption version(
        { QStringLiteral("v"), QStringLiteral("version") }, QStringLiteral("Shows the version."));
    parser.addOptions({ help, version });
    // Options meant for Qt are not errors here.
    (void)parser.parse(arguments);
    if (parser.isSet(help)) {
        // Without a running application Qt does not know the program's name.
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), QStringLiteral("wendmoor"));
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("wendmoor %s\n", kVersion);
        return 0;
    }
    return std::nullopt;
}

} // namespace wendmoor
