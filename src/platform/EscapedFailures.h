#pragma once

#include <exception>

namespace wendmoor {

class MessageSink;

// Reports a failure that escaped every handler: on stderr, and in the message window when one
// is given, with a number (ErrorNumber::Unexpected for anything that is not an Error).
void reportEscapedFailure(std::exception_ptr failure, MessageSink* messages);

// Delivers one event. A failure that escapes the delivery is reported and false returned, instead
// of reaching Qt's event loop, which would end the program with std::terminate (SIGABRT): an
// unattended recorder says what went wrong and goes on recording.
template <typename Deliver> bool deliverReportingFailures(Deliver&& deliver, MessageSink* messages)
{
    try {
        return deliver();
    } catch (...) {
        reportEscapedFailure(std::current_exception(), messages);
        return false;
    }
}

} // namespace wendmoor
