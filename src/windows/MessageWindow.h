#pragma once

#include "platform/MessageSink.h"
#include "windows/frmError.h"

#include <QPointer>

namespace wendmoor {

// ShowMessage: the one message window, created on first use, brought forward and given the new
// text on every later use, gone when the operator presses OK. Never blocks the caller.
class MessageWindow final : public MessageSink {
public:
    MessageWindow() = default;
    ~MessageWindow() override;
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    using MessageSink::ShowMessage;
    void ShowMessage(const QString& text) override;

    // The window while it exists, for tests.
    [[nodiscard]] frmError* window() const { return m_window.data(); }

private:
    QPointer<frmError> m_window;
};

} // namespace wendmoor
