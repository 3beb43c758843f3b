#include "ui/chat_room_input.h"

#include "common/cp1252.h"

namespace kavel {

namespace {

bool sameIgnoringCase(std::string_view text, std::size_t at, std::string_view pattern) {
    if (at + pattern.size() > text.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i)
        if (cp1252::lower(text[at + i]) != cp1252::lower(pattern[i])) return false;
    return true;
}

std::string replaceIgnoringCase(std::string_view text, std::string_view pattern,
                                std::string_view replacement) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (sameIgnoringCase(text, i, pattern)) {
            out += replacement;
            i += pattern.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string replaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement, bool firstOnly = false) {
    std::string out(text);
    std::size_t at = 0;
    while ((at = out.find(pattern, at)) != std::string::npos) {
        out.replace(at, pattern.size(), replacement);
        at += replacement.size();
        if (firstOnly) break;
    }
    return out;
}

}  // namespace

std::string convertInput(std::string_view line) {
    // Applied one after the other over the whole line, so "[b]" becomes
    // VT VT "B": the "B]" left by the first rule matches the second.
    // Octal escapes: a hex escape would swallow the "B" and "c" after it.
    static constexpr std::string_view kMarkers[][2] = {
        {"[b", "\013B"}, {"b]", "\013B"}, {"[i", "\013I"}, {"i]", "\013I"}, {"[c=", "\013c"},
    };
    std::string out(line);
    for (const auto& [marker, code] : kMarkers)
        out = replaceIgnoringCase(out, marker, code);
    if (sameIgnoringCase(out, 0, "/me ")) out.replace(0, 4, "\013me");
    return out;
}

std::string absenceReason(std::string_view answer, std::string_view nick) {
    std::string_view word = answer.substr(0, answer.find(' '));
    const std::size_t room = nick.size() >= 22 ? 0 : 22 - nick.size();
    return std::string(word.substr(0, room));
}

std::optional<std::string> nameWithoutAbsence(std::string_view nick) {
    if (nick.size() < 2 || nick.front() != '[' || nick.back() != ']') return std::nullopt;
    const std::size_t gt = nick.find('>');
    const std::size_t end = gt == std::string_view::npos ? nick.size() - 1 : gt;
    return std::string(nick.substr(1, end - 1));
}

std::string privateRoomName(std::string_view templ, std::string_view other, std::string_view nick) {
    return replaceAll(replaceAll(templ, "$$", nick, true), "$", other);
}

}  // namespace kavel
