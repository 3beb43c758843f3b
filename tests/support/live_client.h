#pragma once
// The client core against a real quarnd within the test's process: polling
// the connection and the window events until something has happened, the
// joined rooms and their text, and a raw second user in a room.

#include <unistd.h>

#include <QTextEdit>

#include "desktop/chat_log_view.h"

#include <chrono>
#include <functional>
#include <string>

#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "net/NET_Methods.h"
#include "support/quarnd_process.h"
#include "support/room_window.h"
#include "ui/CLASS_ChatRoom.h"

namespace kavel::test {

// Reads from the server and hands out window events until done holds.
inline bool pollUntil(const std::function<bool()>& done, int ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        session().poll();
        platform::pollEvent();
        usleep(2000);
    }
    return done();
}

inline ChatRoom* joinedRoom(const std::string& name) {
    for (ChatRoom* r : joinedRooms)
        if (roomGetName(r) == name) return r;
    return nullptr;
}

inline platform::ChatLogView* roomView(ChatRoom* room) {
    return platform::chatLogViewOf(roomWindow(room).view);
}
inline std::string roomText(ChatRoom* room) {
    return platform::fromQString(roomView(room)->plainText(0, roomView(room)->log().length()));
}

// Logs `peer` in as the guest `name` and joins `room`; what the join
// brings is read and dropped.
inline void joinAsGuest(quarnd_test::RawQuarnClient& peer, const std::string& name,
                        const std::string& room) {
    peer.command("LOGIN " + name + "  [CLIENT:raw]");
    peer.send("JOIN " + room);
    peer.drain(100);
}

// Whether any message that reaches `peer` within quietMs contains needle.
inline bool peerSees(quarnd_test::RawQuarnClient& peer, const std::string& needle,
                     int quietMs = 200) {
    bool seen = false;
    for (const auto& t : peer.drain(quietMs))
        for (const auto& m : t)
            seen |= m.find(needle) != std::string::npos;
    return seen;
}

}  // namespace kavel::test
