#include "ui/GUI_Profile.h"

#include <string>
#include <string_view>

#include "common/data.h"
#include "system/files.h"
#include "system/folders.h"
#include "ui/GUI.h"
#include "ui/GUI_Methods.h"
#include "ui/profile.h"
#include "ui/windows/handlers.h"
#include "ui/windows/main_window.h"
#include "ui/windows/profile_window.h"

namespace kavel {

namespace pf = platform;
using namespace profwin;

namespace {

constexpr char kVT = '\x0b';

// Status line of ours: the profile file separates its fields by spaces and
// the wire protocol its words, so neither can carry such a name or password.
constexpr const char* kBlankInLogin =
    "Benutzername und Passwort d\xFCrfen keine Leerzeichen enthalten";

bool fitsTheWire(std::string_view value) {
    return value.find_first_of(std::string_view(" \r\n\0\x0b", 5)) == std::string_view::npos;
}

// A colour button, the swatch image it shows and the field it edits.
struct ColourButton {
    int button;
    int image;
    int32_t ClientState::*colour;
};
constexpr ColourButton kColours[] = {
    {NameColour, NameSwatch, &ClientState::nameColour},
    {TextColour, TextSwatch, &ClientState::textColour},
    {UrlColour, UrlSwatch, &ClientState::urlColour},
    {BackgroundColour, BackgroundSwatch, &ClientState::backgroundColour},
};

struct ColourMode {
    int button;
    uint16_t mode;
    Txt caption;
    Txt tip;
    int y;
};
constexpr ColourMode kModes[] = {
    {ContrastFirst, opt::ContrastFirst, Txt::ContrastFirst, Txt::ContrastFirstTip, 218},
    {ColourFirst, opt::ColourFirst, Txt::ColourFirst, Txt::ColourFirstTip, 248},
    {IgnoreColours, opt::IgnoreColours, Txt::IgnoreColours, Txt::IgnoreColoursTip, 278},
};

constexpr Txt kInfoLabels[InfoCount] = {Txt::HobbiesLabel, Txt::EmailLabel, Txt::LocationLabel,
                                        Txt::IcqLabel, Txt::HomepageLabel};

std::string profileFile(std::string_view name) {
    return std::string(kProfileFolder) + "/" + std::string(name) + ".prof";
}

void showSwatch(const ColourButton& c, int32_t colour) {
    pf::showImage(c.button, colourSwatch(c.image, SwatchSize, SwatchSize, colour));
}

void buildLoginTab(int w) {
    pf::addPanelTab(Panel, ui(Txt::TabLogin));
    pf::label(w, UserNameLabel, 53, 62, 90, 20, ui(Txt::UserNameLabel));
    pf::textField(w, UserName, 63, 82, 90, 20, "");
    pf::setAccessibleName(UserName, ui(Txt::UserNameLabel));
    pf::label(w, PasswordLabel, 53, 112, 60, 20, ui(Txt::PasswordLabel));
    pf::textField(w, Password, 63, 132, 90, 20, "", true);
    pf::setAccessibleName(Password, ui(Txt::PasswordLabel));
    pf::button(w, Register, 48, 182, 120, 20, ui(Txt::Register));
    pf::button(w, WhyRegister, 48, 212, 120, 20, ui(Txt::WhyRegister));
    pf::button(w, Apply, 48, 242, 120, 21, ui(Txt::Apply));
    pf::frame(w, SecurityFrame, 21, 30, 170, 252, ui(Txt::SecurityFrame));
}

void buildMessagesTab(int w) {
    pf::addPanelTab(Panel, ui(Txt::TabMessages));
    constexpr Txt labels[] = {Txt::NameColourLabel, Txt::TextColourLabel, Txt::UrlColourLabel,
                              Txt::BackgroundLabel};
    for (int i = 0; i < 4; ++i) {
        pf::label(w, NameColourLabel + i, 15, 48 + 30 * i, 158, 20, ui(labels[i]));
        pf::imageButton(w, kColours[i].button, 175, 43 + 30 * i, 20, 20);
        pf::setAccessibleName(kColours[i].button, ui(labels[i]));
    }
    pf::frame(w, ColourFrame, 8, 18, 200, 150, ui(Txt::ColourFrame));
    for (const ColourMode& m : kModes) {
        pf::optionButton(w, m.button, 28, m.y, 160, 20, ui(m.caption));
        pf::setToolTip(m.button, ui(m.tip));
    }
    pf::frame(w, DisplayFrame, 8, 186, 200, 120, ui(Txt::DisplayFrame));
}

void buildGeneralTab(int w) {
    pf::addPanelTab(Panel, ui(Txt::TabGeneral));
    for (int i = 0; i < InfoCount; ++i) {
        pf::label(w, FirstInfoLabel + i, 38, 43 + 50 * i, 90, 20, ui(kInfoLabels[i]));
        pf::textField(w, FirstInfoField + i, 48, 63 + 50 * i, 120, 20, "");
        pf::setAccessibleName(FirstInfoField + i, ui(kInfoLabels[i]));
    }
    pf::frame(w, InfoFrame, 18, 18, 180, 280, ui(Txt::OptionalFrame));
}

void buildCommentsTab(int w) {
    pf::addPanelTab(Panel, ui(Txt::TabComments));
    pf::editor(w, OwnRemarks, 18, 38, 180, 110);
    pf::setAccessibleName(OwnRemarks, ui(Txt::OwnRemarksFrame));
    pf::editor(w, AdminRemarks, 18, 188, 180, 110, true);
    pf::setAccessibleName(AdminRemarks, ui(Txt::AdminRemarksFrame));
    pf::frame(w, OwnRemarksFrame, 8, 18, 200, 140, ui(Txt::OwnRemarksFrame));
    pf::frame(w, AdminRemarksFrame, 8, 166, 200, 140, ui(Txt::AdminRemarksFrame));
}

void buildSaveTab(int w) {
    pf::addPanelTab(Panel, ui(Txt::TabSave));
    pf::button(w, SaveProfile, 38, 68, 140, 40, ui(Txt::SaveProfile));
    pf::label(w, LoadLabel, 38, 148, 140, 20, ui(Txt::LoadProfile), true);
    pf::comboBox(w, ProfileList, 38, 168, 140, 100);
    pf::setAccessibleName(ProfileList, ui(Txt::LoadProfile));
    pf::button(w, Accept, 18, 238, 80, 40, ui(Txt::ProfileAccept), true);
    pf::button(w, Cancel, 118, 238, 80, 40, ui(Txt::ProfileCancel));
    pf::frame(w, SaveFrame, 8, 26, 200, 270, ui(Txt::SaveFrame));
}

// The five "Allgemeines" fields from infoFields. All five are set, empty
// ones too: after loading another profile from the list no entry of the
// previous one may stay behind and be taken into the new one.
void showInfoFields(std::string_view info) {
    for (int i = 0; i < InfoCount; ++i) {
        const auto vt = i + 1 < InfoCount ? info.find(kVT) : std::string_view::npos;
        pf::setControlText(FirstInfoField + i, info.substr(0, vt));
        info = vt == std::string_view::npos ? std::string_view() : info.substr(vt + 1);
    }
}

void fillProfileList() {
    pf::clearItems(ProfileList);
    if (!pf::folderExists(kProfileFolder)) {
        pf::makeFolder(kProfileFolder);
        return;
    }
    const std::string current = std::string(text(clientState.profileName)) + ".prof";
    int selected = 0;
    int index = 0;
    for (const std::string& name : pf::listFiles(kProfileFolder, ".prof")) {
        pf::addItem(ProfileList, name);
        if (name == current) selected = index;
        ++index;
    }
    if (index > 0) pf::setSelectedItem(ProfileList, selected);
}

// "Annehmen" (closing) and "übernehmen" (staying open).
// takeProfileWindow reports a name it refuses; an empty one is ours to name.
bool takeOrComplain() {
    if (takeProfileWindow()) return true;
    if (pf::controlText(UserName).empty()) statusMessage(ui(Txt::NeedUserName));
    return false;
}

void acceptProfile(bool close) {
    if (!takeOrComplain()) return;
    setFlag(flag::ProfileUploadPending);
    if (!text(clientState.profileName).empty())
        pf::disableMenuItem(mainwin::Window, mainwin::item::Connect, false);
    if (close) pf::closeWindow(Window);
}

// Registering without a password would leave the name registered to
// nobody who could log in with it; the server ignores such a request and
// the client would still announce the registration.
void registerProfile() {
    if (pf::controlText(UserName).empty()) {
        statusMessage(ui(Txt::NeedUserName));
        return;
    }
    if (pf::controlText(Password).empty()) {
        statusMessage(ui(Txt::NeedPassword));
        return;
    }
    if (!takeProfileWindow()) return;
    setFlag(flag::ProfileUploadPending);
    setFlag(flag::RegisterPending);
}

void saveProfileFromWindow() {
    if (!takeOrComplain()) return;
    // saveProfile reports its own failure; "angelegt" only when it is true.
    if (!saveProfile()) return;
    fillProfileWindow();
    statusMessage(ui(Txt::ProfileCreated, text(clientState.profileName)));
}

void chooseColourFor(const ColourButton& c) {
    const int32_t chosen = pf::chooseColour(clientState.*c.colour);
    if (chosen == -1) return;
    clientState.*c.colour = chosen;
    showSwatch(c, chosen);
}

}  // namespace

int colourSwatch(int image, int width, int height, int32_t colour) {
    pf::createImage(image, width, height);
    pf::fillImage(image, colour);
    return image;
}

int32_t swatchColour(int image) {
    return pf::imagePixel(image, 1, 1);
}

void openProfileWindow(bool mustCreate) {
    const int w = pf::openWindow(
        Window, 0, 0, Width, Height, Title,
        pf::kSystemMenu | pf::kParentCentred | pf::kInvisible | pf::kCompactFont, mainwin::Window);
    if (w < 0) return;
    pf::panel(w, Panel, 10, 10, 220, 340);
    pf::setAccessibleName(Panel, Title);
    buildLoginTab(w);
    buildMessagesTab(w);
    buildGeneralTab(w);
    buildCommentsTab(w);
    buildSaveTab(w);
    pf::closePanelTabs(Panel);
    pf::setControlState(Panel, 0);
    if (mustCreate) pf::disableControl(Cancel, true);
    fillProfileWindow();
    pf::showWindow(w);
}

void fillProfileWindow() {
    if (!pf::windowExists(Window)) return;
    for (const ColourButton& c : kColours)
        showSwatch(c, clientState.*c.colour);
    pf::setControlText(UserName, text(clientState.profileName));
    pf::setControlText(Password, text(clientState.password));
    pf::setControlText(OwnRemarks, text(clientState.ownRemarks));
    pf::setControlText(AdminRemarks, text(clientState.adminRemarks));
    showInfoFields(text(clientState.infoFields));

    uint16_t mode = options() & opt::ColourMode;
    if (mode == 0) {
        setOptionBits(opt::ColourFirst);
        mode = opt::ColourFirst;
    }
    for (const ColourMode& m : kModes)
        pf::setControlState(m.button, m.mode == mode ? 1 : 0);
    fillProfileList();
}

bool takeProfileWindow() {
    const std::string name = pf::controlText(UserName);
    if (name.empty()) return false;
    if (!fitsTheWire(name) || !fitsTheWire(pf::controlText(Password))) {
        statusMessage(kBlankInLogin);
        return false;
    }
    clearOptionBits(opt::ColourMode);
    for (const ColourButton& c : kColours) {
        const int32_t colour = swatchColour(c.image);
        if (colour != -1) clientState.*c.colour = colour;
    }
    for (const ColourMode& m : kModes)
        if (pf::controlState(m.button) != 0) setOptionBits(m.mode);

    setText(&ClientState::profileName, name);
    if (text(clientState.nick).empty()) setText(&ClientState::nick, name);
    setText(&ClientState::password, pf::controlText(Password));
    std::string info;
    for (int i = 0; i < InfoCount; ++i) {
        if (i > 0) info.push_back(kVT);
        info += pf::controlText(FirstInfoField + i);
    }
    setText(&ClientState::infoFields, info);
    setText(&ClientState::ownRemarks, pf::controlText(OwnRemarks));
    setText(&ClientState::adminRemarks, pf::controlText(AdminRemarks));
    if (pf::fileExists(profileFile(name))) saveProfile();
    return true;
}

void profileWindowHandler(pf::Event& event) {
    if (event.kind == pf::EventKind::CloseRequest) {
        if (text(clientState.profileName).empty())
            statusMessage(ui(Txt::NeedUserName));
        else
            pf::closeWindow(Window);
        event = {};
        return;
    }
    if (event.kind != pf::EventKind::Control) return;
    if (event.id == ProfileList) {
        if (event.type != pf::EventType::Change) return;
        const int selected = pf::selectedItem(ProfileList);
        if (selected < 0) return;
        loadProfile(pf::itemText(ProfileList, selected));
        fillProfileWindow();
        return;
    }
    if (event.type != pf::EventType::Click) return;
    for (const ColourButton& c : kColours) {
        if (event.id == c.button) {
            chooseColourFor(c);
            return;
        }
    }
    switch (event.id) {
        case Cancel:
            // Disabled while a profile must be created first.
            if (!pf::controlDisabled(Cancel)) pf::closeWindow(Window);
            break;
        case Accept:
            acceptProfile(true);
            break;
        case Apply:
            acceptProfile(false);
            break;
        case Register:
            registerProfile();
            break;
        case SaveProfile:
            saveProfileFromWindow();
            break;
        case WhyRegister:
            pf::messageBox(ui(Txt::InfoTitle), ui(Txt::WhyRegisterText));
            break;
        default:
            break;
    }
}

namespace {
const bool handlerRegistered = registerWindow(profwin::Window, &profileWindowHandler);
}  // namespace

}  // namespace kavel
