#include "ui/GUI_Options.h"

#include <cstdint>
#include <iterator>

#include "common/data.h"
#include "net/NET_Methods_Tls.h"
#include "ui/GUI.h"
#include "ui/windows/handlers.h"
#include "ui/windows/main_window.h"
#include "ui/windows/options_window.h"

namespace kavel {

namespace pf = platform;
using namespace optwin;

namespace {

struct Box {
    Txt caption;
    int y;
};
// In bit order: check box 2 is bit 0x01, check box 9 bit 0x80.
constexpr Box kBoxes[CheckBoxCount] = {
    {Txt::OptSound, 50},        {Txt::OptFlash, 80},     {Txt::OptOnlyOwn, 110},
    {Txt::OptOnTop, 180},       {Txt::OptSeparate, 210}, {Txt::OptMarkUrls, 240},
    {Txt::OptTextSmilies, 270}, {Txt::OptNoPing, 300},
};

// The connection group, in box order: each setting's caption, its value
// when the window opens, and where "Annehmen" puts the box's state.
struct ConnectionSetting {
    Own caption;
    bool (*current)();
    void (*accept)(bool);
};
constexpr ConnectionSetting kConnectionSettings[] = {
    {Own::OptTls, &chatServerTls, &setChatServerTls},
};
static_assert(std::size(kConnectionSettings) == ConnectionBoxCount);

uint16_t tickedBits() {
    uint16_t bits = 0;
    for (int i = 0; i < CheckBoxCount; ++i)
        if (pf::controlState(FirstCheckBox + i) != 0) bits = static_cast<uint16_t>(bits | 1u << i);
    return bits;
}

}  // namespace

void openOptionsWindow() {
    const int w = pf::openWindow(
        Window, 0, 0, Width, Height, Title,
        pf::kTitleBar | pf::kScreenCentred | pf::kInvisible | pf::kCompactFont, mainwin::Window);
    if (w < 0) return;
    const uint16_t current = options();
    for (int i = 0; i < CheckBoxCount; ++i) {
        const int id =
            pf::checkBox(w, FirstCheckBox + i, 50, kBoxes[i].y, 210, 30, ui(kBoxes[i].caption));
        pf::setControlState(id, (current >> i) & 1);
    }
    for (int i = 0; i < ConnectionBoxCount; ++i) {
        const ConnectionSetting& s = kConnectionSettings[i];
        const int id = pf::checkBox(w, FirstConnectionBox + i, 50, ConnectionFrameTop + 20 + 30 * i,
                                    210, 30, ui(s.caption));
        pf::setControlState(id, s.current() ? 1 : 0);
    }
    pf::button(w, Accept, 160, ButtonTop, 120, 20, ui(Txt::OptAccept));
    pf::button(w, Cancel, 10, ButtonTop, 120, 20, ui(Txt::OptCancel));
    pf::frame(w, OuterFrame, 0, 0, 290, Height - 2, "");
    pf::setAccessibleName(OuterFrame, ui(Txt::MenuOptions));
    pf::frame(w, MessagesFrame, 20, 30, 250, 120, ui(Txt::OptFrameMessages));
    pf::frame(w, GeneralFrame, 20, 160, 250, 180, ui(Txt::OptFrameGeneral));
    pf::frame(w, ConnectionFrame, 20, ConnectionFrameTop, 250, ConnectionFrameHeight,
              ui(Own::OptFrameConnection));
    pf::showWindow(w);
}

void optionsWindowHandler(pf::Event& event) {
    if (event.kind == pf::EventKind::CloseRequest) {
        pf::closeWindow(Window);
        event = {};
        return;
    }
    if (event.kind != pf::EventKind::Control || event.type != pf::EventType::Click) return;
    if (event.id == Accept) {
        // Two atomic steps, each leaving every other bit alone: a plug-in may
        // set its request bit in the high byte at any moment.
        const uint16_t low = tickedBits();
        clearOptionBits(static_cast<uint16_t>(LowByte & ~low));
        setOptionBits(low);
        for (int i = 0; i < ConnectionBoxCount; ++i)
            kConnectionSettings[i].accept(pf::controlState(FirstConnectionBox + i) != 0);
        pf::closeWindow(Window);
    } else if (event.id == Cancel) {
        pf::closeWindow(Window);
    }
}

namespace {
const bool handlerRegistered = registerWindow(optwin::Window, &optionsWindowHandler);
}  // namespace

}  // namespace kavel
