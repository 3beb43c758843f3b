// What the paste service shows in a browser: the pages (HTML, Windows-1252,
// German), the stylesheet and the script. Texts are ours; anything from a
// paste arrives here raw and is escaped here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarnd::pages {

struct PastePage {
    std::string_view id;
    std::string_view title;
    std::string_view code;
    std::int64_t secondsLeft = 0;
    bool highlight = false;  // highlight.js is there to be loaded
};

std::string paste(const PastePage& page);
// The form that posts to /main.php like the client does.
std::string form();
// The page for an error or refusal status; `why` (ours, HTML already)
// replaces the status's own explanation when given.
std::string status(int code, std::string_view why = {});

// Lines a browser shows for this text in a <pre>: CR LF, CR and LF each
// end one, and a break at the very end opens no further line.
std::size_t lineCount(std::string_view text);
// The title as a file name: bytes other than ASCII letters, digits, "-" and
// "_" become "_", at most 60 bytes, "paste" for an empty title.
std::string safeFileName(std::string_view title);

extern const std::string_view kStyleSheet;
extern const std::string_view kScript;

}  // namespace quarnd::pages
