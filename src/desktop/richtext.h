#pragma once
// The controls behind chat views: a room's chat view, and the rich-text
// control of the user information text. No Qt here: the rest of the
// program talks to them through ChatView.

#include "desktop/chat_view.h"

namespace kavel::platform {

// A rich-text control without length limit, wrapping at its width, 10 pt
// text; read-only when asked. Returns the control number or -1.
int richTextControl(int window, int id, int x, int y, int w, int h, bool readOnly);

// The chat view of a room: like a read-only rich-text control, but it
// keeps its history compactly and lays out only what it shows.
int chatLogControl(int window, int id, int x, int y, int w, int h);

// The view of a rich-text control or chat view; null for any other control.
ChatView* chatViewOf(int control);

}  // namespace kavel::platform
