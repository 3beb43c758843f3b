#pragma once
// A blinking caret wakes the program twice a second for as long as a text
// field has the focus, read or not. Like the desktop's own toolkits, the
// caret stops blinking after a while without input and starts again with
// the next key, click or change of focus.

namespace kavel::platform {

inline constexpr int kCaretRestMs = 10000;

// Installs the rest on the running application, once; a second call only
// sets the time.
void letCaretRest(int afterMs = kCaretRestMs);

}  // namespace kavel::platform
