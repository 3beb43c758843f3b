#include "platform/clock.h"

#include <time.h>

#include "common/reset.h"

namespace kavel::platform {

namespace {
std::function<uint32_t()> tickSource;
std::function<void(uint32_t)> sleeper;
const bool registered = registerReset([] {
    tickSource = nullptr;
    sleeper = nullptr;
});
}  // namespace

uint32_t tickCount() {
    if (tickSource) return tickSource();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void sleepMs(uint32_t ms) {
    if (sleeper) {
        sleeper(ms);
        return;
    }
    timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

void setTickSource(std::function<uint32_t()> source) {
    tickSource = std::move(source);
}

void setSleeper(std::function<void(uint32_t)> s) {
    sleeper = std::move(s);
}

}  // namespace kavel::platform
