#pragma once
// Which parts of a typed line are words to spell check: letter runs, but
// never a link, a smiley code, an input marker ("[b", "b]", "[c=FF0000", a
// leading "/me"), a raw "/cmd" line, or the name of a user of the room.

#include <functional>
#include <string_view>
#include <vector>

#include "desktop/spell.h"

namespace kavel {

using IsUserName = std::function<bool(std::string_view)>;

std::vector<platform::WordSpan> wordsToCheck(std::string_view line, const IsUserName& isName);

}  // namespace kavel
