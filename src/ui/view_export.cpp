#include "ui/view_export.h"

#include "ui/rtf_writer.h"

namespace kavel {

namespace {

bool write(std::FILE* file, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

}  // namespace

std::string plainText(const ViewContent& content) {
    std::string out;
    for (const ViewRun& run : content.runs) {
        if (run.kind == ViewRun::LineBreak)
            out += "\r\n";
        else
            out += run.text;
    }
    return out;
}

bool saveViewContents(const ChatView& view, std::FILE* file, int format) {
    bool ok = true;
    if (format != 1) {
        view.contentInPieces(
            [&](const ViewContent& piece) { ok = write(file, plainText(piece)) && ok; });
        return ok && std::fflush(file) == 0;
    }
    RtfWriter writer;
    int32_t background = kWhite;
    std::string font;
    view.contentInPieces([&](const ViewContent& piece) {
        writer.add(piece);
        background = piece.background;
        font = piece.font;
    });
    return write(file, writer.head(background, font)) && write(file, writer.body()) &&
           write(file, RtfWriter::kTail) && std::fflush(file) == 0;
}

}  // namespace kavel
