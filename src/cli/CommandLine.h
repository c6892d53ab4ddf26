#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>
#include <span>

namespace wendmoor {

class TimeSource;
struct AppPaths;

// What a subcommand is handed: its own words (after its name), where to print, the clock and the
// program's own files. A subcommand opens no window, takes no instance lock and runs under a
// QCoreApplication.
struct CommandContext {
    QStringList arguments;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    const TimeSource& clock;
    const AppPaths& paths;
};

// One row of the command line's table: `wendmoor <name> …`.
struct Subcommand {
    const char* name;
    const char* usage; // the words after the name, e.g. "[YYYY-MM-DD] [--json] [--archive DIR]"
    const char* summary; // one line for --help
    int (*run)(const CommandContext& context);
};

// Exit codes of every subcommand.
namespace ExitCode {
inline constexpr int Ok = 0;
inline constexpr int Failure = 1; // it could not be done: the message says why
inline constexpr int Usage = 2; // words it does not know
} // namespace ExitCode

// The program's subcommands, in the order --help lists them.
[[nodiscard]] std::span<const Subcommand> subcommands();

// Answers --help and --version on standard output, and runs a subcommand, before any window or
// device is opened. Returns the exit code when the program should end there, nothing when it
// should record (no words, or only options for Qt such as -platform). A first word that is no
// subcommand prints the usage on standard error and returns ExitCode::Usage.
[[nodiscard]] std::optional<int> answerCommandLine(int argc, char** argv);
// The same with the clock and the paths given (tests).
[[nodiscard]] std::optional<int> answerCommandLine(
    const QStringList& arguments, const TimeSource& clock, const AppPaths& paths, std::FILE* out, std::FILE* err);

// The archive folder a subcommand works on: --archive DIR when given (taken from and removed
// from `arguments`), else the one the settings file names. Throws Error when neither gives a
// folder that exists.
[[nodiscard]] QString archiveFolderFor(QStringList& arguments, const AppPaths& paths);

// The usage line of one subcommand: "wendmoor report [YYYY-MM-DD] [--json] [--archive DIR]".
[[nodiscard]] QString usageOf(const Subcommand& command);

// The subcommands' functions, one per row.
int runReport(const CommandContext& context);
// `export --from TIME --to TIME --output FILE [--force]`: a passage by clock time with its manifest;
// nothing is left behind after a failure and nothing in the archive changes.
int runExport(const CommandContext& context);
// `hold add --from TIME --to TIME --reason TEXT | hold list [--all] | hold release ID`.
int runHold(const CommandContext& context);
int runServe(const CommandContext& context);

} // namespace wendmoor
