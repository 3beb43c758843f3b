#include "system/services.h"

#include <ctime>

#include "common/reset.h"

namespace kavel::platform {

namespace {

Services current;
const bool registered = registerReset([] { current = Services{}; });

}  // namespace

const Services& services() {
    return current;
}

void replaceServices(Services replacement) {
    current = std::move(replacement);
}

uint32_t localSeconds() {
    return current.seconds ? current.seconds() : static_cast<uint32_t>(std::time(nullptr));
}

uint32_t randomSeed() {
    return current.seed ? current.seed() : static_cast<uint32_t>(std::time(nullptr));
}

}  // namespace kavel::platform
