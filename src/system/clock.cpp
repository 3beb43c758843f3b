#include "system/clock.h"

#include <time.h>

#include "system/services.h"

namespace kavel::platform {

uint32_t tickCount() {
    if (services().ticks) return services().ticks();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void sleepMs(uint32_t ms) {
    if (services().sleep) {
        services().sleep(ms);
        return;
    }
    timespec wait{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

bool simulatedTime() {
    return services().ticks || services().sleep;
}

}  // namespace kavel::platform
