#pragma once

#include <QStringList>

namespace wendmoor {

// `wendmoor serve [--archive DIR] [--listen ADDRESS:PORT] [--password-file FILE]`: the archive's
// web pages, in a process of its own that opens no window and no sound device and takes no
// instance lock. `arguments` follow the word "serve". Returns the exit code: 0 after a shutdown
// signal, 2 for words it does not know, 1 when it cannot serve (said on standard error).
[[nodiscard]] int runServeCommand(const QStringList& arguments);

} // namespace wendmoor
