#pragma once

// Marks a hand-over between threads that goes through Qt's own queue (a queued call or signal, a
// QThread's start and finish) for ThreadSanitizer. Qt is not built for it, so it cannot see that
// what one thread wrote before posting is read by the other only after the post arrives, and
// reports the reading as a race. The sender calls handOver(token) after writing and before
// posting; the receiver calls takeOver(token) where the post arrives, before reading. The token
// is any address both sides know (the object handed over). Without ThreadSanitizer both do
// nothing.

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace wendmoor {

inline void handOver([[maybe_unused]] const void* token)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(token));
#endif
}

inline void takeOver([[maybe_unused]] const void* token)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(token));
#endif
}

} // namespace wendmoor
