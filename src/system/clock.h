#pragma once
// Time for the main loop: a monotonic 32-bit millisecond tick (it wraps
// after 49 days; compare ticks by signed difference) and sleeping. Both are
// services (services.h), so that tests drive a 30 s keep-alive without
// waiting.

#include <cstdint>

namespace kavel::platform {

uint32_t tickCount();
void sleepMs(uint32_t ms);
// True while a test drives the clock or the sleeping: time then passes only
// when the test says so, and a loop must poll it instead of waiting on the
// system's timers.
bool simulatedTime();

// Milliseconds from earlier to later, correct across the wrap.
inline int32_t ticksSince(uint32_t earlier, uint32_t later) {
    return static_cast<int32_t>(later - earlier);
}

}  // namespace kavel::platform
