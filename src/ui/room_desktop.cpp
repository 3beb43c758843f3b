#include "ui/room_desktop.h"

#include "desktop/desktop.h"
#include "desktop/find_bar.h"
#include "desktop/gadgets.h"
#include "desktop/notify.h"
#include "desktop/view_text.h"

namespace kavel {

namespace {

// Long enough for a chat line, short enough for a notification bubble.
constexpr std::size_t kBodyLimit = 200;

}  // namespace

void noticeNewMessage(int window, int view, const std::string& roomName) {
    if (!platform::windowExists(window) || platform::isForegroundWindow(window)) return;
    platform::alertWindow(window);
    std::string body = platform::lastTextLine(view);
    if (body.size() > kBodyLimit) body = body.substr(0, kBodyLimit - 3) + "...";
    platform::notifyDesktop(window, roomName, body);
}

void addRoomFindBar(int view) {
    // Windows-1252, like every interface text.
    platform::FindBarTexts texts;
    texts.field = "Suchen";
    texts.next = "Weiter";
    texts.previous = "Zur\374ck";
    texts.close = "Schlie\337en";
    texts.notFound = "Nicht gefunden";
    platform::addFindBar(view, texts);
}

}  // namespace kavel
