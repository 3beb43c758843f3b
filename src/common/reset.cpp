#include "common/reset.h"

#include <vector>

#include "common/ports.h"

namespace kavel {

namespace {

// Function-local, so registering from any static initialiser is safe.
std::vector<std::function<void()>>& resets() {
    static std::vector<std::function<void()>> list;
    return list;
}

}  // namespace

bool registerReset(std::function<void()> reset) {
    resets().push_back(std::move(reset));
    return true;
}

void resetAll() {
    for (const auto& reset : resets())
        reset();
}

Ports& ports() {
    static Ports table;
    return table;
}

}  // namespace kavel
