#include "ui/smilies.h"

#include <array>
#include "common/cp1252.h"

namespace kavel {

namespace {

// X black, dot white; rows from the top.
using Rows = std::array<const char*, kSmileySize>;
constexpr Rows kTemplates[8] = {
    {// 4: smiling
     ".....XXXXX.....", "...XX.....XX...", "..X.........X..", ".X...........X.", ".X..XX...XX..X.",
     "X...XX...XX...X", "X.............X", "X.............X", "X.............X", "X..X.......X..X",
     ".X..X.....X..X.", ".X...XXXXX...X.", "..X.........X..", "...XX.....XX...", ".....XXXXX....."},
    {// 5: winking
     ".....XXXXX.....", "...XX....XXX...", "..X.........X..", ".X...........X.", ".X.X..X..XX..X.",
     "X...XX...XX...X", "X.............X", "X.............X", "X.............X", "X..X.......X..X",
     ".X..X.....X..X.", ".X...XXXXX...X.", "..X.........X..", "...XX.....XX...", ".....XXXXX....."},
    {// 6: sad
     ".....XXXXX.....", "...XX.....XX...", "..X.........X..", ".X...........X.", ".X..XX...XX..X.",
     "X...XX...XX...X", "X.............X", "X.............X", "X.............X", "X....XXXXX....X",
     ".X..X.....X..X.", ".X...........X.", "..X.........X..", "...XX.....XX...", ".....XXXXX....."},
    {// 7: grin with teeth
     ".....XXXXX.....", "...XX.....XX...", "..X.........X..", ".X..XX...XX..X.", ".X.X..X.X..X.X.",
     "X.............X", "X.XXXXXXXXXXX.X", "X.X..X...X..X.X", "X.X..X...X..X.X", "X.X..X...X..X.X",
     "X..X.X...X.X..X", ".X..XX...XX..X.", "..X..XXXXX..X..", "...X.......X...", "....XXXXXXX...."},
    {// 8: open mouth
     ".....XXXXX.....", "...XX.....XX...", "..X.........X..", ".X...........X.", ".X..XX...XX..X.",
     "X...XX...XX...X", "X.............X", "X.............X", "X....XXXXX....X", "X...X.....X...X",
     ".X.X.......X.X.", ".X..X.....X..X.", "..X..XXXXX..X..", "...X.......X...", "....XXXXXXX...."},
    {// 9: tongue out
     ".....XXXXX.....", "...XX.....XX...", "..X.........X..", ".X...........X.", ".X..XX...XX..X.",
     "X...XX...XX...X", "X.............X", "X.............X", "X..X.......X..X", "X...XXXXXXX...X",
     ".X...XXXXX...X.", ".X...XXXXX...X.", "..X...XXX...X..", "...XX.....XX...", ".....XXXXX....."},
    {// 10: crooked mouth
     ".....XXXXX.....", "...XX.....XX...", "..X.........X..", ".X...........X.", ".X...X...X...X.",
     "X....X...X....X", "X....X...X....X", "X.............X", "X.............X", "X........XX...X",
     ".X.....XX....X.", ".X...XX......X.", "..X.........X..", "...XX.....XX...", ".....XXXXX....."},
    {// 11: one large eye
     ".....XXXXX.....", "...XX.....XX...", "..X.........X..", ".X...XXXXX...X.", ".X..X.....X..X.",
     "X..X...X...X..X", "X..X..XXX..X..X", "X..X...X...X..X", "X...X.....X...X", "X....XXXXX....X",
     ".X...........X.", ".X....XXX....X.", "..X.........X..", "...XX.....XX...", ".....XXXXX....."},
};

std::array<Picture, 8> buildTemplates() {
    std::array<Picture, 8> out;
    for (std::size_t t = 0; t < out.size(); ++t) {
        Picture& p = out[t];
        p.width = p.height = kSmileySize;
        p.pixels.reserve(kSmileySize * kSmileySize);
        for (const char* row : kTemplates[t])
            for (int x = 0; x < kSmileySize; ++x)
                p.pixels.push_back(row[x] == 'X' ? kBlack : kWhite);
    }
    return out;
}

}  // namespace

std::optional<SmileyEntry> smileyFor(std::string_view pair) {
    if (pair.size() != 2) return std::nullopt;
    const char a = pair[0];
    const char b = cp1252::upper(pair[1]);
    if (a == ':') {
        switch (b) {
            case ')':
                return SmileyEntry{4, 0};
            case '(':
                return SmileyEntry{6, 0};
            case 'D':
                return SmileyEntry{7, -3};
            case 'O':
                return SmileyEntry{8, 0};
            case 'P':
                return SmileyEntry{9, 0};
            case '/':
                return SmileyEntry{10, 0};
            default:
                return std::nullopt;
        }
    }
    if (a == ';' && b == ')') return SmileyEntry{5, 0};
    if (a == '.' && (b == ')' || b == 'D')) return SmileyEntry{11, 5};
    return std::nullopt;
}

const Picture& smileyTemplate(int n) {
    static const std::array<Picture, 8> templates = buildTemplates();
    return templates[static_cast<std::size_t>(n - 4)];
}

void floodFill(Picture& picture, int x, int y, int32_t colour) {
    const int w = picture.width, h = picture.height;
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    std::vector<bool> seen(static_cast<std::size_t>(w * h), false);
    std::vector<int> stack{y * w + x};
    while (!stack.empty()) {
        const int i = stack.back();
        stack.pop_back();
        auto& px = picture.pixels[static_cast<std::size_t>(i)];
        if (seen[static_cast<std::size_t>(i)] || px == kBlack) continue;
        seen[static_cast<std::size_t>(i)] = true;
        px = colour;
        const int cx = i % w, cy = i / w;
        if (cx > 0) stack.push_back(i - 1);
        if (cx < w - 1) stack.push_back(i + 1);
        if (cy > 0) stack.push_back(i - w);
        if (cy < h - 1) stack.push_back(i + w);
    }
}

Picture makeSmiley(const SmileyEntry& entry, int32_t background, int32_t face) {
    Picture p = smileyTemplate(entry.templ);
    const int last = kSmileySize - 1;
    floodFill(p, 0, 0, background);
    floodFill(p, last, 0, background);
    floodFill(p, 0, last, background);
    floodFill(p, last, last, background);
    floodFill(p, 7, 7 + entry.fillOffset, face);
    return p;
}

}  // namespace kavel
