#include "ui/GUI_UserInfo.h"

#include "common/data.h"
#include "desktop/richtext.h"
#include "ui/CLASS_ChatRoom_ids.h"
#include "ui/windows/handlers.h"

namespace kavel {

namespace pf = platform;

void openUserInfoWindow(std::string_view title) {
    const int w = pf::openWindow(userinfo::Window, 545, 347, 268, 335, title,
                                 pf::kTitleBar | pf::kInvisible, roomid::OwnerWindow);
    if (w < 0) return;
    pf::richTextControl(w, userinfo::Text, 30, 20, 210, 260, true);
    pf::button(w, userinfo::Close, 80, 300, 120, 20, ui(Txt::CloseDialog));
    pf::showWindow(w);
}

bool userInfoWindowOpen() {
    return pf::windowExists(userinfo::Window);
}

void appendUserInfoLine(std::string_view line) {
    ChatView* view = pf::chatViewOf(userinfo::Text);
    if (!view || !userInfoWindowOpen()) return;
    view->beginMessage();
    if (!line.empty()) view->append(line);
    view->appendLineBreak();
    view->endMessage();
}

bool userInfoHandleEvent(const pf::Event& event) {
    if (event.window != userinfo::Window) return false;
    if (event.kind == pf::EventKind::CloseRequest ||
        (event.kind == pf::EventKind::Control && event.id == userinfo::Close))
        pf::closeWindow(userinfo::Window);
    return true;
}

void userInfoWindowHandler(pf::Event& event) {
    userInfoHandleEvent(event);
    // Closing this window never ends the program.
    if (event.kind == pf::EventKind::CloseRequest) event = {};
}

namespace {
const bool handlerRegistered = registerWindow(userinfo::Window, &userInfoWindowHandler);
}  // namespace

}  // namespace kavel
