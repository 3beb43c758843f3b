// Replays a fuzz target without libFuzzer: every file of the corpus folders
// given on the command line, then a fixed number of inputs from a seeded
// generator that mixes random bytes with protocol-looking fragments.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

void runOne(const std::string& bytes) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string generated(std::mt19937& rng) {
    static const char* const pieces[] = {
        "\r",
        "\x0b",
        "\x0b"
        "C",
        "\x0b"
        "B",
        "\x0b"
        "I",
        "\x0b"
        "me",
        " ",
        ":)",
        ";)",
        ".D",
        "http://",
        "www.",
        "CHAT ",
        "USERLIST ",
        "DIRECT ",
        "ROOMLIST ",
        "[11]- ",
        "USER_NAME ",
        "=",
        "[General]\r\n",
        "\n",
        "LOCATION: ",
        "%",
        "FF00AA",
        "\xe4\xf6\xfc",
        "\0",
    };
    std::string s;
    std::uniform_int_distribution<int> count(0, 40), pick(0, std::size(pieces) - 1), byte(0, 255),
        coin(0, 3);
    for (int n = count(rng); n > 0; --n) {
        if (coin(rng) == 0) {
            s.push_back(static_cast<char>(byte(rng)));
        } else {
            const char* p = pieces[pick(rng)];
            s.append(p, *p ? std::char_traits<char>::length(p) : 1);
        }
    }
    return s;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

long residentKb() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The corpus, then a batch of generated inputs (the same batch every time).
std::size_t replay(int argc, char** argv, int rounds) {
    std::size_t files = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path dir(argv[i]);
        if (!std::filesystem::is_directory(dir)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::ifstream in(entry.path(), std::ios::binary);
            runOne(std::string(std::istreambuf_iterator<char>(in), {}));
            ++files;
        }
    }
    std::mt19937 rng(1998);
    for (int i = 0; i < rounds; ++i)
        runOne(generated(rng));
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    // KAVEL_REPLAY_ROUNDS runs more generated inputs.
    const char* asked = std::getenv("KAVEL_REPLAY_ROUNDS");
    const int rounds = asked ? std::atoi(asked) : 3000;
    const std::size_t files = replay(argc, argv, rounds);
    std::printf("replayed %zu corpus files and %d generated inputs\n", files, rounds);
    // The same inputs once more must not make the process grow: whatever an
    // input leaves behind would pile up over a long fuzzing run. (Under the
    // sanitizer its quarantine of freed memory grows by design, so the check
    // runs in the plain build.)
    if (kSanitized) return 0;
    const long before = residentKb();
    replay(argc, argv, rounds);
    const long grown = residentKb() - before;
    std::printf("resident memory: %ld kB after the first pass, %+ld kB after the second\n", before,
                grown);
    constexpr long kAllowedKb = 8 * 1024;
    if (grown > kAllowedKb) {
        std::printf("FAIL: the second pass grew the process by more than %ld kB\n", kAllowedKb);
        return 1;
    }
    return 0;
}
