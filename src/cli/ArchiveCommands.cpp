#include "catalog/Catalog.h"
#include "cli/CommandLine.h"
#include "config/Settings.h"
#include "export/ClipExport.h"
#include "platform/AppPaths.h"
#include "platform/Error.h"
#include "platform/MessageSink.h"
#include "platform/TimeSource.h"
#include "platform/Volumes.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <pwd.h>
#include <unistd.h>

namespace wendmoor {

namespace {

class StandardError final : public MessageSink {
public:
    StandardError(const char* command, std::FILE* err)
        : m_command(command)
        , m_err(err)
    {
    }
    using MessageSink::ShowMessage;
    void ShowMessage(const QString& text) override
    {
        std::fprintf(m_err, "wendmoor %s: %s\n", m_command, qPrintable(text));
    }
    [[nodiscard]] std::FILE* err() const { return m_err; }

private:
    const char* m_command;
    std::FILE* m_err;
};

// The archive given, or the logs folder of the drive the settings name.
QString archiveFolder(
    const QCommandLineParser& parser, const QCommandLineOption& option, const AppPaths& paths, MessageSink& messages)
{
    if (parser.isSet(option))
        return QFileInfo(parser.value(option)).absoluteFilePath();
    Settings settings;
    LoadSettings(paths, settings, messages);
    const SystemVolumes volumes(paths.driveLettersFile, &messages);
    return volumes.archiveFolder(settings.LogDrive);
}

QCommandLineOption archiveOption()
{
    return { QStringLiteral("archive"),
        QStringLiteral("The archive folder (the one the settings name when not given)."), QStringLiteral("DIR") };
}

int usage(const QCommandLineParser& parser, StandardError& messages, const QString& problem)
{
    messages.ShowMessage(problem);
    std::fputs(parser.helpText().toLocal8Bit().constData(), messages.err());
    return ExitCode::Usage;
}

// A range's two ends, or the message that says which is not a clock time.
std::optional<QString> readRange(const QCommandLineParser& parser, const QCommandLineOption& from,
    const QCommandLineOption& to, UtcMs& fromUtc, UtcMs& toUtc)
{
    for (const auto& [option, value] : { std::pair { &from, &fromUtc }, std::pair { &to, &toUtc } }) {
        const std::optional<UtcMs> t = parseClockTime(parser.value(*option));
        if (!t)
            return QStringLiteral("--%1 \"%2\" is not a clock time (YYYY-MM-DD HH:MM:SS).")
                .arg(option->names().constFirst(), parser.value(*option));
        *value = *t;
    }
    return std::nullopt;
}

QString userName()
{
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER", QStringLiteral("unknown"));
}

} // namespace

int runExport(const CommandContext& c)
{
    const QStringList& arguments = c.arguments;
    StandardError messages("export", c.err);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Exports a passage of the archive by clock time, across logs and gaps (filled with silence), with a manifest "
        "FILE.json and the checksums FILE.sha256 beside it."));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("The first instant, local time."),
        QStringLiteral("YYYY-MM-DD HH:MM:SS"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("The end of the passage, local time."),
        QStringLiteral("YYYY-MM-DD HH:MM:SS"));
    const QCommandLineOption output(QStringLiteral("output"),
        QStringLiteral("The clip: .wav (16-bit PCM), .flac or .opus."), QStringLiteral("FILE"));
    const QCommandLineOption force(QStringLiteral("force"), QStringLiteral("Replaces an existing clip."));
    const QCommandLineOption archive = archiveOption();
    parser.addOptions({ from, to, output, force, archive });
    if (!parser.parse(QStringList { QStringLiteral("wendmoor export") } + arguments))
        return usage(parser, messages, parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usage(parser, messages, QStringLiteral("Unknown words: ") + parser.positionalArguments().join(u' '));
    for (const QCommandLineOption* needed : { &from, &to, &output })
        if (!parser.isSet(*needed))
            return usage(parser, messages, QStringLiteral("--%1 is needed.").arg(needed->names().constFirst()));
    UtcMs fromUtc = 0;
    UtcMs toUtc = 0;
    if (const std::optional<QString> problem = readRange(parser, from, to, fromUtc, toUtc))
        return usage(parser, messages, *problem);
    try {
        const std::unique_ptr<Catalog> catalog
            = Catalog::open(archiveFolder(parser, archive, c.paths, messages), Catalog::Mode::ReadOnly, &messages);
        const ClipPlan plan = planClip(*catalog, fromUtc, toUtc);
        ClipExportOptions options;
        options.output = parser.value(output);
        options.overwrite = parser.isSet(force);
        const bool terminal = ::isatty(::fileno(c.out)) != 0;
        int shown = -1;
        if (terminal)
            options.progress = [&shown, &c](std::int64_t done, std::int64_t total) {
                const int percent = total > 0 ? int(std::min<std::int64_t>(100, done * 100 / total)) : 100;
                if (percent != shown) {
                    shown = percent;
                    std::fprintf(c.out, "\rExporting %3d %%", percent);
                    std::fflush(c.out);
                }
            };
        const ClipExportResult result = exportClip(plan, options);
        rememberChecksums(plan.archiveFolder, result.taken);
        if (terminal)
            std::fprintf(c.out, "\r");
        std::fprintf(c.out, "%s: %s to %s, %.3f s at %d Hz\n%s\n%s\n",
            qPrintable(QDir::toNativeSeparators(result.clip)), qPrintable(clockTimeText(plan.fromUtc)),
            qPrintable(clockTimeText(plan.toUtc)), double(result.frames) / result.sampleRate, result.sampleRate,
            qPrintable(QDir::toNativeSeparators(result.manifest)), qPrintable(QDir::toNativeSeparators(result.sums)));
        return ExitCode::Ok;
    } catch (const Error& e) {
        if (::isatty(::fileno(c.out)) != 0)
            std::fprintf(c.out, "\n");
        messages.ShowMessage(e.text());
        return ExitCode::Failure;
    }
}

int runHold(const CommandContext& c)
{
    const QStringList& arguments = c.arguments;
    StandardError messages("hold", c.err);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Holds keep every log that overlaps their range from the purge until they are released.\n"
                       "  hold add --from TIME --to TIME --reason TEXT\n  hold list [--all]\n  hold release ID"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("The first instant held, local time."),
        QStringLiteral("YYYY-MM-DD HH:MM:SS"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("The end of the range held, local time."),
        QStringLiteral("YYYY-MM-DD HH:MM:SS"));
    const QCommandLineOption reason(
        QStringLiteral("reason"), QStringLiteral("Why (a complaint, a request)."), QStringLiteral("TEXT"));
    const QCommandLineOption all(QStringLiteral("all"), QStringLiteral("Lists released holds too."));
    const QCommandLineOption archive = archiveOption();
    parser.addOptions({ from, to, reason, all, archive });
    if (!parser.parse(QStringList { QStringLiteral("wendmoor hold") } + arguments))
        return usage(parser, messages, parser.errorText());
    const QStringList words = parser.positionalArguments();
    const QString verb = words.value(0);
    const bool add = verb == QLatin1String("add") && words.size() == 1;
    const bool list = verb == QLatin1String("list") && words.size() == 1;
    const bool release = verb == QLatin1String("release") && words.size() == 2;
    if (!add && !list && !release)
        return usage(parser, messages, QStringLiteral("Say add, list or release ID."));
    UtcMs fromUtc = 0;
    UtcMs toUtc = 0;
    if (add) {
        for (const QCommandLineOption* needed : { &from, &to, &reason })
            if (!parser.isSet(*needed))
                return usage(parser, messages, QStringLiteral("--%1 is needed.").arg(needed->names().constFirst()));
        if (const std::optional<QString> problem = readRange(parser, from, to, fromUtc, toUtc))
            return usage(parser, messages, *problem);
        if (fromUtc >= toUtc)
            return usage(parser, messages, QStringLiteral("--from must be before --to."));
        if (parser.value(reason).trimmed().isEmpty())
            return usage(parser, messages, QStringLiteral("--reason must say why."));
    }
    bool numbered = false;
    const qint64 id = release ? words.at(1).toLongLong(&numbered) : 0;
    if (release && !numbered)
        return usage(parser, messages, QStringLiteral("\"%1\" is not a hold's number.").arg(words.at(1)));
    try {
        const QString folder = archiveFolder(parser, archive, c.paths, messages);
        const UtcMs now = c.clock.now().toMSecsSinceEpoch();
        if (list) {
            // Listing changes nothing: an archive without a catalog has no holds.
            if (!QFileInfo::exists(QDir(folder).filePath(QLatin1String(Catalog::kFileName)))) {
                std::fprintf(c.out, "No holds.\n");
                return ExitCode::Ok;
            }
            const std::unique_ptr<Catalog> catalog = Catalog::open(folder, Catalog::Mode::ReadOnly, &messages);
            const std::vector<Hold> holds = catalog->holds(parser.isSet(all));
            if (holds.empty())
                std::fprintf(c.out, "No holds.\n");
            for (const Hold& h : holds)
                std::fprintf(c.out, "%lld  %s to %s  by %s on %s%s  %s\n", static_cast<long long>(h.id),
                    qPrintable(clockTimeText(h.fromUtc).left(19)), qPrintable(clockTimeText(h.toUtc).left(19)),
                    qPrintable(h.user), qPrintable(clockTimeText(h.createdUtc).left(19)),
                    h.releasedUtc ? qPrintable(QStringLiteral(", released ") + clockTimeText(*h.releasedUtc).left(19))
                                  : "",
                    qPrintable(h.reason));
            return ExitCode::Ok;
        }
        // A hold may come before the first log: the archive folder and its catalog are made now.
        if (!QDir().mkpath(folder))
            throw Error(ErrorNumber::PathFileAccess,
                QStringLiteral("The archive folder %1 could not be made.").arg(QDir::toNativeSeparators(folder)));
        const std::unique_ptr<Catalog> catalog = Catalog::open(folder, Catalog::Mode::ReadWrite, &messages);
        if (add) {
            const std::int64_t number
                = catalog->addHold(fromUtc, toUtc, parser.value(reason).trimmed(), userName(), now);
            std::fprintf(c.out, "Hold %lld: %s to %s\n", static_cast<long long>(number),
                qPrintable(clockTimeText(fromUtc)), qPrintable(clockTimeText(toUtc)));
            return ExitCode::Ok;
        }
        if (!catalog->releaseHold(id, now)) {
            messages.ShowMessage(QStringLiteral("There is no hold %1 to release.").arg(id));
            return ExitCode::Failure;
        }
        std::fprintf(c.out, "Hold %lld released.\n", static_cast<long long>(id));
        return ExitCode::Ok;
    } catch (const Error& e) {
        messages.ShowMessage(e.text());
        return ExitCode::Failure;
    }
}

} // namespace wendmoor
