// The paste upload's reply parser over arbitrary bytes. The upload parses
// the reply again after every segment, so a longer reply must never take
// back what a shorter one found; and the link must be one clean line.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/NET_Methods_Http.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const kavel::HttpReplyHead whole = kavel::parseHttpReply(bytes);
    for (char c : whole.location)
        if (c == '\r' || c == '\n') std::abort();
    if (!whole.location.empty() &&
        (whole.location.front() == ' ' || whole.location.front() == '\t' ||
         whole.location.back() == ' ' || whole.location.back() == '\t'))
        std::abort();

    const std::size_t cut = size ? data[0] % (size + 1) : 0;
    const kavel::HttpReplyHead part = kavel::parseHttpReply(bytes.substr(0, cut));
    if (part.complete && (!whole.complete || part.location != whole.location)) std::abort();
    if (!part.location.empty() && part.location != whole.location) std::abort();
    return 0;
}
