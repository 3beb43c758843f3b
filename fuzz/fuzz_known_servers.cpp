// known_servers.txt holds the certificates the user accepted; it is a text
// file in the working folder that anyone may edit. Reading it never
// crashes, a fingerprint once remembered is found again under any case of
// its host, and remembering the same one twice leaves the file as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/NET_Methods_Tls.h"
#include "system/files.h"

namespace {

#define KNOWN_CHECK(cond)                                                                 \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "known servers invariant broken: %s (line %d)\n", #cond, \
                         __LINE__);                                                       \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)

// The file lives in the working folder: a folder of the fuzzer's own for
// each input, and back again after it, since the fuzzer reads and writes
// its corpus by relative paths.
std::string ownFolder;
std::string startFolder;

class InOwnFolder {
  public:
    InOwnFolder() {
        if (chdir(ownFolder.c_str()) != 0) std::abort();
    }
    ~InOwnFolder() {
        if (chdir(startFolder.c_str()) != 0) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/fuzz-known-servers-XXXXXX";
    char* start = getcwd(nullptr, 0);
    if (!mkdtemp(folder) || !start) std::abort();
    ownFolder = folder;
    startFolder = start;
    std::free(start);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const InOwnFolder here;
    const std::string input(reinterpret_cast<const char*>(data), size);
    KNOWN_CHECK(kavel::platform::writeFileAtomically(kavel::kKnownServersFile, input));
    (void)kavel::knownFingerprint("chat.example", 1999);
    const std::string fingerprint = "AB:CD:EF";
    KNOWN_CHECK(kavel::rememberFingerprint("Chat.Example", 1999, fingerprint));
    KNOWN_CHECK(kavel::knownFingerprint("chat.example", 1999) == fingerprint);
    const auto once = kavel::platform::readWholeFile(kavel::kKnownServersFile);
    KNOWN_CHECK(kavel::rememberFingerprint("Chat.Example", 1999, fingerprint));
    KNOWN_CHECK(kavel::platform::readWholeFile(kavel::kKnownServersFile) == once);
    return 0;
}
