#pragma once
// A chat view that records what was appended with which format, and a print
// target around it, for the rendering rules without any widget.

#include <string>
#include <vector>

#include "ui/GUI_Methods_Display.h"

namespace kavel::testing {

struct Piece {
    enum Kind { Text, Image, Break } kind = Text;
    std::string text;
    int style = 0;
    int32_t colour = 0;
    Picture picture;
    bool operator==(const Piece& o) const {
        return kind == o.kind && text == o.text && style == o.style && colour == o.colour;
    }
};

inline std::ostream& operator<<(std::ostream& os, const Piece& p) {
    if (p.kind == Piece::Break) return os << "<br>";
    if (p.kind == Piece::Image) return os << "<img style=" << p.style << ">";
    return os << "\"" << p.text << "\" style=" << p.style << " colour=" << std::hex << p.colour
              << std::dec;
}

inline Piece piece(std::string t, int style = 0, int32_t colour = 0) {
    return Piece{Piece::Text, std::move(t), style, colour, {}};
}
inline Piece image() {
    return Piece{Piece::Image, {}, 0, 0, {}};
}
inline Piece lineBreak() {
    return Piece{Piece::Break, {}, 0, 0, {}};
}

class FakeView : public ChatView {
  public:
    void setStyle(int bits) override { style = bits; }
    void setColour(int32_t c) override { colour = c; }
    void setBackground(int32_t c) override { background = c; }
    void append(std::string_view t) override {
        // Consecutive appends in one format read as one piece.
        if (!pieces.empty() && pieces.back().kind == Piece::Text && pieces.back().style == style &&
            pieces.back().colour == colour)
            pieces.back().text += t;
        else
            pieces.push_back(Piece{Piece::Text, std::string(t), style, colour, {}});
    }
    void appendLineBreak() override { pieces.push_back(lineBreak()); }
    void insertImage(const Picture& p) override {
        pieces.push_back(Piece{Piece::Image, {}, 0, 0, p});
    }
    ViewContent content() const override { return {}; }

    std::vector<Piece> pieces;
    int style = -1;
    int32_t colour = -1;
    int32_t background = -1;
};

class FakeTarget : public PrintTarget {
  public:
    ChatView& view() override { return fakeView; }
    bool hasUrl(const std::string& url) override {
        for (const auto& u : urls)
            if (u == url) return true;
        return false;
    }
    void addUrl(const std::string& url) override { urls.push_back(url); }
    void flash() override { ++flashes; }
    void playMessageSound() override { ++sounds; }

    FakeView fakeView;
    std::vector<std::string> urls;
    int flashes = 0;
    int sounds = 0;
};

}  // namespace kavel::testing
