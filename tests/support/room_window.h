#pragma once
// A room's window as a user or screen reader finds it: the window titled
// with the room's name, its controls by their accessible names.

#include <gtest/gtest.h>

#include <string>

#include "common/data.h"
#include "desktop/gadgets.h"
#include "ui/CLASS_ChatRoom.h"

namespace kavel::test {

// -1 for whatever was not found.
struct RoomWindow {
    int window, view, userList, urlList, input, clearButton;
};

// The lookup fails the test, naming what is missing; the -1 numbers it then
// returns are harmless to the facade's calls.
inline RoomWindow roomWindow(const std::string& name) {
    namespace pf = platform;
    const int w = pf::windowTitled(name);
    if (w < 0) {
        ADD_FAILURE() << "no window titled \"" << name << "\"";
        return {-1, -1, -1, -1, -1, -1};
    }
    const auto named = [&](const std::string& control) {
        const int id = control.empty() ? -1 : pf::controlNamed(w, control);
        if (id < 0)
            ADD_FAILURE() << "window \"" << name << "\" has no control \"" << control << "\"";
        return id;
    };
    return {w,
            named("Chat"),
            named("Benutzer"),
            named("Links"),
            named("Eingabe"),
            named(ui(Txt::ClearList))};
}

inline RoomWindow roomWindow(ChatRoom* room) {
    if (!room) {
        ADD_FAILURE() << "no room";
        return {-1, -1, -1, -1, -1, -1};
    }
    return roomWindow(roomGetName(room));
}

}  // namespace kavel::test
