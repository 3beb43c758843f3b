#pragma once
// Tab in a room's input line: the word before the caret completed from the
// room's user list. Names of users who spoke last come first, the rest
// follow alphabetically; Tab again walks on through the other names, Shift+Tab
// back. A name completed at the start of the line is followed by ": ".

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

struct LineEdit {
    std::string text;
    std::size_t caret = 0;
    bool operator==(const LineEdit&) const = default;
};

// The speaker of a chat line as the server sends it: "nick: text" or, for
// an action, "* nick text". None for the server's own notices.
std::optional<std::string> speakerOf(std::string_view chatText);

// Who spoke last, newest first; each name once.
class RecentSpeakers {
  public:
    void spoke(const std::string& name);
    const std::vector<std::string>& names() const { return names_; }

  private:
    std::vector<std::string> names_;
};

// The names that complete prefix (letter case ignored), in the order Tab
// offers them: recent speakers first, newest first, then alphabetically.
std::vector<std::string> completionCandidates(std::string_view prefix,
                                              const std::vector<std::string>& users,
                                              const std::vector<std::string>& recent);

class NameCompleter {
  public:
    // One press of Tab (backwards for Shift+Tab). None when nothing
    // completes: the line stays as it is. A press on the line as the last
    // press left it walks on through the same names.
    std::optional<LineEdit> press(const LineEdit& line, const std::vector<std::string>& users,
                                  const std::vector<std::string>& recent, bool backwards);

  private:
    LineEdit left_;  // the line as the last completion left it
    std::string before_, after_;
    std::vector<std::string> candidates_;
    std::size_t index_ = 0;
};

}  // namespace kavel
