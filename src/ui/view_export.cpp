#include "ui/view_export.h"

#include "ui/rtf_writer.h"

namespace kavel {

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
    const ViewContent content = view.content();
    const std::string out = format == 1 ? rtfDocument(content) : plainText(content);
    return std::fwrite(out.data(), 1, out.size(), file) == out.size() && std::fflush(file) == 0;
}

}  // namespace kavel
