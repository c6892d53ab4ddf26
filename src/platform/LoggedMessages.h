#pragma once

#include "platform/EventLog.h"
#include "platform/MessageSink.h"

namespace wendmoor {

// The message window as the rest of the program sees it: every text it shows is also written to
// the event log, so that a message replaced overnight by the next one is not lost. The log is
// written first: should it fail, its own report goes to the window before the message, which
// stays in view.
class LoggedMessages final : public MessageSink {
public:
    LoggedMessages(MessageSink& window, EventLog& log)
        : m_window(window)
        , m_log(log)
    {
    }

    using MessageSink::ShowMessage;
    void ShowMessage(const QString& text) override
    {
        m_log.write(EventLog::Kind::Message, text);
        m_window.ShowMessage(text);
    }

private:
    MessageSink& m_window;
    EventLog& m_log;
};

} // namespace wendmoor
