#pragma once

#include <QStringList>

namespace wendmoor {

// `wendmoor export --from TIME --to TIME --output FILE [--force] [--archive DIR]`: a passage of the
// archive by clock time, with its manifest beside it. `arguments` follow the word "export".
// Returns 0 when the clip is written, 2 for words it does not know, 1 when it cannot export (said
// on standard error; nothing is left behind and nothing in the archive changes).
[[nodiscard]] int runExportCommand(const QStringList& arguments);

// `wendmoor hold add --from TIME --to TIME --reason TEXT | hold list [--all] | hold release ID`,
// each with [--archive DIR]: the holds that keep logs from the purge. Exit codes as for export.
[[nodiscard]] int runHoldCommand(const QStringList& arguments);

} // namespace wendmoor
