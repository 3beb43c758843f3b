// Name lookup off the calling thread. getaddrinfo cannot be cancelled and
// has no limit of its own: a name server that does not answer holds its
// caller for as long as the resolver's retries last. So it runs on a
// detached thread of its own, and the caller stops listening when its
// limit is reached.
#include "system/resolve.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "system/clock.h"
#include "system/services.h"
#include "system/socket.h"

namespace kavel::platform {

namespace {

// How long the caller waits at a time before it looks at the clock again.
constexpr uint32_t kLookupStepMs = 100;

using Resolver = std::function<int(const char*, const char*, const addrinfo*, addrinfo**)>;

// What the lookup's thread and the caller share; whoever leaves last frees it.
struct Lookup {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    bool found = false;
    std::vector<SocketAddress> addresses;
};

addrinfo streamHints(int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    return hints;
}

std::vector<SocketAddress> copyAddresses(const addrinfo* list) {
    std::vector<SocketAddress> out;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (!ai->ai_addr || ai->ai_addrlen == 0) continue;
        out.push_back({ai->ai_family, ai->ai_socktype, ai->ai_protocol,
                       std::string(reinterpret_cast<const char*>(ai->ai_addr), ai->ai_addrlen)});
    }
    return out;
}

// getaddrinfo, or the services' replacement, as a list we own.
bool lookUp(const Resolver& resolver, const std::string& host, const std::string& service,
            int flags, std::vector<SocketAddress>& addresses) {
    const addrinfo hints = streamHints(flags);
    addrinfo* found = nullptr;
    const int error = resolver ? resolver(host.c_str(), service.c_str(), &hints, &found)
                               : getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (error != 0) return false;
    // Freed before anything can throw.
    std::vector<SocketAddress> copied;
    try {
        copied = copyAddresses(found);
    } catch (...) {
        freeaddrinfo(found);
        return false;
    }
    freeaddrinfo(found);
    addresses = std::move(copied);
    return !addresses.empty();
}

void runLookup(const std::shared_ptr<Lookup>& job, const Resolver& resolver,
               const std::string& host, const std::string& service,
               const std::function<void()>& wake) {
    std::vector<SocketAddress> addresses;
    bool found = false;
    try {
        found = lookUp(resolver, host, service, 0, addresses);
    } catch (...) {
        found = false;  // nothing may escape a thread
    }
    {
        std::lock_guard lock(job->m);
        job->done = true;
        job->found = found;
        job->addresses = std::move(addresses);
    }
    job->cv.notify_all();
    if (wake) wake();
}

void waitStep(std::unique_lock<std::mutex>& lock, Lookup& job, uint32_t ms,
              const WaitHooks& hooks) {
    if (hooks.wait) {
        lock.unlock();
        hooks.wait(ms);
        lock.lock();
    } else if (simulatedTime()) {
        lock.unlock();
        sleepMs(ms);
        lock.lock();
    } else {
        job.cv.wait_for(lock, std::chrono::milliseconds(ms));
    }
}

}  // namespace

ResolvedHost resolveHost(const std::string& host, int port, int timeoutMs, const WaitHooks& hooks) {
    ResolvedHost result;
    if (host.empty() || port <= 0 || port > 65535) return result;
    const std::string service = std::to_string(port);
    // An address written out needs no name server.
    if (lookUp({}, host, service, AI_NUMERICHOST, result.addresses)) {
        result.outcome = ResolvedHost::Found;
        return result;
    }

    auto job = std::make_shared<Lookup>();
    try {
        // Copies only: the thread may outlive this call, the caller's hooks
        // and even a test's services record.
        std::thread(runLookup, job, services().resolver, host, service, hooks.wake).detach();
    } catch (const std::system_error&) {
        return result;  // no thread to be had: as if the name were unknown
    }

    const uint32_t start = tickCount();
    std::unique_lock lock(job->m);
    while (!job->done) {
        const int32_t left = timeoutMs - ticksSince(start, tickCount());
        if (left <= 0) {
            result.outcome = ResolvedHost::TimedOut;
            return result;
        }
        waitStep(lock, *job, std::min(static_cast<uint32_t>(left), kLookupStepMs), hooks);
    }
    if (job->found) {
        result.outcome = ResolvedHost::Found;
        result.addresses = std::move(job->addresses);
    }
    return result;
}

}  // namespace kavel::platform
