#include "ui/spelling_words.h"

#include "common/cp1252.h"
#include "ui/smilies.h"

namespace kavel {

namespace {

bool isLetter(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    // Windows-1252: the accented capitals and small letters, ß, and the
    // few letters among 0x80-0x9F.
    if (c >= 0xC0 && c != 0xD7 && c != 0xF7) return true;
    return c == 0x8A || c == 0x8C || c == 0x8E || c == 0x9A || c == 0x9C || c == 0x9E || c == 0x9F;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHex(char c) {
    return isDigit(c) || (cp1252::lower(c) >= 'a' && cp1252::lower(c) <= 'f');
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool startsIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           cp1252::lowerCase(text.substr(0, prefix.size())) == prefix;
}

bool isLink(std::string_view chunk) {
    if (chunk.find("://") != std::string_view::npos) return true;
    std::size_t n = 0;
    while (n < chunk.size() && isLetter(chunk[n]))
        ++n;
    const std::string first = cp1252::lowerCase(chunk.substr(0, n));
    // The same words start a link in the chat view.
    return n < chunk.size() &&
           (first == "http" || first == "https" || first == "www" || first == "ftp");
}

// The chunk without what stands around a name: "@anna", "anna:", "anna,".
std::string_view nameCore(std::string_view chunk) {
    if (!chunk.empty() && chunk.front() == '@') chunk.remove_prefix(1);
    while (!chunk.empty() &&
           std::string_view(":,.!?;").find(chunk.back()) != std::string_view::npos)
        chunk.remove_suffix(1);
    return chunk;
}

// The input markers of the send path, blanked so their letters are no words.
void blankMarkers(std::string& chunk) {
    for (std::size_t i = 0; i + 1 < chunk.size(); ++i) {
        const char a = chunk[i], b = cp1252::lower(chunk[i + 1]);
        if (a == '[' && (b == 'b' || b == 'i')) {
            chunk[i] = chunk[i + 1] = ' ';
        } else if ((cp1252::lower(a) == 'b' || cp1252::lower(a) == 'i') && chunk[i + 1] == ']' &&
                   (i == 0 || !isLetter(chunk[i - 1]) || i + 2 == chunk.size())) {
            chunk[i] = chunk[i + 1] = ' ';
        } else if (a == '[' && b == 'c' && i + 2 < chunk.size() && chunk[i + 2] == '=') {
            std::size_t end = i + 3;
            while (end < chunk.size() && end < i + 9 && isHex(chunk[end]))
                ++end;
            for (std::size_t k = i; k < end; ++k)
                chunk[k] = ' ';
        }
    }
}

}  // namespace

std::vector<platform::WordSpan> wordsToCheck(std::string_view line, const IsUserName& isName) {
    std::vector<platform::WordSpan> out;
    if (startsIgnoringCase(line, "/cmd")) return out;
    std::size_t i = startsIgnoringCase(line, "/me ") ? 4 : 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        const std::string_view chunk = line.substr(start, i - start);
        if (chunk.empty() || isLink(chunk) || (isName && isName(nameCore(chunk)))) continue;
        std::string plain(chunk);
        blankMarkers(plain);
        for (std::size_t k = 0; k < plain.size();) {
            if (!isLetter(plain[k])) {
                ++k;
                continue;
            }
            std::size_t end = k;
            // Hyphens and apostrophes inside a word belong to it ("E-Mail").
            while (end < plain.size() &&
                   (isLetter(plain[end]) || ((plain[end] == '-' || plain[end] == '\'') &&
                                             end + 1 < plain.size() && isLetter(plain[end + 1]))))
                ++end;
            const bool nextToDigit =
                (k > 0 && isDigit(plain[k - 1])) || (end < plain.size() && isDigit(plain[end]));
            // ":D", ";P", ".D": a letter that only finishes a smiley code.
            const bool smiley = end == k + 1 && k > 0 && smileyFor(plain.substr(k - 1, 2));
            if (!nextToDigit && !smiley)
                out.push_back({static_cast<uint32_t>(start + k), static_cast<uint32_t>(end - k)});
            k = end;
        }
    }
    return out;
}

}  // namespace kavel
