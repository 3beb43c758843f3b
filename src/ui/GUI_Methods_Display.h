#pragma once
// Rendering one chat message into a room's view: markup, colour modes,
// links, the own name, smilies and the new-message notice.

#include <cstdint>
#include <string>

#include "desktop/chat_view.h"

namespace kavel {

// The rendering state a room keeps between messages.
struct RenderState {
    int32_t style = 0;
    int32_t colour = 0;
    int32_t background = 0;  // taken when the room was opened
};

// What printing needs from the room it prints into.
class PrintTarget {
  public:
    virtual ~PrintTarget() = default;
    virtual ChatView& view() = 0;
    virtual bool hasUrl(const std::string& url) = 0;
    virtual void addUrl(const std::string& url) = 0;
    virtual void flash() = 0;
    virtual void playMessageSound() = 0;
    // The message mentioned the user (the own name, not at its start).
    virtual void mentioned() {}
};

void printMessage(PrintTarget& target, RenderState& state, const std::string& text);

// Program-wide display choices, kept in prefs.ini rather than the profile:
// they belong to the desktop, not to the chat name.
struct DisplayOptions {
    // Each message starts with "[hh:mm] " by the local clock. Off, a room
    // shows the text exactly as the server sent it.
    bool timeStamps = false;
};
DisplayOptions& displayOptions();
// The stamp a message printed at `seconds` (local time since the epoch)
// starts with.
std::string timeStamp(uint32_t seconds);

}  // namespace kavel
