// How many chat and direct lines one session may send: a token bucket (a
// burst at once, then a steady rate) and a count of the lines it dropped,
// which tells a session that keeps flooding from one that typed fast once.
// A few integers per session and no allocation, since every chat line of
// every user passes here.
#pragma once

#include <algorithm>
#include <cstdint>

namespace quarnd {

struct LineRateLimits {
    unsigned burst = 20;
    unsigned perSecond = 5;  // 0: no limit
    // Dropped lines within `floodWindowMs` that end the session; 0: never.
    unsigned floodDrops = 50;
    std::int64_t floodWindowMs = 10'000;
};

class LineRate {
  public:
    enum class Verdict {
        Pass,
        DropAndTell,  // the first line dropped since one passed: tell the sender
        Drop,
        Flood,  // too many dropped within the window: end the session
    };

    Verdict take(const LineRateLimits& limits, std::int64_t nowMs) {
        if (limits.perSecond == 0) return Verdict::Pass;
        // Thousandths of a line: a rate of N a second refills N of them a
        // millisecond, so integers carry any rate exactly.
        const std::int64_t full = std::int64_t{limits.burst} * 1000;
        if (!started_) {
            started_ = true;
            milliLines_ = full;
        } else if (nowMs > lastMs_) {
            milliLines_ = std::min(full, milliLines_ + (nowMs - lastMs_) * limits.perSecond);
        }
        lastMs_ = std::max(lastMs_, nowMs);
        if (milliLines_ >= 1000) {
            milliLines_ -= 1000;
            told_ = false;
            return Verdict::Pass;
        }
        if (drops_ == 0 || nowMs - windowStartMs_ >= limits.floodWindowMs) {
            windowStartMs_ = nowMs;
            drops_ = 0;
        }
        ++drops_;
        if (limits.floodDrops != 0 && drops_ >= limits.floodDrops) return Verdict::Flood;
        if (told_) return Verdict::Drop;
        told_ = true;
        return Verdict::DropAndTell;
    }

  private:
    std::int64_t milliLines_ = 0;
    std::int64_t lastMs_ = 0;
    std::int64_t windowStartMs_ = 0;
    unsigned drops_ = 0;
    bool started_ = false;
    bool told_ = false;
};

}  // namespace quarnd
