#pragma once
// The text rules of a room's input line: markers to markup codes, the
// absence name and the private room's name.

#include <optional>
#include <string>
#include <string_view>

namespace kavel {

// "[b"/"b]" and "[i"/"i]" to VT "B"/VT "I", "[c=" to VT "c", a leading
// "/me " to VT "me"; letter case ignored, one rule after the other over the
// whole line.
std::string convertInput(std::string_view line);

// The typed reason up to its first space, cut so that "[" nick ">" reason
// "]" stays within 25 characters.
std::string absenceReason(std::string_view answer, std::string_view nick);

// "[name>reason]" gives name; none when the nick is no absence name.
std::optional<std::string> nameWithoutAbsence(std::string_view nick);

// The template's first "$$" becomes the own nick, then every "$" the other
// user: "Privatchat:$_$$" gives "Privatchat:" + other + "_" + nick.
std::string privateRoomName(std::string_view templ, std::string_view other, std::string_view nick);

}  // namespace kavel
