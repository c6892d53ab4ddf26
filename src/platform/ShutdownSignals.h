#pragma once

#include <functional>

class QObject;

namespace wendmoor {

// SIGTERM (a shutdown), SIGINT and SIGHUP (the terminal the program was started from closed)
// call `onSignal` on the thread of `context`, from its event loop, so that the program can end
// the way Exit does and finish the log. The handler itself only writes a byte to a socket.
// Installed once per process.
void onShutdownSignals(QObject* context, std::function<void()> onSignal);

} // namespace wendmoor
