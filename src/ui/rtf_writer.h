#pragma once
// Rich Text Format (RTF 1.x) from a view's content, so that a room's log
// opens in any word processor with its styles, colours and smileys.

#include <string>

#include "platform/chat_view.h"

namespace kavel {

// One font, a colour table of the text colours in order of use and the
// background, bold, italic and underline, 10-point text, the background as
// page colour and paragraph shading, pictures as PNG. Text is Windows-1252: bytes outside
// ASCII are written as \'xx.
std::string rtfDocument(const ViewContent& content);

}  // namespace kavel
