// Server data is the client's widest door. Input: byte 0 picks the display
// options, byte 1 the flood clock's step and the dialog answers, the rest is
// one read handed to the session's dispatch (rooms open on first mention, with
// real windows) and then printed straight into a room as well.
#include <QApplication>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/LEXER.h"
#include "common/data.h"
#include "common/line_splitter.h"
#include "common/ports.h"
#include "common/reset.h"
#include "core/wiring.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "net/NET_Methods_Decode.h"
#include "system/services.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_UserInfo.h"

namespace {

uint32_t now = 1000;
bool answerYes = false;

void closeEverything() {
    for (kavel::ChatRoom* r : std::vector<kavel::ChatRoom*>(kavel::joinedRooms))
        kavel::roomDestroy(r);
    kavel::platform::closeWindow(kavel::userinfo::Window);
    // Drops what the windows queued; polling also lets deferred deletes run.
    while (kavel::platform::pollEvent().kind != kavel::platform::EventKind::None) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(*argc, *argv);
    (void)app;
    kavel::wirePorts();
    kavel::resetAll();
    kavel::InitLexTable();
    kavel::platform::replaceServices({
        .seconds = [] { return now; },
        .dialogs =
            [](const kavel::platform::DialogRequest&) {
                kavel::platform::DialogAnswer a;
                a.yes = answerYes;
                a.text = "grund";
                return a;
            },
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    kavel::setOptions(static_cast<uint16_t>(data[0] | (data[0] & 3) << 8));
    kavel::setFlag(kavel::flag::NoSound);
    now += data[1] & 7;
    answerYes = data[1] & 8;
    kavel::setText(&kavel::ClientState::profileName, "anna");
    kavel::setText(&kavel::ClientState::nick, data[1] & 16 ? "Anna" : "");
    const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);

    // Framed as the session frames a read: CR and NUL end a message.
    std::vector<std::string> messages;
    kavel::LineSplitter split({std::string_view("\r\0", 2), {}, kavel::MaxMessage});
    split.feed(bytes, [&](std::string_view m, bool cut) {
        if (!m.empty() && !cut) messages.emplace_back(m);
    });
    if (split.pendingBytes() > 0)
        messages.emplace_back(bytes.substr(bytes.size() - split.pendingBytes()));
    kavel::session().dispatch(messages);
    if (kavel::joinedRooms.empty()) kavel::newChatRoom("fuzz");
    if (!kavel::joinedRooms.empty()) kavel::roomPrint(kavel::joinedRooms.front(), bytes);

    closeEverything();
    kavel::clearFlag(kavel::flag::ShieldsUp);
    return 0;
}
