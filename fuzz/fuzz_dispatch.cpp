// Server data is the client's widest door. Input: byte 0 picks the display
// options, byte 1 the flood clock's step and the dialog answers, the rest is
// one read handed to DispatchServerData (rooms open on first mention, with
// real windows) and then printed straight into a room as well.
#include <QApplication>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/data.h"
#include "net/LEXER.h"
#include "net/NET_Dispatch.h"
#include "net/NET_Methods.h"
#include "platform/gadgets.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_UserInfo.h"

namespace {

uint32_t now = 1000;
bool answerYes = false;

void closeEverything() {
    for (kavel::ChatRoom* r : std::vector<kavel::ChatRoom*>(kavel::joinedRooms))
        kavel::roomDestroy(r);
    kavel::platform::closeWindow(kavel::userinfo::Window);
    kavel::platform::clearEvents();
    kavel::platform::pollEvent();  // lets deferred deletes run
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(*argc, *argv);
    (void)app;
    kavel::resetSharedState();
    kavel::loadUiTexts();
    kavel::InitLexTable();
    kavel::platform::setDialogAnswerer([](const kavel::platform::DialogRequest&) {
        kavel::platform::DialogAnswer a;
        a.yes = answerYes;
        a.text = "grund";
        return a;
    });
    kavel::dispatchPorts().nowSeconds = [] { return now; };
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

    kavel::DispatchServerData(bytes);
    if (kavel::joinedRooms.empty()) kavel::newChatRoom("fuzz");
    if (!kavel::joinedRooms.empty()) kavel::roomPrint(kavel::joinedRooms.front(), bytes);

    closeEverything();
    kavel::clearFlag(kavel::flag::ShieldsUp);
    return 0;
}
