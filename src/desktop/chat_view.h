#pragma once
// What the display needs from a chat view. The rendering rules only talk to
// this interface, so the control behind it can be exchanged without touching
// them. A view only ever grows at its end.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/picture.h"

namespace kavel {

namespace textstyle {
inline constexpr int Bold = 1;
inline constexpr int Italic = 2;
inline constexpr int Underline = 4;
}  // namespace textstyle

// What a view shows, piece by piece in order, for saving it as a file.
struct ViewRun {
    enum Kind : uint8_t { Text, Picture, LineBreak } kind = Text;
    // Text: Windows-1252; Picture: the characters the picture stands for.
    std::string text;
    int style = 0;  // textstyle bits
    int32_t colour = kBlack;
    int width = 0;  // Picture: size in pixels
    int height = 0;
    std::string png;  // Picture: the image as a PNG file
};
struct ViewContent {
    int32_t background = kWhite;
    std::string font;  // the family of the view's text
    std::vector<ViewRun> runs;
};

class ChatView {
  public:
    virtual ~ChatView() = default;
    // Character format for the text appended from now on: style bits and
    // the font height of 10 pt.
    virtual void setStyle(int bits) = 0;
    // Text colour from now on (red | green << 8 | blue << 16).
    virtual void setColour(int32_t colour) = 0;
    virtual void setBackground(int32_t colour) = 0;
    // Appends at the end; a lone carriage return is a line break.
    virtual void append(std::string_view text) = 0;
    // Appends the text of a link; a view that opens links makes it one.
    virtual void appendLink(std::string_view text) { append(text); }
    virtual void appendLineBreak() = 0;
    virtual void insertImage(const Picture& picture) = 0;
    // Everything printed so far (the log export writes it as a file).
    virtual ViewContent content() const = 0;
    // The same, handed to `sink` in pieces of whole lines in order (each
    // piece after the first starts with a line break), so that a long
    // history is written out without a copy of all of it at once.
    virtual void contentInPieces(const std::function<void(const ViewContent&)>& sink) const {
        sink(content());
    }
    // Brackets one printed message, so that the control lays it out once.
    virtual void beginMessage() {}
    virtual void endMessage() {}
};

}  // namespace kavel
