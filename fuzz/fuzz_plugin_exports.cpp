// The plug-in host reads the export table of every file in plugins/ that it
// could open. Whatever the file holds, reading never crashes and yields
// only names, each of which the entry-point patterns can classify.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "objects/CLASS_Agents.h"
#include "system/library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view image(reinterpret_cast<const char*>(data), size);
    for (const std::string& name : kavel::platform::exportedFunctionsInImage(image)) {
        if (name.empty()) {
            std::fprintf(stderr, "export reader returned an empty name\n");
            std::abort();
        }
        const int kind = kavel::entryKind(name);
        if (kind < -1 || kind > 4) std::abort();
    }
    return 0;
}
