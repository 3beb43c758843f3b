#pragma once
// Spell checking of typed text: Hunspell with the system's German
// dictionary, plus the user's own word list in the working folder. Words go
// in and out as Windows-1252; the dictionary's own encoding stays in here.
// The dictionary is loaded the first time a word is checked, so a start
// without a room never pays for it.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kavel::platform {

inline constexpr const char* kPersonalWordsFile = "personal.dic";

// Where the dictionary is looked for when the services record names no
// other folder.
inline constexpr const char* kDictionaryFolder = "/usr/share/hunspell";

// The program-wide switch (prefs.ini). Turning it off clears every mark.
void setSpellingWanted(bool wanted);
bool spellingWanted();
// Whether the dictionary can be used; when not, why (German, for the
// options window).
bool spellingAvailable();
std::string spellingUnavailableReason();

// The answers for one word. Known words and unknown ones are remembered, so
// a word is asked of Hunspell once however often it is typed.
bool wordKnown(std::string_view word);
std::vector<std::string> spellingSuggestions(std::string_view word);
// Adds to the personal list (written at once) and unmarks it everywhere.
bool addToPersonalWords(std::string_view word);

// A word of an input line to check: its first byte and its length.
struct WordSpan {
    uint32_t start = 0;
    uint32_t length = 0;
    bool operator==(const WordSpan&) const = default;
};
using WordFinder = std::function<std::vector<WordSpan>(std::string_view line)>;

}  // namespace kavel::platform

namespace kavel::platform {

// An input line (inputLine of gadgets.h) checks the words that finder
// picks out of its text, whenever its text or its caret moves; the word
// being typed at the caret waits until the caret leaves it. An empty finder
// stops the checking.
void checkSpelling(int control, WordFinder finder);
// The words marked as misspelt right now, in the line's order.
std::vector<WordSpan> misspeltWords(int control);

}  // namespace kavel::platform
