// The RTF writer. Each run is a group of its own, so no formatting leaks
// from one run into the next and the output needs no state to undo.
#include "ui/rtf_writer.h"

#include <algorithm>

#include "common/misc.h"

namespace kavel {

namespace {

constexpr const char* kHex = "0123456789abcdef";
// 96 pixels make an inch of 1440 twips.
constexpr int kTwipsPerPixel = 15;
// The hex dump of a picture in lines of this many characters.
constexpr std::size_t kHexLine = 128;

void hexByte(std::string& out, unsigned char u) {
    out += kHex[u >> 4];
    out += kHex[u & 15];
}

void escaped(std::string& out, std::string_view text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += c;
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c == '\n') {
            out += "\\line ";
        } else if (c == '\r') {
            // A carriage return is no character of the text; a line feed or
            // a paragraph break carries the line end.
        } else if (u < 0x20 || u >= 0x80) {
            out += "\\'";
            hexByte(out, u);
        } else {
            out += c;
        }
    }
}

void picture(std::string& out, const ViewRun& run) {
    out += "{\\pict\\pngblip\\picw" + std::to_string(run.width) + "\\pich" +
           std::to_string(run.height) + "\\picwgoal" + std::to_string(run.width * kTwipsPerPixel) +
           "\\pichgoal" + std::to_string(run.height * kTwipsPerPixel);
    for (std::size_t i = 0; i < run.png.size(); ++i) {
        if (i % (kHexLine / 2) == 0) out += '\n';
        hexByte(out, static_cast<unsigned char>(run.png[i]));
    }
    out += "}";
}

}  // namespace

int RtfWriter::colourIndex(int32_t colour) {
    colour &= 0xFFFFFF;
    const auto it = std::find(colours_.begin(), colours_.end(), colour);
    if (it != colours_.end()) return static_cast<int>(it - colours_.begin()) + 1;
    colours_.push_back(colour);
    return static_cast<int>(colours_.size());
}

void RtfWriter::add(const ViewContent& piece) {
    std::string& body = body_;
    for (const ViewRun& run : piece.runs) {
        switch (run.kind) {
            case ViewRun::LineBreak:
                body += "\\par\n";
                break;
            case ViewRun::Picture:
                if (!run.png.empty() && run.width > 0 && run.height > 0) {
                    picture(body, run);
                } else {
                    // A picture we cannot embed keeps its place as its text.
                    body += "{";
                    escaped(body, run.text);
                    body += "}";
                }
                break;
            case ViewRun::Text: {
                if (run.text.empty()) break;
                body += "{";
                if (run.style & textstyle::Bold) body += "\\b";
                if (run.style & textstyle::Italic) body += "\\i";
                if (run.style & textstyle::Underline) body += "\\ul";
                body += "\\cf";
                body += std::to_string(colourIndex(run.colour));
                body += ' ';
                escaped(body, run.text);
                body += "}";
                break;
            }
        }
    }
}

std::string RtfWriter::head(int32_t background, const std::string& fontName) {
    // After the text colours, so that those keep their order of use.
    const int backgroundIndex = colourIndex(background);
    std::string font;
    escaped(font, fontName.empty() ? std::string_view("Arial") : fontName);
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n";
    out += "{\\fonttbl{\\f0\\fnil\\fcharset0 " + font + ";}}\n";
    // Entry 0 is the reader's automatic colour.
    out += "{\\colortbl;";
    for (int32_t c : colours_)
        out += "\\red" + std::to_string(red(c)) + "\\green" + std::to_string(green(c)) + "\\blue" +
               std::to_string(blue(c)) + ";";
    out += "}\n";
    // The view's background: as page colour (Word) and as the shading of
    // every paragraph (LibreOffice shows no page colour from RTF).
    out +=
        "{\\*\\background{\\shp{\\*\\shpinst{\\sp{\\sn fillType}{\\sv 0}}{\\sp{\\sn "
        "fillColor}{\\sv " +
        std::to_string(background & 0xFFFFFF) + "}}}}}\n";
    out += "\\viewkind4\\viewbksp1\\pard\\plain\\f0\\fs20\\cbpat" +
           std::to_string(backgroundIndex) + "\n";
    return out;
}

std::string rtfDocument(const ViewContent& content) {
    RtfWriter writer;
    writer.add(content);
    return writer.head(content.background, content.font) + writer.body() + RtfWriter::kTail;
}

}  // namespace kavel
