// The options window's rows for rejoining rooms and for the tray, in the
// group below the eight check boxes.
#include "ui/GUI_Options_Session.h"

#include <string>

#include "common/program_options.h"
#include "desktop/gadgets.h"
#include "desktop/tray.h"
#include "ui/GUI_Options.h"
#include "ui/windows/options_window.h"

namespace kavel {

namespace pf = platform;
using namespace optwin;

namespace {

constexpr const char* kRejoin = "Offene R\xE4ume wieder betreten";
constexpr const char* kRejoinTip =
    "Die R\xE4ume, die beim Beenden oder Trennen offen waren, werden beim n\xE4"
    "chsten Login in derselben Reihenfolge wieder betreten";
constexpr const char* kCloseToTray =
    "In den Infobereich schlie\xDF"
    "en";
constexpr const char* kCloseToTrayTip =
    "Das Schlie\xDF"
    "en des Hauptfensters beendet KAVEL nicht, es bleibt im Infobereich; "
    "\"Beenden\" beendet es";
constexpr const char* kNoTray = "Kein Infobereich vorhanden";
constexpr const char* kNoTrayTip =
    "Diese Arbeitsoberfl\xE4"
    "che zeigt keinen Infobereich, das Hauptfenster kann nicht "
    "dorthin gelegt werden";

}  // namespace

int sessionOptionRowsHeight() {
    return pf::trayAvailable() ? 60 : 80;
}

void addSessionOptionRows(int w, int& y) {
    const ProgramOptions& o = programOptions();
    pf::checkBox(w, RejoinRooms, 50, y, 210, 30, kRejoin);
    pf::setControlState(RejoinRooms, o.rejoinRooms);
    pf::setToolTip(RejoinRooms, kRejoinTip);
    y += 30;

    pf::checkBox(w, CloseToTray, 50, y, 210, 30, kCloseToTray);
    y += 30;
    if (pf::trayAvailable()) {
        pf::setControlState(CloseToTray, o.closeToTray);
        pf::setToolTip(CloseToTray, kCloseToTrayTip);
        return;
    }
    // Off and not to be switched on; the note under it says why, and the
    // box's own name says it to a screen reader.
    pf::setControlState(CloseToTray, 0);
    pf::disableControl(CloseToTray, true);
    pf::setToolTip(CloseToTray, kNoTrayTip);
    pf::setAccessibleName(CloseToTray, std::string(kCloseToTray) + " (" + kNoTray + ")");
    pf::label(w, NoTrayNote, 50, y, 210, 20, kNoTray);
    y += 20;
}

void takeSessionOptionRows() {
    ProgramOptions& o = programOptions();
    o.rejoinRooms = pf::controlState(RejoinRooms) != 0;
    // A box that could not be ticked keeps what prefs.ini says for a
    // desktop that has a tray.
    if (!pf::controlDisabled(CloseToTray)) o.closeToTray = pf::controlState(CloseToTray) != 0;
}

}  // namespace kavel
