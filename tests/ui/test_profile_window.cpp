// The profile window with real widgets: its layout, the mandatory mode, the
// way values go between the window and ClientState, the stored-profile
// list, and what each button and the close box do.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>

#include <algorithm>
#include <filesystem>

#include "desktop/encoding.h"
#include "support/file_io.h"
#include "ui/GUI_Profile.h"
#include "ui/profile.h"
#include "ui/windows/profile_window.h"
#include "window_fixture.h"

namespace kavel::test {
namespace {

using namespace profwin;

const std::string VT = "\x0b";

class ProfileWindow : public WindowTest {
  protected:
    void setProfile(const std::string& name, const std::string& password = "pw") {
        setText(&ClientState::profileName, name);
        setText(&ClientState::nick, name);
        setText(&ClientState::password, password);
    }
    void type(int id, const std::string& value) {
        // What the user typed, without the facade's own "no events" setter.
        if (auto* e = qobject_cast<QLineEdit*>(gd::controlWidget(id)))
            e->setText(gd::toQString(value));
    }
    std::vector<std::string> listed() const {
        std::vector<std::string> out;
        for (int i = 0; i < gd::itemCount(ProfileList); ++i)
            out.push_back(gd::itemText(ProfileList, i));
        return out;
    }
};

TEST_F(ProfileWindow, EveryControlInItsPlaceWithItsCaption) {
    openProfileWindow(false);
    expectChildWindow(Window, "KAVEL > Profil", 242, 362);
    if (HasFatalFailure()) return;

    expectPlaces(
        Window,
        {
            {Panel, 10, 10, 220, 340, "Login"},
            {UserNameLabel, 53, 62, 90, 20, "Benutzername:"},
            {UserName, 63, 82, 90, 20, nullptr},
            {PasswordLabel, 53, 112, 60, 20, "Passwort:"},
            {Password, 63, 132, 90, 20, nullptr},
            {Register, 48, 182, 120, 20, "neu registrieren"},
            {WhyRegister, 48, 212, 120, 20, "warum registrieren?"},
            {Apply, 48, 242, 120, 21,
             "\xFC"
             "bernehmen"},
            {SecurityFrame, 21, 30, 170, 252, "Sicherheitseinstellungen"},
            {NameColourLabel, 15, 48, 158, 20, "Farbe des Benutzernamens"},
            {TextColourLabel, 15, 78, 158, 20, "Farbe der Nachricht"},
            {UrlColourLabel, 15, 108, 158, 20, "Markierungsfarbe von URLs"},
            {BackgroundLabel, 15, 138, 158, 20, "Hintergrundfarbe des Chats"},
            {NameColour, 175, 43, 20, 20, nullptr},
            {TextColour, 175, 73, 20, 20, nullptr},
            {UrlColour, 175, 103, 20, 20, nullptr},
            {BackgroundColour, 175, 133, 20, 20, nullptr},
            {ColourFrame, 8, 18, 200, 150, "Farbeinstellungen"},
            {ContrastFirst, 28, 218, 160, 20, "Kontrast vor Farbe"},
            {ColourFirst, 28, 248, 160, 20, "Farbe vor Kontrast"},
            {IgnoreColours, 28, 278, 160, 20, "Farbgebung ignorieren"},
            {DisplayFrame, 8, 186, 200, 120, "Anzeigeoptionen"},
            {42, 38, 43, 90, 20, "Hobbies:"},
            {37, 48, 63, 120, 20, nullptr},
            {43, 38, 93, 90, 20, "E-Mail Adresse:"},
            {38, 48, 113, 120, 20, nullptr},
            {44, 38, 143, 90, 20, "Wohnort:"},
            {39, 48, 163, 120, 20, nullptr},
            {45, 38, 193, 90, 20, "ICQ-Nummer:"},
            {40, 48, 213, 120, 20, nullptr},
            {46, 38, 243, 90, 20, "Homepage:"},
            {41, 48, 263, 120, 20, nullptr},
            {InfoFrame, 18, 18, 180, 280, "Optionale Informationen"},
            {OwnRemarks, 18, 38, 180, 110, nullptr},
            {AdminRemarks, 18, 188, 180, 110, nullptr},
            {OwnRemarksFrame, 8, 18, 200, 140, "Eigene Bemerkungen"},
            {AdminRemarksFrame, 8, 166, 200, 140, "Bemerkungen der Administratoren"},
            {SaveProfile, 38, 68, 140, 40, "Profil speichern"},
            {LoadLabel, 38, 148, 140, 20, "Profil laden"},
            {ProfileList, 38, 168, 140, -1, nullptr},  // a drop-down list is as high as its font
            {Accept, 18, 238, 80, 40, "Annehmen"},
            {Cancel, 118, 238, 80, 40, "Abbrechen"},
            {SaveFrame, 8, 26, 200, 270, "Absichern"},
        });

    // Five tabs; every control sits on the page of its tab.
    auto* tabs = qobject_cast<QTabWidget*>(gd::controlWidget(Panel));
    ASSERT_NE(tabs, nullptr);
    const char* titles[] = {"Login", "Nachrichten", "Allgemeines", "Kommentare", "Sichern"};
    ASSERT_EQ(tabs->count(), 5);
    for (int i = 0; i < 5; ++i) {
        gd::setControlState(Panel, i);
        EXPECT_EQ(gd::controlText(Panel), titles[i]);
    }
    const std::pair<int, int> onTab[] = {{UserName, 0}, {NameColour, 1},   {ContrastFirst, 1},
                                         {41, 2},       {AdminRemarks, 3}, {ProfileList, 4}};
    for (auto [id, tab] : onTab)
        EXPECT_EQ(gd::controlWidget(id)->parentWidget(), tabs->widget(tab)) << id;

    EXPECT_EQ(gd::controlWidget(ContrastFirst)->toolTip(),
              "die Textfarbe wird ver\u00e4ndert, wenn Text und Hintergrund keinen Kontrast "
              "zulassen");
    EXPECT_EQ(gd::controlWidget(ColourFirst)->toolTip(),
              "die Farbe wird beibehalten, auch wenn der Kontrast schlecht ist");
    EXPECT_EQ(gd::controlWidget(IgnoreColours)->toolTip(),
              "ignoriert die \u00fcbertragende Farbgebung vollst\u00e4ndig");
    EXPECT_EQ(qobject_cast<QLineEdit*>(gd::controlWidget(Password))->echoMode(),
              QLineEdit::Password);
    EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(gd::controlWidget(AdminRemarks))->isReadOnly());
    EXPECT_FALSE(qobject_cast<QPlainTextEdit*>(gd::controlWidget(OwnRemarks))->isReadOnly());
    EXPECT_NE(gd::controlWidget(Accept)->findChild<QLabel*>(), nullptr);  // may wrap
}

TEST_F(ProfileWindow, MandatoryModeDisablesCancelTheMenuDoesNot) {
    openProfileWindow(true);
    EXPECT_TRUE(gd::controlDisabled(Cancel));
    EXPECT_FALSE(click(Cancel));  // a disabled button cannot be pressed
    EXPECT_TRUE(gd::windowExists(Window));

    gd::closeWindow(Window);
    openProfileWindow(false);
    EXPECT_FALSE(gd::controlDisabled(Cancel));
    EXPECT_TRUE(click(Cancel));
    EXPECT_FALSE(gd::windowExists(Window));
}

TEST_F(ProfileWindow, FillShowsTheStateAndTakeReadsItBack) {
    setProfile("anna", "geheim");
    clientState.nameColour = 0x0000FF;
    clientState.textColour = 0x00FF00;
    clientState.urlColour = 0xFF0000;
    clientState.backgroundColour = 0xFFFFFF;
    setText(&ClientState::infoFields,
            "Lesen" + VT + "a@b.de" + VT + "Bad Homburg" + VT + VT + "http://x");
    setText(&ClientState::ownRemarks, "hallo");
    setText(&ClientState::adminRemarks, "brav");
    setOptions(0x0225 | opt::PluginCommandRequest);
    openProfileWindow(false);

    EXPECT_EQ(gd::controlText(UserName), "anna");
    EXPECT_EQ(gd::controlText(Password), "geheim");
    EXPECT_EQ(gd::controlText(39), "Bad Homburg");
    EXPECT_EQ(gd::controlText(40), "");
    EXPECT_EQ(gd::controlText(41), "http://x");
    EXPECT_EQ(gd::controlText(AdminRemarks), "brav");
    EXPECT_EQ(gd::controlState(ContrastFirst), 1);
    EXPECT_EQ(gd::controlState(ColourFirst), 0);
    const std::pair<int, int32_t> swatches[] = {{NameColour, 0x0000FF},
                                                {TextColour, 0x00FF00},
                                                {UrlColour, 0xFF0000},
                                                {BackgroundColour, 0xFFFFFF}};
    for (auto [button, colour] : swatches)
        EXPECT_EQ(gd::shownPixel(button, 1, 1), colour) << button;

    // Nothing changed in the window: taking gives back what was there.
    ASSERT_TRUE(takeProfileWindow());
    EXPECT_EQ(text(clientState.infoFields),
              "Lesen" + VT + "a@b.de" + VT + "Bad Homburg" + VT + VT + "http://x");
    EXPECT_EQ(clientState.nameColour, 0x0000FF);
    EXPECT_EQ(clientState.backgroundColour, 0xFFFFFF);
    EXPECT_EQ(options(), 0x0225 | opt::PluginCommandRequest);

    // A new mode and new texts.
    click(IgnoreColours);
    type(UserName, "bert");
    type(Password, "neu");
    gd::setControlText(OwnRemarks, "eigene Worte");
    ASSERT_TRUE(takeProfileWindow());
    EXPECT_EQ(options(), 0x0325 | opt::PluginCommandRequest);
    EXPECT_EQ(text(clientState.profileName), "bert");
    EXPECT_EQ(text(clientState.nick), "anna");  // a nick in use stays
    EXPECT_EQ(text(clientState.password), "neu");
    EXPECT_EQ(text(clientState.ownRemarks), "eigene Worte");
    EXPECT_EQ(text(clientState.adminRemarks), "brav");
}

TEST_F(ProfileWindow, NoColourModeBecomesColourFirst) {
    setProfile("anna");
    setOptions(0x0021);
    openProfileWindow(false);
    EXPECT_EQ(options(), 0x0121);
    EXPECT_EQ(gd::controlState(ColourFirst), 1);
}

TEST_F(ProfileWindow, TakingWithAnEmptyNameChangesNothing) {
    setProfile("", "alt");
    setOptions(0x0221);
    openProfileWindow(false);
    type(Password, "neu");
    click(IgnoreColours);
    EXPECT_FALSE(takeProfileWindow());
    EXPECT_EQ(text(clientState.password), "alt");
    EXPECT_EQ(options(), 0x0221);
}

TEST_F(ProfileWindow, TakingSavesAtOnceOnlyWhenTheProfileHasAFile) {
    setProfile("anna");
    openProfileWindow(false);
    type(Password, "neu");
    ASSERT_TRUE(takeProfileWindow());
    EXPECT_FALSE(std::filesystem::exists("profile/anna.prof"));

    ASSERT_TRUE(saveProfile());
    type(Password, "neuer");
    ASSERT_TRUE(takeProfileWindow());
    const auto stored = decodeProfile(slurp("profile/anna.prof"));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->password, "neuer");
}

TEST_F(ProfileWindow, TheListSelectsTheCurrentProfileOrTheFirst) {
    for (const char* name : {"anna", "bert", "carl"}) {
        setProfile(name);
        ASSERT_TRUE(saveProfile());
    }
    spit("profile/notiz.txt", "x");
    std::filesystem::create_directory("profile/ordner.prof");
    spit("profile/.prof", "x");

    setProfile("bert");
    openProfileWindow(false);
    auto names = listed();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"anna.prof", "bert.prof", "carl.prof"}));
    EXPECT_EQ(gd::itemText(ProfileList, gd::selectedItem(ProfileList)), "bert.prof");

    gd::closeWindow(Window);
    setProfile("dora");  // no file of its own
    openProfileWindow(false);
    EXPECT_EQ(gd::selectedItem(ProfileList), 0);
}

TEST_F(ProfileWindow, WithoutAFolderTheListIsEmptyAndTheFolderMade) {
    openProfileWindow(false);
    EXPECT_EQ(gd::itemCount(ProfileList), 0);
    EXPECT_TRUE(std::filesystem::is_directory("profile"));
}

TEST_F(ProfileWindow, ChoosingAnEntryLoadsThatProfile) {
    setProfile("anna", "a");
    setText(&ClientState::infoFields, "Lesen" + VT + VT + VT + VT);
    ASSERT_TRUE(saveProfile());
    setProfile("bert", "b");
    setText(&ClientState::infoFields, "");
    clientState.nameColour = 0x123456;
    ASSERT_TRUE(saveProfile());
    setText(&ClientState::nick, "[bert>Essen]");
    setProfile("anna", "a");
    setText(&ClientState::infoFields, "Lesen" + VT + VT + VT + VT);
    openProfileWindow(false);
    ASSERT_EQ(gd::controlText(37), "Lesen");

    auto* combo = qobject_cast<QComboBox*>(gd::controlWidget(ProfileList));
    // The user's choice, as the drop-down list reports it.
    combo->setCurrentIndex(combo->findText("bert.prof"));
    emit combo->activated(combo->currentIndex());
    pass();
    EXPECT_EQ(text(clientState.profileName), "bert");
    EXPECT_EQ(text(clientState.nick), "bert");
    EXPECT_EQ(clientState.nameColour, 0x123456);
    EXPECT_EQ(gd::controlText(UserName), "bert");
    EXPECT_EQ(gd::controlText(Password), "b");
    EXPECT_EQ(gd::shownPixel(NameColour, 1, 1), 0x123456);
    // Nothing of anna's entries stays behind to be taken into bert's.
    EXPECT_EQ(gd::controlText(37), "");
    EXPECT_EQ(gd::itemText(ProfileList, gd::selectedItem(ProfileList)), "bert.prof");
}

TEST_F(ProfileWindow, ColourButtonsStoreTheChoiceAndACancelChangesNothing) {
    setProfile("anna");
    clientState.nameColour = 1;
    clientState.textColour = 2;
    clientState.urlColour = 3;
    clientState.backgroundColour = 4;
    openProfileWindow(false);
    struct Row {
        int button;
        int32_t ClientState::*field;
        int32_t before;
    };
    const Row rows[] = {{NameColour, &ClientState::nameColour, 1},
                        {TextColour, &ClientState::textColour, 2},
                        {UrlColour, &ClientState::urlColour, 3},
                        {BackgroundColour, &ClientState::backgroundColour, 4}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.button);
        answer = [](const gd::DialogRequest&) { return gd::DialogAnswer{}; };  // cancelled
        asked.clear();
        click(r.button);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].kind, gd::DialogRequest::Colour);
        EXPECT_EQ(clientState.*r.field, r.before);
        EXPECT_EQ(gd::shownPixel(r.button, 1, 1), r.before);

        answer = [](const gd::DialogRequest&) {
            gd::DialogAnswer a;
            a.colour = 0xABCDEF;
            return a;
        };
        click(r.button);
        EXPECT_EQ(clientState.*r.field, 0xABCDEF);
        EXPECT_EQ(gd::shownPixel(r.button, 1, 1), 0xABCDEF);
    }
}

TEST_F(ProfileWindow, AcceptAndApplyTakeFlagTheUploadAndEnableConnect) {
    openProfileWindow(true);
    ASSERT_TRUE(kavel::test::menuItemDisabled(mainwin::Window, mainwin::item::Connect));

    click(Accept);  // no name yet
    EXPECT_EQ(lastStatus(), "Bitte geben sie mindestens einen Nutzernamen an.");
    EXPECT_FALSE(hasFlag(flag::ProfileUploadPending));
    EXPECT_TRUE(gd::windowExists(Window));

    type(UserName, "anna");
    click(Apply);
    EXPECT_TRUE(hasFlag(flag::ProfileUploadPending));
    EXPECT_EQ(text(clientState.profileName), "anna");
    EXPECT_FALSE(kavel::test::menuItemDisabled(mainwin::Window, mainwin::item::Connect));
    EXPECT_TRUE(gd::windowExists(Window));  // "übernehmen" keeps it open

    click(Accept);
    EXPECT_FALSE(gd::windowExists(Window));
}

TEST_F(ProfileWindow, RegistrationNeedsANameAndAPassword) {
    openProfileWindow(false);
    click(Register);
    EXPECT_EQ(lastStatus(), "Bitte geben sie mindestens einen Nutzernamen an.");

    type(UserName, "anna");
    click(Register);
    EXPECT_EQ(lastStatus(), "Sie m\xFCssen ein Passwort eingeben, um sich zu registrieren.");
    EXPECT_FALSE(hasFlag(flag::RegisterPending));
    EXPECT_FALSE(hasFlag(flag::ProfileUploadPending));
    EXPECT_EQ(text(clientState.profileName), "");  // refused before anything was taken

    type(Password, "geheim");
    click(Register);
    EXPECT_TRUE(hasFlag(flag::RegisterPending));
    EXPECT_TRUE(hasFlag(flag::ProfileUploadPending));
    EXPECT_EQ(text(clientState.password), "geheim");
    EXPECT_TRUE(gd::windowExists(Window));
}

TEST_F(ProfileWindow, SavingWritesThePrivateFileAndListsIt) {
    openProfileWindow(false);
    click(SaveProfile);
    EXPECT_EQ(lastStatus(), "Bitte geben sie mindestens einen Nutzernamen an.");
    EXPECT_FALSE(std::filesystem::exists("profile/.prof"));

    type(UserName, "anna");
    click(SaveProfile);
    EXPECT_EQ(lastStatus(), "Profil anna angelegt.");
    struct stat info {};
    ASSERT_EQ(stat("profile/anna.prof", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(gd::itemText(ProfileList, gd::selectedItem(ProfileList)), "anna.prof");
}

TEST_F(ProfileWindow, AFailedSaveIsNotReportedAsCreated) {
    spit("profile", "kein Ordner");
    openProfileWindow(false);
    type(UserName, "anna");
    click(SaveProfile);
    EXPECT_EQ(lastStatus(),
              "Profil konnte nicht gespeichert werden; ungen\xFCgende Schreibrechte gesetzt.");
}

TEST_F(ProfileWindow, WhyRegisterExplainsInAnInfoBox) {
    openProfileWindow(false);
    click(WhyRegister);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].kind, gd::DialogRequest::Message);
    EXPECT_EQ(asked[0].title, "Info");
    EXPECT_EQ(asked[0].text,
              "Als registrierter User verf\xFCgt man \xFC"
              "ber einige Features,\r"
              "die es sonst nicht gibt, wie zum Beispiel:\r\r"
              "1. frei einstellbare Profilinformationen\r"
              "2. Userstatistiken\r"
              "3. eigene Farbe des Benutzernamens\r"
              "4. exklusives Recht auf den gew\xE4hlten Namen\r\r"
              "Melden Sie sich an, es lohnt sich wirklich :).");
}

TEST_F(ProfileWindow, TheCloseBoxNeedsATakenName) {
    openProfileWindow(true);
    type(UserName, "anna");  // typed, not taken
    gd::postEvent({gd::EventKind::CloseRequest, Window, 0, gd::EventType::None});
    EXPECT_TRUE(mainLoopPass());
    EXPECT_TRUE(gd::windowExists(Window));
    EXPECT_EQ(lastStatus(), "Bitte geben sie mindestens einen Nutzernamen an.");

    click(Apply);
    gd::postEvent({gd::EventKind::CloseRequest, Window, 0, gd::EventType::None});
    EXPECT_TRUE(mainLoopPass());
    EXPECT_FALSE(gd::windowExists(Window));
}

TEST_F(ProfileWindow, EachOpeningShowsTheStateOfThatMoment) {
    setProfile("anna");
    openProfileWindow(false);
    type(UserName, "nicht genommen");
    gd::closeWindow(Window);
    setProfile("bert");
    openProfileWindow(false);
    EXPECT_EQ(gd::controlText(UserName), "bert");
}

// Neither the space-separated profile file nor the protocol can carry these.
TEST_F(ProfileWindow, ANameOrPasswordWithABlankIsRefusedEverywhere) {
    struct Case {
        const char* name;
        std::string password;
    };
    const Case cases[] = {{"an na", "pw"},
                          {"anna", "p w"},
                          {"anna\x0b", "pw"},
                          {"anna", std::string("p\rw")},
                          {"anna", "p\nw"}};
    const int buttons[] = {Accept, Apply, Register, SaveProfile};
    for (const Case& c : cases) {
        for (int button : buttons) {
            setProfile("alt", "alt");
            openProfileWindow(false);
            type(UserName, c.name);
            type(Password, c.password);
            click(button);
            SCOPED_TRACE(std::string(c.name) + "/" + c.password + " button " +
                         std::to_string(button));
            EXPECT_EQ(lastStatus(),
                      "Benutzername und Passwort d\xFCrfen keine Leerzeichen enthalten.");
            EXPECT_EQ(text(clientState.profileName), "alt");
            EXPECT_EQ(text(clientState.password), "alt");
            EXPECT_FALSE(hasFlag(flag::ProfileUploadPending));
            EXPECT_FALSE(std::filesystem::exists("profile/" + std::string(c.name) + ".prof"));
            gd::closeWindow(Window);
        }
    }
    // A NUL cannot come from a text field but must not slip through either.
    setProfile("alt", "alt");
    openProfileWindow(false);
    type(UserName, "anna");
    type(Password, std::string("p\0w", 3));
    click(Apply);
    EXPECT_EQ(text(clientState.password), "alt");
}

// The entry shown when the window opens is a choice like any other: on a
// first start with one stored profile it is the only one there is.
TEST_F(ProfileWindow, ChoosingThePreselectedEntryLoadsItAndOffersConnect) {
    setProfile("anna", "geheim");
    clientState.nameColour = 0x00FF00;
    ASSERT_TRUE(saveProfile());
    setProfile("", "");
    clientState.nameColour = 0;
    openProfileWindow(true);
    buildMainMenu();
    ASSERT_TRUE(kavel::test::menuItemDisabled(mainwin::Window, mainwin::item::Connect));

    auto* combo = qobject_cast<QComboBox*>(gd::controlWidget(ProfileList));
    ASSERT_EQ(combo->currentText(), "anna.prof");
    emit combo->activated(combo->currentIndex());
    pass();
    EXPECT_EQ(text(clientState.profileName), "anna");
    EXPECT_EQ(clientState.nameColour, 0x00FF00);
    EXPECT_EQ(gd::controlText(Password), "geheim");
    // The loop rebuilds the menu on its next pass; no "Annehmen" needed.
    pass();
    EXPECT_FALSE(kavel::test::menuItemDisabled(mainwin::Window, mainwin::item::Connect));
}

}  // namespace
}  // namespace kavel::test
