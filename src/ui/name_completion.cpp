#include "ui/name_completion.h"

#include <algorithm>

#include "common/cp1252.h"

namespace kavel {

namespace {

constexpr std::size_t kRemembered = 64;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (cp1252::lower(text[i]) != cp1252::lower(prefix[i])) return false;
    return true;
}

}  // namespace

std::optional<std::string> speakerOf(std::string_view chatText) {
    if (chatText.substr(0, 2) == "* ") {
        const std::string_view rest = chatText.substr(2);
        const std::string_view nick = rest.substr(0, rest.find(' '));
        if (!nick.empty()) return std::string(nick);
        return std::nullopt;
    }
    const std::size_t colon = chatText.find(": ");
    const std::size_t space = chatText.find(' ');
    // The name is the whole first word; "*** nick betritt den Raum" and
    // other notices have none.
    if (colon == std::string_view::npos || colon == 0 || space < colon) return std::nullopt;
    return std::string(chatText.substr(0, colon));
}

void RecentSpeakers::spoke(const std::string& name) {
    auto it = std::find(names_.begin(), names_.end(), name);
    if (it != names_.end()) names_.erase(it);
    names_.insert(names_.begin(), name);
    if (names_.size() > kRemembered) names_.pop_back();
}

std::vector<std::string> completionCandidates(std::string_view prefix,
                                              const std::vector<std::string>& users,
                                              const std::vector<std::string>& recent) {
    std::vector<std::string> out;
    if (prefix.empty()) return out;
    for (const std::string& name : recent)
        if (startsWithIgnoringCase(name, prefix) &&
            std::find(users.begin(), users.end(), name) != users.end())
            out.push_back(name);
    const std::size_t spoken = out.size();
    for (const std::string& name : users)
        if (startsWithIgnoringCase(name, prefix) &&
            std::find(out.begin(), out.end(), name) == out.end())
            out.push_back(name);
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(spoken), out.end(),
              [](const std::string& a, const std::string& b) {
                  const std::string la = cp1252::lowerCase(a), lb = cp1252::lowerCase(b);
                  return la != lb ? la < lb : a < b;
              });
    return out;
}

std::optional<LineEdit> NameCompleter::press(const LineEdit& line,
                                             const std::vector<std::string>& users,
                                             const std::vector<std::string>& recent,
                                             bool backwards) {
    if (!candidates_.empty() && line == left_) {
        const std::size_t n = candidates_.size();
        index_ = backwards ? (index_ + n - 1) % n : (index_ + 1) % n;
    } else {
        const std::size_t caret = std::min(line.caret, line.text.size());
        std::size_t start = caret;
        while (start > 0 && !isBlank(line.text[start - 1]))
            --start;
        candidates_ = completionCandidates(std::string_view(line.text).substr(start, caret - start),
                                           users, recent);
        if (candidates_.empty()) return std::nullopt;
        before_ = line.text.substr(0, start);
        after_ = line.text.substr(caret);
        index_ = backwards ? candidates_.size() - 1 : 0;
    }
    std::string name = candidates_[index_];
    if (before_.empty()) name += ": ";
    left_.text = before_ + name + after_;
    left_.caret = before_.size() + name.size();
    return left_;
}

}  // namespace kavel
