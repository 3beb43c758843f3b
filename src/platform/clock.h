#pragma once
// Time for the main loop: a monotonic 32-bit millisecond tick (it wraps
// after 49 days; compare ticks by signed difference) and sleeping. Both can
// be replaced, so that tests drive a 30 s keep-alive without waiting.

#include <cstdint>
#include <functional>

namespace kavel::platform {

uint32_t tickCount();
void sleepMs(uint32_t ms);

// nullptr restores the real clock / the real sleep.
void setTickSource(std::function<uint32_t()> source);
void setSleeper(std::function<void(uint32_t)> sleeper);

// Milliseconds from earlier to later, correct across the wrap.
inline int32_t ticksSince(uint32_t earlier, uint32_t later) {
    return static_cast<int32_t>(later - earlier);
}

}  // namespace kavel::platform
