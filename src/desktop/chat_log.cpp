#include "desktop/chat_log.h"

#include <algorithm>
#include <array>

namespace kavel::platform {

namespace {

// Holds the place of a picture in the text; what a picture is comes from
// the list of spots, never from this character.
constexpr char kPicturePlaceholder = '\x1A';

// Windows-1252 lower case, for finding text without regard to case.
constexpr std::array<unsigned char, 256> makeFold() {
    std::array<unsigned char, 256> fold{};
    for (int c = 0; c < 256; ++c)
        fold[static_cast<std::size_t>(c)] = static_cast<unsigned char>(c);
    for (int c = 'A'; c <= 'Z'; ++c)
        fold[static_cast<std::size_t>(c)] = static_cast<unsigned char>(c + 32);
    for (int c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7) fold[static_cast<std::size_t>(c)] = static_cast<unsigned char>(c + 32);
    fold[0x8A] = 0x9A;
    fold[0x8C] = 0x9C;
    fold[0x8E] = 0x9E;
    fold[0x9F] = 0xFF;
    return fold;
}
constexpr std::array<unsigned char, 256> kFold = makeFold();

unsigned char folded(char c) {
    return kFold[static_cast<unsigned char>(c)];
}

std::size_t mixed(std::size_t seed, std::size_t value) {
    return seed ^ (value + 0x9E3779B97F4A7C15ull + (seed << 6) + (seed >> 2));
}

std::size_t hashOf(const ChatLog::Shape& shape) {
    const auto bytes = [](const auto& v) {
        return std::string_view(reinterpret_cast<const char*>(v.data()),
                                v.size() * sizeof(v.front()));
    };
    const std::hash<std::string_view> h;
    std::size_t seed = h(bytes(shape.pixels));
    seed = mixed(seed, h(bytes(shape.fixed)));
    seed = mixed(seed, h(shape.text));
    return mixed(
        seed, static_cast<std::size_t>(shape.width) << 16 ^ static_cast<std::size_t>(shape.height));
}

}  // namespace

ChatLog::ChatLog() {
    lineStart_.push_back(0);
}

void ChatLog::addText(std::string_view text) {
    if (text.empty()) return;
    const auto at = static_cast<uint32_t>(text_.size());
    const Format f = format(style_, colour_);
    if (runs_.empty() || runs_.back().format != f) runs_.push_back({at, f});
    text_.append(text);
}

void ChatLog::append(std::string_view text) {
    while (!text.empty()) {
        const std::size_t cut = text.find_first_of("\r\n");
        addText(text.substr(0, cut));
        if (cut == std::string_view::npos) return;
        std::size_t skip = 1;
        if (text[cut] == '\r' && cut + 1 < text.size() && text[cut + 1] == '\n') skip = 2;
        appendLineBreak();
        text.remove_prefix(cut + skip);
    }
}

void ChatLog::appendLink(std::string_view text) {
    const auto start = static_cast<uint32_t>(text_.size());
    append(text);
    if (text_.size() > start) links_.push_back({start, static_cast<uint32_t>(text_.size())});
}

void ChatLog::appendLineBreak() {
    lineStart_.push_back(static_cast<uint32_t>(text_.size()));
}

void ChatLog::insertPicture(const Picture& picture) {
    // The picture parted into its shape and the colours of this place; the
    // shape is found by its hash, so a thousand colours cost what one does.
    Shape shape;
    shape.width = picture.width;
    shape.height = picture.height;
    shape.text = picture.text;
    shape.pixels.reserve(picture.pixels.size());
    PictureKey key{0, {}};
    std::size_t used = 0;
    for (const int32_t colour : picture.pixels) {
        std::size_t slot = 0;
        while (slot < used && key.colours[slot] != colour)
            ++slot;
        if (slot == used && used < kSlots) key.colours[used++] = colour;
        if (slot < used) {
            shape.pixels.push_back(static_cast<uint32_t>(slot));
            continue;
        }
        auto fixed = std::find(shape.fixed.begin(), shape.fixed.end(), colour);
        if (fixed == shape.fixed.end()) fixed = shape.fixed.insert(fixed, colour);
        shape.pixels.push_back(static_cast<uint32_t>(kSlots + (fixed - shape.fixed.begin())));
    }
    const std::size_t hash = hashOf(shape);
    auto [it, stop] = shapeIndex_.equal_range(hash);
    while (it != stop && !(shapes_[it->second] == shape))
        ++it;
    if (it != stop) {
        key.shape = it->second;
    } else {
        key.shape = static_cast<uint32_t>(shapes_.size());
        shapes_.push_back(std::move(shape));
        shapeIndex_.emplace(hash, key.shape);
    }
    spots_.push_back({static_cast<uint32_t>(text_.size()), key});
    addText(std::string_view(&kPicturePlaceholder, 1));
}

Picture ChatLog::picture(const PictureKey& key) const {
    const Shape& shape = shapes_[key.shape];
    Picture out;
    out.width = shape.width;
    out.height = shape.height;
    out.text = shape.text;
    out.pixels.reserve(shape.pixels.size());
    for (const uint32_t p : shape.pixels)
        out.pixels.push_back(p < kSlots ? key.colours[p] : shape.fixed[p - kSlots]);
    return out;
}

std::size_t ChatLog::PictureKeyHash::operator()(const PictureKey& key) const {
    std::size_t seed = key.shape;
    for (const int32_t c : key.colours)
        seed = mixed(seed, static_cast<uint32_t>(c));
    return seed;
}

std::size_t ChatLog::runAt(uint32_t offset) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), offset,
                               [](uint32_t o, const Run& r) { return o < r.start; });
    return it == runs_.begin() ? 0 : static_cast<std::size_t>(it - runs_.begin() - 1);
}

std::size_t ChatLog::firstPictureFrom(uint32_t offset) const {
    return static_cast<std::size_t>(
        std::lower_bound(spots_.begin(), spots_.end(), offset,
                         [](const PictureAt& p, uint32_t o) { return p.at < o; }) -
        spots_.begin());
}

const ChatLog::Span* ChatLog::linkAt(uint32_t offset) const {
    auto it = std::upper_bound(links_.begin(), links_.end(), offset,
                               [](uint32_t o, const Span& s) { return o < s.start; });
    if (it == links_.begin()) return nullptr;
    --it;
    return offset < it->end ? &*it : nullptr;
}

int ChatLog::lineOfPosition(int64_t position) const {
    // The line whose first position is the last one not after `position`.
    int lo = 0, hi = lineCount() - 1;
    while (lo < hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        if (this->position(mid, 0) <= position)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

std::string ChatLog::text(int64_t from, int64_t to, std::string_view picture) const {
    std::string out;
    visit(
        from, to, [&](std::string_view text) { out.append(text); },
        [&](const Shape& shape) { out.append(picture.empty() ? shape.text : picture); });
    return out;
}

void ChatLog::visit(int64_t from, int64_t to, const std::function<void(std::string_view)>& onText,
                    const std::function<void(const Shape&)>& onPicture) const {
    from = std::clamp<int64_t>(from, 0, length());
    to = std::clamp<int64_t>(to, from, length());
    int line = lineOfPosition(from);
    int64_t pos = from;
    const std::string_view all(text_);
    while (pos < to) {
        const int64_t lineStartPos = position(line, 0);
        const int64_t lineEndPos = lineStartPos + (lineEnd(line) - lineBegin(line));
        const int64_t stop = std::min(to, lineEndPos);
        auto offset = static_cast<uint32_t>(lineBegin(line) + (pos - lineStartPos));
        const auto end = static_cast<uint32_t>(lineBegin(line) + (stop - lineStartPos));
        for (std::size_t p = firstPictureFrom(offset); offset < end; ++p) {
            const uint32_t next = p < spots_.size() ? std::min(spots_[p].at, end) : end;
            if (next > offset) onText(all.substr(offset, next - offset));
            if (next == end) break;
            onPicture(shapes_[spots_[p].picture.shape]);
            offset = next + 1;
        }
        pos = stop;
        if (pos < to) {
            onText("\n");
            ++pos;
            ++line;
        }
    }
}

bool ChatLog::matchesAt(std::string_view needle, uint32_t offset) const {
    for (std::size_t i = 0; i < needle.size(); ++i)
        if (folded(text_[offset + i]) != folded(needle[i])) return false;
    return true;
}

bool ChatLog::fitsInLine(uint32_t offset, std::size_t size) const {
    // Several empty lines may start at one offset; the last of them holds
    // the characters.
    const auto line = static_cast<int>(
        std::upper_bound(lineStart_.begin(), lineStart_.end(), offset) - lineStart_.begin() - 1);
    if (offset + size > lineEnd(line)) return false;
    const std::size_t p = firstPictureFrom(offset);
    return p == spots_.size() || spots_[p].at >= offset + size;
}

int64_t ChatLog::find(std::string_view needle, int64_t from, bool forward) const {
    if (needle.empty() || needle.size() > text_.size()) return -1;
    from = std::clamp<int64_t>(from, 0, length());
    const int line = lineOfPosition(from);
    const int64_t offset = static_cast<int64_t>(lineBegin(line)) + (from - position(line, 0));
    const unsigned char first = folded(needle[0]);
    const auto last = static_cast<int64_t>(text_.size() - needle.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text_.data());
    const auto found = [&](int64_t o) {
        const auto at = static_cast<uint32_t>(o);
        if (!matchesAt(needle, at) || !fitsInLine(at, needle.size())) return false;
        return true;
    };
    const auto toPosition = [&](int64_t o) {
        const auto at = static_cast<uint32_t>(o);
        const auto l = static_cast<int>(std::upper_bound(lineStart_.begin(), lineStart_.end(), at) -
                                        lineStart_.begin() - 1);
        return position(l, at - lineBegin(l));
    };
    if (forward) {
        for (int64_t o = offset; o <= last; ++o)
            if (kFold[bytes[o]] == first && found(o)) return toPosition(o);
    } else {
        for (int64_t o = std::min(offset - static_cast<int64_t>(needle.size()), last); o >= 0; --o)
            if (kFold[bytes[o]] == first && found(o)) return toPosition(o);
    }
    return -1;
}

std::vector<uint32_t> ChatLog::findInLine(std::string_view needle, int line) const {
    std::vector<uint32_t> out;
    const uint32_t begin = lineBegin(line), end = lineEnd(line);
    if (needle.empty()) return out;
    for (uint32_t o = begin; o + needle.size() <= end; ++o)
        if (matchesAt(needle, o) && fitsInLine(o, needle.size())) {
            out.push_back(o - begin);
            o += static_cast<uint32_t>(needle.size()) - 1;
        }
    return out;
}

ViewContent ChatLog::content(int32_t background, std::string font, const PngOf& png, int first,
                             int end) const {
    ViewContent out;
    out.background = background;
    out.font = std::move(font);
    if (end < 0 || end > lineCount()) end = lineCount();
    first = std::max(first, 0);
    if (first >= end) return out;
    std::size_t run = runAt(lineBegin(first));
    std::size_t spot = firstPictureFrom(lineBegin(first));
    const uint32_t stopAt =
        end < lineCount() ? lineBegin(end) : static_cast<uint32_t>(text_.size());
    // Every line break, picture and run, and a text run after each picture.
    out.runs.reserve(static_cast<std::size_t>(end - first) + runAt(stopAt) - run + 1 +
                     2 * (firstPictureFrom(stopAt) - spot));
    for (int line = first; line < end; ++line) {
        if (line > 0) out.runs.emplace_back().kind = ViewRun::LineBreak;
        uint32_t offset = lineBegin(line);
        const uint32_t lineStop = lineEnd(line);
        while (offset < lineStop) {
            if (spot < spots_.size() && spots_[spot].at == offset) {
                const Shape& p = shapes_[spots_[spot].picture.shape];
                ViewRun& r = out.runs.emplace_back();
                r.kind = ViewRun::Picture;
                r.text = p.text;
                r.width = p.width;
                r.height = p.height;
                r.png = png(spots_[spot].picture);
                ++spot;
                ++offset;
                continue;
            }
            while (run + 1 < runs_.size() && runs_[run + 1].start <= offset)
                ++run;
            uint32_t stop = lineStop;
            if (run + 1 < runs_.size()) stop = std::min(stop, runs_[run + 1].start);
            if (spot < spots_.size()) stop = std::min(stop, spots_[spot].at);
            ViewRun& r = out.runs.emplace_back();
            r.text.assign(text_, offset, stop - offset);
            r.style = styleOf(runs_[run].format);
            r.colour = colourOf(runs_[run].format);
            offset = stop;
        }
    }
    return out;
}

}  // namespace kavel::platform
