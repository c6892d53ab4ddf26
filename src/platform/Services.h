#pragma once

#include "platform/AppPaths.h"

namespace wendmoor {

class TimeSource;
class Volumes;
class AudioSystem;
class PortInput;
class Prompt;
class SystemInfo;
class MessageSink;
class EventLog;
class ClockSync;

// The operating-system services every window works through. Built once in main() from the real
// implementations, in tests from fakes; passed by reference, never global.
struct Services {
    TimeSource& clock;
    Volumes& volumes;
    AudioSystem& audio;
    PortInput& ports;
    Prompt& prompt;
    SystemInfo& systemInfo;
    MessageSink& messages;
    AppPaths paths;
    EventLog& events; // what happened, with its time; the messages shown are logged by `messages`
    ClockSync& clockSync; // whether the system clock is kept synchronised
};

} // namespace wendmoor
