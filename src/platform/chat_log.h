#pragma once
// The history of a chat view, kept once and compactly: the Windows-1252
// characters of all lines in one buffer, the format changes as runs over
// that buffer, and the places of pictures and links. The view lays out
// from it, the find bar searches it and the log export writes it; nothing
// else holds a copy. It only ever grows at its end.
//
// Positions come in two kinds. A text offset counts characters of the
// buffer; a document position counts them plus one per line break before
// them, as the plain text of the view reads (lines joined by "\n").

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/chat_view.h"

namespace kavel::platform {

class ChatLog {
  public:
    // Style bits and colour of a character, in one word.
    using Format = uint32_t;
    static constexpr Format format(int style, int32_t colour) {
        return (static_cast<uint32_t>(colour) & 0xFFFFFFu) | static_cast<uint32_t>(style & 7) << 24;
    }
    static constexpr int styleOf(Format f) { return static_cast<int>(f >> 24); }
    static constexpr int32_t colourOf(Format f) { return static_cast<int32_t>(f & 0xFFFFFFu); }

    struct Run {
        uint32_t start;  // text offset where the format begins
        Format format;
    };
    struct Span {
        uint32_t start;
        uint32_t end;
    };
    struct PictureAt {
        uint32_t at;       // text offset of the character the picture takes
        uint32_t picture;  // index into pictures()
    };

    ChatLog();

    void setStyle(int bits) { style_ = bits; }
    void setColour(int32_t colour) { colour_ = colour; }
    // A carriage return or line feed in the text breaks the line.
    void append(std::string_view text);
    void appendLink(std::string_view text);
    void appendLineBreak();
    void insertPicture(const Picture& picture);

    int lineCount() const { return static_cast<int>(lineStart_.size()); }
    uint32_t lineBegin(int line) const { return lineStart_[static_cast<std::size_t>(line)]; }
    uint32_t lineEnd(int line) const {
        return line + 1 < lineCount() ? lineBegin(line + 1) : static_cast<uint32_t>(text_.size());
    }
    // The characters of a line; a picture's character is a placeholder.
    std::string_view lineText(int line) const {
        return std::string_view(text_).substr(lineBegin(line), lineEnd(line) - lineBegin(line));
    }

    const std::vector<Run>& runs() const { return runs_; }
    // The run that holds the character at a text offset.
    std::size_t runAt(uint32_t offset) const;
    const std::vector<PictureAt>& pictureSpots() const { return spots_; }
    std::size_t firstPictureFrom(uint32_t offset) const;
    const std::vector<Picture>& pictures() const { return pictures_; }
    const std::vector<Span>& links() const { return links_; }
    // The link that holds the character at a text offset, or null.
    const Span* linkAt(uint32_t offset) const;

    int64_t length() const { return static_cast<int64_t>(text_.size()) + lineCount() - 1; }
    int64_t position(int line, uint32_t column) const {
        return static_cast<int64_t>(lineBegin(line)) + column + line;
    }
    int lineOfPosition(int64_t position) const;

    // The plain text between two document positions, lines joined by "\n";
    // a picture reads as `picture` (empty: the characters it stands for).
    std::string text(int64_t from, int64_t to, std::string_view picture) const;

    // The next (or previous) occurrence of `needle` (Windows-1252, without
    // regard to case) starting at or after (ending at or before) a
    // document position, without wrapping; -1 when there is none.
    int64_t find(std::string_view needle, int64_t from, bool forward) const;
    // Every occurrence inside one line, as columns.
    std::vector<uint32_t> findInLine(std::string_view needle, int line) const;

    // The lines from `first` up to `end` (all of them by default); each
    // line but the very first starts with a line break. `pngs` holds each
    // picture as a PNG file.
    ViewContent content(int32_t background, std::string font, const std::vector<std::string>& pngs,
                        int first = 0, int end = -1) const;

  private:
    void addText(std::string_view text);
    bool matchesAt(std::string_view needle, uint32_t offset) const;
    bool fitsInLine(uint32_t offset, std::size_t size) const;

    std::string text_;
    std::vector<uint32_t> lineStart_;
    std::vector<Run> runs_;
    std::vector<PictureAt> spots_;
    std::vector<Picture> pictures_;
    std::vector<Span> links_;
    int style_ = 0;
    int32_t colour_ = kBlack;
};

}  // namespace kavel::platform
