#include "platform/EscapedFailures.h"

#include "platform/Error.h"
#include "platform/MessageSink.h"

#include <cstdio>

namespace wendmoor {

void reportEscapedFailure(std::exception_ptr failure, MessageSink* messages)
{
    Error error(ErrorNumber::Unexpected, QStringLiteral("An unknown failure"));
    try {
        std::rethrow_exception(failure);
    } catch (const Error& e) {
        error = e;
    } catch (const std::exception& e) {
        error = Error(ErrorNumber::Unexpected, QString::fromLocal8Bit(e.what()));
    } catch (...) {
    }
    std::fprintf(stderr, "%s\n", qPrintable(error.text()));
    if (messages)
        messages->ShowMessage(error);
}

} // namespace wendmoor
