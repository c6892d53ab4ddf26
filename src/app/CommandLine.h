#pragma once

#include <optional>

namespace wendmoor {

// Answers --help and --version on standard output before any window or device is opened, so
// that both work without a display. Returns the exit code when the program should end there,
// nothing when it should run. Qt's own options (-platform, -style …) are left to Qt.
[[nodiscard]] std::optional<int> answerCommandLine(int argc, char** argv);

// Runs a command of the program's command line ("export", "hold") when the first word names one,
// without a window, a sound device or the instance lock, and returns its exit code; nothing when
// the first word names none.
[[nodiscard]] std::optional<int> runSubcommand(int argc, char** argv);

} // namespace wendmoor
