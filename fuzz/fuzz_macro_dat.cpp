// plugins/macro.dat is a file the user may edit by hand. Reading it never
// crashes, every rule read has a word and no byte that would break the
// file, what Tauschwerk writes back reads as the same rules, and rewriting
// text with any rules stays within the text and the replacements.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/LEXER.h"
#include "rules.h"

namespace {

#define RULES_CHECK(cond)                                                                        \
    do {                                                                                         \
        if (!(cond)) {                                                                           \
            std::fprintf(stderr, "macro.dat invariant broken: %s (line %d)\n", #cond, __LINE__); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

bool clean(const std::string& s) {
    return s.find_first_of(std::string("\0\n\x0b\r", 4)) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kavel::InitLexTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const tauschwerk::RuleList rules = tauschwerk::parseRules(input);
    for (const tauschwerk::Rule& rule : rules) {
        RULES_CHECK(!rule.word.empty());
        RULES_CHECK(clean(rule.word) && clean(rule.replacement));
    }
    RULES_CHECK(tauschwerk::parseRules(tauschwerk::formatRules(rules)) == rules);

    const std::string out = tauschwerk::rewrite(rules, input, 0x123456);
    if (rules.empty()) RULES_CHECK(out == input);
    std::size_t longest = 0;
    for (const tauschwerk::Rule& rule : rules)
        longest = std::max(longest, rule.replacement.size());
    RULES_CHECK(out.size() <= input.size() * (longest + 9) + input.size());
    return 0;
}
