#pragma once
// Saving a view's content into an open file: plain text or RTF.

#include <cstdio>
#include <string>

#include "desktop/chat_view.h"

namespace kavel {

// The text of the view with lines ending CR LF; every picture shows as the
// characters it replaced.
std::string plainText(const ViewContent& content);

// Writes the content of view into file, format 0 plain text, 1 RTF. False
// when the file could not take it all.
bool saveViewContents(const ChatView& view, std::FILE* file, int format);

}  // namespace kavel
