#pragma once
// A room's code paster as a screen reader finds it: the window of that
// title owned by the room's window, its controls by their names.

#include "desktop/gadgets.h"
#include "support/room_window.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/CLASS_ChatRoom_Paster.h"

namespace kavel::test {

// All -1 while the room has no paster open.
struct PasterWindow {
    int window, name, duration, code, submit, cancel;
};

inline PasterWindow pasterWindow(ChatRoom* room) {
    namespace pf = platform;
    const int w = pf::windowTitled(kPasterTitle, roomWindow(room).window);
    return {w,
            pf::controlNamed(w, "Name des Codes"),
            pf::controlNamed(w, "Dauer der Eintragung"),
            pf::controlNamed(w, "Code"),
            pf::controlNamed(w, "Eintragen!"),
            pf::controlNamed(w, "Abbrechen")};
}

}  // namespace kavel::test
