#pragma once
// A broken-down local time for tests of date masks and file names.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace kavel::test {

inline std::tm at(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

// The process's time zone is UTC while one lives, so that a fixed clock
// reads the same hours wherever the tests run.
class UtcZone {
  public:
    UtcZone() {
        if (const char* zone = std::getenv("TZ")) saved_ = zone;
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    ~UtcZone() {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    UtcZone(const UtcZone&) = delete;
    UtcZone& operator=(const UtcZone&) = delete;

  private:
    std::optional<std::string> saved_;
};

}  // namespace kavel::test
