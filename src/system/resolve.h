#pragma once
// Looking a host's name up without blocking the caller's thread for as long
// as a name server takes.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kavel::platform {

// How long a name server may take to answer (the status text says "10 Sekunden").
inline constexpr int kResolveTimeoutMs = 10000;

// One address a name stands for, as socket() and connect() want it.
struct SocketAddress {
    int family = 0;
    int type = 0;
    int protocol = 0;
    std::string bytes;  // the sockaddr
};
struct ResolvedHost {
    enum Outcome { Found, NotFound, TimedOut } outcome = NotFound;
    std::vector<SocketAddress> addresses;  // in the name server's order
};
// How a thread spends the time another thread works for it: wait(ms)
// returns after at most ms, earlier once wake() was called from the other
// thread. The GUI thread waits in its event loop this way; without hooks
// the caller just blocks.
struct WaitHooks {
    std::function<void(uint32_t ms)> wait;
    std::function<void()> wake;
};
// Looks host up on a thread of its own (a name server may take minutes),
// the caller waiting through hooks meanwhile; gives up after timeoutMs of
// the program's clock and leaves the thread to end unheard. A numeric
// address is taken as it is, at once.
ResolvedHost resolveHost(const std::string& host, int port, int timeoutMs = kResolveTimeoutMs,
                         const WaitHooks& hooks = {});

}  // namespace kavel::platform
