#pragma once

#include "platform/Error.h"

#include <QString>

namespace wendmoor {

// Where failures reach the operator: the message window. Showing a message never blocks.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const QString& text) = 0;

    // The number in decimal, one blank and the description.
    void ShowMessage(const Error& error) { ShowMessage(error.text()); }
};

} // namespace wendmoor
