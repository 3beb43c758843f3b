#pragma once
// Rich Text Format (RTF 1.x) from a view's content, so that a room's log
// opens in any word processor with its styles, colours and smileys.

#include <cstdint>
#include <string>
#include <vector>

#include "desktop/chat_view.h"

namespace kavel {

// Writes a document from content handed over in pieces: the body grows
// with each piece; the head, which names the colours the body used, comes
// last and goes before the body.
class RtfWriter {
  public:
    void add(const ViewContent& piece);
    std::string head(int32_t background, const std::string& font);
    const std::string& body() const { return body_; }
    static constexpr const char* kTail = "}\n";

  private:
    int colourIndex(int32_t colour);

    std::vector<int32_t> colours_;
    std::string body_;
};

// One font, a colour table of the text colours in order of use and the
// background, bold, italic and underline, 10-point text, the background as
// page colour and paragraph shading, pictures as PNG. Text is Windows-1252: bytes outside
// ASCII are written as \'xx.
std::string rtfDocument(const ViewContent& content);

}  // namespace kavel
