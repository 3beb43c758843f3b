// Profile files come from disk and may be anything. Decoding never crashes,
// Base64 round-trips every byte string, and a decoded profile whose texts
// hold no separators is written back to a file that decodes to itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/profile.h"

namespace {

#define PROFILE_CHECK(cond)                                                                    \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "profile invariant broken: %s (line %d)\n", #cond, __LINE__); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

bool plainField(const std::string& s) {
    return s.find(' ') == std::string::npos && s.find('\0') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    const std::string coded = kavel::base64Encode(input);
    PROFILE_CHECK(coded.size() % 4 == 0);
    const auto back = kavel::base64Decode(coded);
    PROFILE_CHECK(back && *back == input);

    const auto profile = kavel::decodeProfile(input);
    if (profile && plainField(profile->name) && plainField(profile->password) &&
        profile->infoFields.find('\0') == std::string::npos &&
        (profile->infoFields.empty() || profile->infoFields.back() != ' ')) {
        const auto again = kavel::decodeProfile(kavel::encodeProfile(*profile));
        PROFILE_CHECK(again);
        PROFILE_CHECK(again->name == profile->name);
        PROFILE_CHECK(again->password == profile->password);
        PROFILE_CHECK(again->nameColour == profile->nameColour);
        PROFILE_CHECK(again->backgroundColour == profile->backgroundColour);
        PROFILE_CHECK(again->options == profile->options);
        PROFILE_CHECK(again->infoFields == profile->infoFields);
    }
    // The decoder sees the input as a file's raw text too.
    (void)kavel::decodeProfile(coded);
    return 0;
}
