#include "cli/CommandLine.h"

#include "config/Settings.h"
#include "platform/AppPaths.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/TimeSource.h"
#include "platform/Version.h"
#include "platform/Volumes.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <array>
#include <memory>

namespace wendmoor {

namespace {

// Others add their rows here: export, hold, serve.
constexpr std::array kSubcommands {
    Subcommand { "report", "[YYYY-MM-DD] [--json] [--archive DIR]",
        "Prints a day's coverage (today by default): the time recorded, each log's segments, each gap and why.",
        &runReport },
    Subcommand { "export",
        "--from \"YYYY-MM-DD HH:MM:SS\" --to \"YYYY-MM-DD HH:MM:SS\" --output FILE [--force] [--archive DIR]",
        "Exports a passage by clock time (.wav, .flac or .opus) with FILE.json and FILE.sha256 beside it.",
        &runExport },
    Subcommand { "hold", "add --from TIME --to TIME --reason TEXT | list [--all] | release ID [--archive DIR]",
        "Keeps the logs of a range from the purge until the hold is released.", &runHold },
    Subcommand { "serve", "[--listen ADDRESS:PORT] [--password-file FILE] [--archive DIR]",
        "Serves the archive's days, their audio and the recorder's state to a browser (127.0.0.1:8740 by default; "
        "any other address needs a password file only you can read).",
        &runServe },
};

// What a settings file that cannot be read says goes to standard error, not to a window.
class ErrorPrinter final : public MessageSink {
public:
    explicit ErrorPrinter(std::FILE* err)
        : m_err(err)
    {
    }
    using MessageSink::ShowMessage;
    void ShowMessage(const QString& text) override { std::fprintf(m_err, "wendmoor: %s\n", qPrintable(text)); }

private:
    std::FILE* m_err;
};

void print(std::FILE* to, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
}

QString helpText()
{
    QString text = QStringLiteral(
        "Usage: wendmoor [options]\n"
        "       wendmoor <command> [arguments]\n"
        "Records a radio station's program audio around the clock into one WAV, FLAC or Opus file per day.\n"
        "The settings are made in Setup > My Preferences; the events are logged to the journal and to\n"
        "$XDG_STATE_HOME/Wendmoor/events.log.\n\n"
        "Options:\n"
        "  -h, --help     Shows this help.\n"
        "  -v, --version  Shows the version.\n\n"
        "Commands (each works on the archive the settings name, or on --archive DIR):\n");
    for (const Subcommand& c : kSubcommands)
        text += QStringLiteral("  %1\n      %2\n").arg(usageOf(c), QLatin1String(c.summary));
    return text;
}

} // namespace

std::span<const Subcommand> subcommands()
{
    return kSubcommands;
}

QString usageOf(const Subcommand& command)
{
    return QStringLiteral("wendmoor %1 %2").arg(QLatin1String(command.name), QLatin1String(command.usage));
}

QString archiveFolderFor(QStringList& arguments, const AppPaths& paths)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--archive"));
    QString folder;
    if (at >= 0) {
        if (at + 1 >= arguments.size())
            throw Error(ErrorNumber::InvalidArgument, QStringLiteral("--archive needs a folder"));
        folder = arguments.at(at + 1);
        arguments.remove(at, 2);
    } else {
        Settings settings;
        ErrorPrinter quiet(stderr);
        LoadSettings(paths, settings, quiet);
        const SystemVolumes volumes(paths.driveLettersFile);
        folder = volumes.archiveFolder(settings.LogDrive.isNull() ? QLatin1Char('C') : settings.LogDrive);
    }
    if (!QFileInfo(folder).isDir())
        throw Error(ErrorNumber::PathNotFound, QStringLiteral("The archive folder %1 does not exist").arg(folder));
    return folder;
}

std::optional<int> answerCommandLine(
    const QStringList& arguments, const TimeSource& clock, const AppPaths& paths, std::FILE* out, std::FILE* err)
{
    const QStringList words = arguments.mid(1);
    const bool subcommand = !words.isEmpty() && !words.first().startsWith(QLatin1Char('-'));
    if (!subcommand && (words.contains(QStringLiteral("-h")) || words.contains(QStringLiteral("--help")))) {
        print(out, helpText());
        return ExitCode::Ok;
    }
    if (!subcommand && (words.contains(QStringLiteral("-v")) || words.contains(QStringLiteral("--version")))) {
        std::fprintf(out, "wendmoor %s\n", kVersion);
        return ExitCode::Ok;
    }
    // No words, or only Qt's own options (-platform offscreen …): the recorder runs.
    if (words.isEmpty() || words.first().startsWith(QLatin1Char('-')))
        return std::nullopt;
    for (const Subcommand& c : kSubcommands) {
        if (words.first() != QLatin1String(c.name))
            continue;
        const QStringList own = words.mid(1);
        if (own.contains(QStringLiteral("-h")) || own.contains(QStringLiteral("--help"))) {
            print(out, QStringLiteral("Usage: %1\n%2\n").arg(usageOf(c), QLatin1String(c.summary)));
            return ExitCode::Ok;
        }
        return c.run({ own, out, err, clock, paths });
    }
    print(err, QStringLiteral("wendmoor: unknown command \"%1\"\n\n").arg(words.first()) + helpText());
    return ExitCode::Usage;
}

std::optional<int> answerCommandLine(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // A subcommand runs under a QCoreApplication of its own; the recorder makes its own later.
    // The clock comes first: it names the zone in the environment, before any thread.
    const SystemTimeSource clock;
    std::unique_ptr<QCoreApplication> core;
    const QString first = arguments.value(1);
    bool ours = !first.startsWith(QLatin1Char('-'));
    for (const char* option : { "-h", "--help", "-v", "--version" })
        ours = ours || arguments.contains(QLatin1String(option));
    if (!first.isEmpty() && ours)
        core = std::make_unique<QCoreApplication>(argc, argv);
    if (!core)
        return std::nullopt;
    QCoreApplication::setApplicationName(QStringLiteral("wendmoor"));
    QCoreApplication::setApplicationVersion(QLatin1String(kVersion));
    const AppPaths paths = AppPaths::system();
    return answerCommandLine(arguments, clock, paths, stdout, stderr);
}

} // namespace wendmoor
