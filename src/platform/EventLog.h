#pragma once

#include <QString>

namespace wendmoor {

// The record of what the program did, kept for the engineer who looks at the machine the next
// morning: the message window's texts and the recorder's events, each with its date and time.
class EventLog {
public:
    enum class Kind {
        Event, // recorded only: start, end, roll-over, purge, pause, resume
        Message, // also shown to the operator in the message window
    };

    virtual ~EventLog() = default;
    // Never throws and never blocks for long: a log that cannot be written must not stop the
    // recorder. Runs on the UI thread.
    virtual void write(Kind kind, const QString& text) = 0;

    // An event that is recorded but not shown.
    void note(const QString& text) { write(Kind::Event, text); }
};

} // namespace wendmoor
