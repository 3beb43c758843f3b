#include "ui/windows/handlers.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace kavel {

namespace {

// Built on first use: registrations run during static initialisation, in
// no particular order.
std::map<int, WindowHandler>& handlers() {
    static std::map<int, WindowHandler> table;
    return table;
}

}  // namespace

bool registerWindow(int window, WindowHandler handler) {
    if (!handlers().emplace(window, handler).second) {
        std::fprintf(stderr, "kavel: window %d has two handlers\n", window);
        std::abort();
    }
    return true;
}

WindowHandler windowHandler(int window) {
    const auto found = handlers().find(window);
    return found == handlers().end() ? nullptr : found->second;
}

}  // namespace kavel
