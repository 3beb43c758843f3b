#pragma once
// Tauschwerk's replacement rules: the file plugins/macro.dat and the
// rewriting of outgoing text. No Qt and no shared state here.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tauschwerk {

struct Rule {
    std::string word;  // compared byte for byte: case matters
    std::string replacement;
    bool operator==(const Rule&) const = default;
};

// File order; the first rule with a word wins.
using RuleList = std::vector<Rule>;

inline constexpr const char* kRuleFile = "plugins/macro.dat";
inline constexpr char kSeparator = '\x0b';

// The content of macro.dat: word, byte 11, replacement, byte 11, word ...
// Only the first line counts (up to CR, LF or NUL); reading stops at the
// first empty word; a word without a replacement gets an empty one.
RuleList parseRules(std::string_view content);
// The content to write, without a line end; empty for no rules. Bytes that
// would break the file's structure (0, LF, byte 11, CR) are left out, and a
// rule whose word is left empty is dropped: it would end the list early
// when the file is read again.
std::string formatRules(const RuleList& rules);

// No file, or one that cannot be read: no rules.
RuleList loadRuleFile(const std::string& path);
// Writes a temporary file next to path and renames it over the old one, so
// a crash during the write keeps the old rules. False when that fails.
bool saveRuleFile(const std::string& path, const RuleList& rules);

// Every whole word of text that equals the word of a rule becomes that
// rule's replacement, followed by "[c=" and the user's text colour (RRGGBB)
// unless the result so far begins with "/cmd". The lexer must be set up.
std::string rewrite(const RuleList& rules, const std::string& text, int32_t textColour);

}  // namespace tauschwerk
