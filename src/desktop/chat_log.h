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

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "desktop/chat_view.h"

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
    // A picture is kept as its shape, once for all its colourings, and the
    // colours each place gives it: the first kSlots colours of the picture
    // in the order they first appear. A smiley has at most four (rim, its
    // own white, background, face), so ever new colours add no shape.
    // What a room holds for pictures is therefore bounded: 24 bytes per
    // picture placed (beside its one character of text) plus one shape of
    // about 1 KB per smiley text and way its colours coincide, however
    // many colours arrive.
    static constexpr std::size_t kSlots = 4;
    using Colours = std::array<int32_t, kSlots>;
    struct Shape {
        int width = 0;
        int height = 0;
        // Per pixel: below kSlots a colour of the place, else fixed[i - kSlots].
        std::vector<uint32_t> pixels;
        std::vector<int32_t> fixed;
        std::string text;  // the characters the picture replaced
        bool operator==(const Shape&) const = default;
    };
    // Equal pictures have equal keys.
    struct PictureKey {
        uint32_t shape;  // index into pictures()
        Colours colours;
        bool operator==(const PictureKey&) const = default;
    };
    struct PictureKeyHash {
        std::size_t operator()(const PictureKey& key) const;
    };
    struct PictureAt {
        uint32_t at;  // text offset of the character the picture takes
        PictureKey picture;
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
    // Lines are numbered from 0 to lineCount() - 1; a number from outside
    // (a position, a point) goes through lineOfPosition() first.
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
    // One shape per distinct picture apart from its colours.
    const std::vector<Shape>& pictures() const { return shapes_; }
    const Shape& shapeOf(const PictureKey& key) const { return shapes_[key.shape]; }
    Picture picture(const PictureKey& key) const;
    const std::vector<Span>& links() const { return links_; }
    // The characters of a span, as far as it lies in the text.
    std::string_view textOf(const Span& span) const {
        const std::size_t from = std::min<std::size_t>(span.start, text_.size());
        const std::size_t to = std::clamp<std::size_t>(span.end, from, text_.size());
        return std::string_view(text_).substr(from, to - from);
    }
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
    // The same in pieces: the characters between pictures, and each picture.
    void visit(int64_t from, int64_t to, const std::function<void(std::string_view)>& onText,
               const std::function<void(const Shape&)>& onPicture) const;

    // The next (or previous) occurrence of `needle` (Windows-1252, without
    // regard to case) starting at or after (ending at or before) a
    // document position, without wrapping; -1 when there is none.
    int64_t find(std::string_view needle, int64_t from, bool forward) const;
    // Every occurrence inside one line, as columns.
    std::vector<uint32_t> findInLine(std::string_view needle, int line) const;

    // The lines from `first` up to `end` (all of them by default); each
    // line but the very first starts with a line break. `png` gives a
    // picture as a PNG file.
    using PngOf = std::function<std::string(const PictureKey&)>;
    ViewContent content(int32_t background, std::string font, const PngOf& png, int first = 0,
                        int end = -1) const;

  private:
    void addText(std::string_view text);
    bool matchesAt(std::string_view needle, uint32_t offset) const;
    bool fitsInLine(uint32_t offset, std::size_t size) const;

    std::string text_;
    std::vector<uint32_t> lineStart_;
    std::vector<Run> runs_;
    std::vector<PictureAt> spots_;
    std::vector<Shape> shapes_;
    // The shapes by the hash of their contents.
    std::unordered_multimap<std::size_t, uint32_t> shapeIndex_;
    std::vector<Span> links_;
    int style_ = 0;
    int32_t colour_ = kBlack;
};

}  // namespace kavel::platform
