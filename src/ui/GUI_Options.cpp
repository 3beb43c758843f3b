#include "ui/GUI_Options.h"
#include "ui/GUI_Options_Session.h"

#include <cstdint>
#include <iterator>

#include "common/data.h"
#include "desktop/spell.h"
#include "net/NET_Methods.h"
#include "ui/GUI.h"
#include "ui/GUI_Methods_Display.h"
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

// The on/off settings of the group below the eight boxes, in box order:
// each one's caption, its value when the window opens, and where
// "Annehmen" puts the box's state.
struct Setting {
    Own caption;
    bool (*current)();
    void (*accept)(bool);
};
constexpr Setting kSettings[] = {
    {Own::OptTls, [] { return session().tls(); }, [](bool on) { session().setTls(on); }},
};
static_assert(std::size(kSettings) == SettingBoxCount);

uint16_t tickedBits() {
    uint16_t bits = 0;
    for (int i = 0; i < CheckBoxCount; ++i)
        if (pf::controlState(FirstCheckBox + i) != 0) bits = static_cast<uint16_t>(bits | 1u << i);
    return bits;
}

// Spell checking: the box, and when there is no dictionary, the box
// greyed out with the reason under it.
int spellingRowsHeight() {
    return pf::spellingAvailable() ? 30 : 50;
}

void addSpellingRows(int w, int& y) {
    const int box = pf::checkBox(w, SpellCheckBox, 50, y, 210, 30, ui(Own::OptSpellCheck));
    y += 30;
    if (pf::spellingAvailable()) {
        pf::setControlState(box, pf::spellingWanted() ? 1 : 0);
        return;
    }
    const std::string reason = pf::spellingUnavailableReason();
    pf::disableControl(box, true);
    pf::setToolTip(box, reason);
    pf::label(w, SpellNote, 50, y, 210, 20, reason);
    y += 20;
}

void takeSpellingRows() {
    if (pf::controlExists(SpellCheckBox) && !pf::controlDisabled(SpellCheckBox))
        pf::setSpellingWanted(pf::controlState(SpellCheckBox) != 0);
}

// Time stamps: one box; lines printed after "Annehmen" follow it.
constexpr int kTimeStampRowHeight = 30;

void addTimeStampRow(int w, int& y) {
    const int box = pf::checkBox(w, TimeStampBox, 50, y, 210, 30, ui(Own::OptTimeStamps));
    pf::setControlState(box, displayOptions().timeStamps ? 1 : 0);
    y += kTimeStampRowHeight;
}

void takeTimeStampRow() {
    if (pf::controlExists(TimeStampBox))
        displayOptions().timeStamps = pf::controlState(TimeStampBox) != 0;
}

}  // namespace

void openOptionsWindow() {
    // The window is opened at its final size: a resize afterwards would
    // queue an event ahead of the user's first click.
    const int groupBottom = MoreTop + 20 + spellingRowsHeight() + kTimeStampRowHeight +
                            sessionOptionRowsHeight() + 30 * SettingBoxCount + 10;
    const int buttons = groupBottom + 20;
    const int w = pf::openWindow(
        Window, 0, 0, Width, buttons + Height - 360, Title,
        pf::kTitleBar | pf::kScreenCentred | pf::kInvisible | pf::kCompactFont, mainwin::Window);
    if (w < 0) return;
    const uint16_t current = options();
    for (int i = 0; i < CheckBoxCount; ++i) {
        const int id =
            pf::checkBox(w, FirstCheckBox + i, 50, kBoxes[i].y, 210, 30, ui(kBoxes[i].caption));
        pf::setControlState(id, (current >> i) & 1);
    }
    int y = MoreTop + 20;
    addSpellingRows(w, y);
    addTimeStampRow(w, y);
    addSessionOptionRows(w, y);
    for (int i = 0; i < SettingBoxCount; ++i, y += 30) {
        const int id =
            pf::checkBox(w, FirstSettingBox + i, 50, y, 210, 30, ui(kSettings[i].caption));
        pf::setControlState(id, kSettings[i].current() ? 1 : 0);
    }
    pf::frame(w, MoreFrame, 20, MoreTop, 250, groupBottom - MoreTop, ui(Own::OptFrameMore));
    pf::button(w, Accept, 160, buttons, 120, 20, ui(Txt::OptAccept));
    pf::button(w, Cancel, 10, buttons, 120, 20, ui(Txt::OptCancel));
    pf::frame(w, OuterFrame, 0, 0, 290, buttons + 30, "");
    pf::setAccessibleName(OuterFrame, ui(Txt::MenuOptions));
    pf::frame(w, MessagesFrame, 20, 30, 250, 120, ui(Txt::OptFrameMessages));
    pf::frame(w, GeneralFrame, 20, 160, 250, 180, ui(Txt::OptFrameGeneral));
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
        takeSpellingRows();
        takeTimeStampRow();
        takeSessionOptionRows();
        for (int i = 0; i < SettingBoxCount; ++i)
            kSettings[i].accept(pf::controlState(FirstSettingBox + i) != 0);
        pf::closeWindow(Window);
    } else if (event.id == Cancel) {
        pf::closeWindow(Window);
    }
}

namespace {
const bool handlerRegistered = registerWindow(optwin::Window, &optionsWindowHandler);
}  // namespace

}  // namespace kavel
