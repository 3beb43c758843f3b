#pragma once
// Cuts a byte stream into lines, for the client's reading of the server and
// the server's reading of its clients alike. The caller says which bytes end
// a line, which are dropped on the way, and how long a line may grow: the
// bytes past that are dropped up to the line's end and the line is handed
// on marked as cut, so a peer that never ends its line holds no more memory
// than one line.

#include <cstddef>
#include <string>
#include <string_view>

namespace kavel {

class LineSplitter {
  public:
    struct Rules {
        std::string_view ends;     // each of these bytes ends a line
        std::string_view dropped;  // these bytes are never part of a line
        std::size_t maxLine;
    };

    explicit LineSplitter(Rules rules) : rules_(rules) {}

    // Calls onLine(std::string_view line, bool cut) for every line the bytes
    // complete; the unfinished rest waits for the next call.
    template <class OnLine>
    void feed(std::string_view bytes, OnLine&& onLine) {
        for (char c : bytes) {
            if (rules_.ends.find(c) != std::string_view::npos) {
                onLine(std::string_view(partial_), cut_);
                partial_.clear();
                cut_ = false;
            } else if (rules_.dropped.find(c) != std::string_view::npos) {
                continue;
            } else if (partial_.size() < rules_.maxLine) {
                partial_.push_back(c);
            } else {
                cut_ = true;
            }
        }
    }

    std::size_t pendingBytes() const { return partial_.size(); }
    bool cut() const { return cut_; }
    void clear() {
        partial_.clear();
        cut_ = false;
    }

  private:
    Rules rules_;
    std::string partial_;
    bool cut_ = false;
};

}  // namespace kavel
