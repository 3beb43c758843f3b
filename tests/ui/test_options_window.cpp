// The options window with real widgets: its layout, the boxes showing the
// low byte, "Annehmen" replacing only that byte, "Abbrechen" and the close
// request changing nothing.
#include <gtest/gtest.h>

#include <QWidget>
#include "net/NET_Methods.h"
#include "net/NET_Methods_Tls.h"

#include "common/program_options.h"
#include "desktop/spell.h"
#include "support/services.h"
#include "ui/GUI_Methods_Display.h"
#include "ui/GUI_Options.h"
#include "ui/windows/options_window.h"
#include "window_fixture.h"

namespace kavel::test {
namespace {

using namespace optwin;

class OptionsWindow : public WindowTest {};

TEST_F(OptionsWindow, EveryControlInItsPlaceWithItsCaption) {
    // Without a dictionary the group below the boxes holds three rows.
    setService(&gd::Services::dictionaryFolder, (folder.path() / "nichts").string());
    openOptionsWindow();
    // The eight boxes where they always were; the group below them holds
    // spelling, time stamps, rejoining, the tray and TLS.
    expectChildWindow(Window, "KAVEL > Optionen", 291, 622);
    if (HasFatalFailure()) return;
    EXPECT_FALSE(gd::windowFrame(Window)->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    expectPlaces(Window, {
                             {2, 50, 50, 210, 30, "Sound abspielen"},
                             {3, 50, 80, 210, 30, "blinken"},
                             {4, 50, 110, 210, 30, "nur eigene"},
                             {5, 50, 180, 210, 30, "immer im Vordergrund halten"},
                             {6, 50, 210, 210, 30, "Chatfenster separat anzeigen"},
                             {7, 50, 240, 210, 30, "Links/URLs im Text markieren"},
                             {8, 50, 270, 210, 30, "Smilies nicht grafisch darstellen"},
                             {9, 50, 300, 210, 30, "kein automatischer Ping"},
                             {SpellCheckBox, 50, 370, 210, 30,
                              "Rechtschreibung pr\xFC"
                              "fen"},
                             {SpellNote, 50, 400, 210, 20, "Kein W\xF6rterbuch (hunspell-de-de)"},
                             {TimeStampBox, 50, 420, 210, 30, "Zeitstempel vor jeder Zeile"},
                             {RejoinRooms, 50, 450, 210, 30, "Offene R\xE4ume wieder betreten"},
                             {CloseToTray, 50, 480, 210, 30,
                              "In den Infobereich schlie\xDF"
                              "en"},
                             {NoTrayNote, 50, 510, 210, 20, "Kein Infobereich vorhanden"},
                             {TlsBox, 50, 530, 210, 30,
                              "Verschl\xFC"
                              "sselt verbinden (TLS)"},
                             {Accept, 160, 590, 120, 20, "Annehmen"},
                             {Cancel, 10, 590, 120, 20, "Abbrechen"},
                             {OuterFrame, 0, 0, 290, 620, ""},
                             {MoreFrame, 20, 350, 250, 220, "Weitere Einstellungen"},
                             {MessagesFrame, 20, 30, 250, 120, "Verhalten bei neuen Nachrichten"},
                             {GeneralFrame, 20, 160, 250, 180, "Generelle Einstellungen"},
                         });
    // The new captions fit their places in the window's font.
    for (int id : {RejoinRooms, CloseToTray, NoTrayNote})
        EXPECT_LE(gd::controlWidget(id)->sizeHint().width(), gd::controlWidth(id)) << id;
}

TEST_F(OptionsWindow, TheTlsBoxShowsAndSetsTheTransport) {
    openOptionsWindow();
    EXPECT_EQ(gd::controlState(TlsBox), 0);
    click(TlsBox);
    click(Cancel);
    EXPECT_FALSE(session().tls());

    setOptions(0x0021);
    openOptionsWindow();
    click(TlsBox);
    click(Accept);
    EXPECT_TRUE(session().tls());
    EXPECT_EQ(options(), 0x0021);  // the options word is not the place of it
    EXPECT_EQ(session().port(), TlsServerPort);

    openOptionsWindow();
    EXPECT_EQ(gd::controlState(TlsBox), 1);
    click(TlsBox);
    click(Accept);
    EXPECT_FALSE(session().tls());
    EXPECT_EQ(session().port(), ServerPort);
}

TEST_F(OptionsWindow, WithoutADictionaryTheSpellingBoxIsGreyedOut) {
    setService(&gd::Services::dictionaryFolder, (folder.path() / "nichts").string());
    openOptionsWindow();
    EXPECT_TRUE(gd::controlDisabled(SpellCheckBox));
    EXPECT_EQ(gd::controlState(SpellCheckBox), 0);
    click(Accept);
    EXPECT_TRUE(gd::spellingWanted());  // what the user chose stays for a dictionary to come
}

TEST_F(OptionsWindow, TheSpellingBoxShowsAndSetsTheOption) {
    if (!gd::spellingAvailable()) GTEST_SKIP() << gd::spellingUnavailableReason();
    openOptionsWindow();
    EXPECT_FALSE(gd::controlExists(SpellNote));
    EXPECT_EQ(gd::controlY(Accept), 460 + 80 + 30);  // the rejoin, tray and TLS rows below it
    EXPECT_EQ(gd::controlState(SpellCheckBox), 1);
    click(SpellCheckBox);
    click(Cancel);
    EXPECT_TRUE(gd::spellingWanted());
    openOptionsWindow();
    click(SpellCheckBox);
    click(Accept);
    EXPECT_FALSE(gd::spellingWanted());
    openOptionsWindow();
    EXPECT_EQ(gd::controlState(SpellCheckBox), 0);
}

TEST_F(OptionsWindow, TheTimeStampBoxShowsAndSetsTheOption) {
    const uint16_t before = options();
    openOptionsWindow();
    EXPECT_EQ(gd::controlState(TimeStampBox), 0);
    EXPECT_EQ(gd::accessibleName(TimeStampBox), "Zeitstempel vor jeder Zeile");
    click(TimeStampBox);
    click(Cancel);
    EXPECT_FALSE(displayOptions().timeStamps);
    openOptionsWindow();
    click(TimeStampBox);
    click(Accept);
    EXPECT_TRUE(displayOptions().timeStamps);
    EXPECT_EQ(options(), before);  // not a bit of the profile's options word
    openOptionsWindow();
    EXPECT_EQ(gd::controlState(TimeStampBox), 1);
    click(TimeStampBox);
    click(Accept);
    EXPECT_FALSE(displayOptions().timeStamps);
}

TEST_F(OptionsWindow, TheBoxesShowTheLowByte) {
    for (uint16_t low : {0x00, 0xA5, 0x5A, 0xFF}) {
        setOptions(static_cast<uint16_t>(0x0300 | low));
        openOptionsWindow();
        for (int bit = 0; bit < 8; ++bit)
            EXPECT_EQ(gd::controlState(FirstCheckBox + bit), (low >> bit) & 1)
                << "bit " << bit << " of " << low;
        gd::closeWindow(Window);
    }
}

TEST_F(OptionsWindow, AcceptReplacesTheLowByteAndKeepsTheHighByte) {
    // Colour mode, the plug-ins' request bit and sound, blinking, link marking.
    setOptions(0x0200 | opt::PluginCommandRequest | 0x23);
    openOptionsWindow();
    click(2);  // sound off
    click(9);  // no ping on
    click(6);  // separate windows on
    EXPECT_TRUE(gd::windowExists(Window));
    EXPECT_EQ(options(), 0x0200 | opt::PluginCommandRequest | 0x23);  // nothing before "Annehmen"
    click(Accept);
    EXPECT_FALSE(gd::windowExists(Window));
    EXPECT_EQ(options(), 0x0200 | opt::PluginCommandRequest | 0x22 | 0x80 | 0x10);
}

TEST_F(OptionsWindow, CancelAndTheCloseRequestChangeNothing) {
    setOptions(0x0321);
    openOptionsWindow();
    click(3);
    click(Cancel);
    EXPECT_FALSE(gd::windowExists(Window));
    EXPECT_EQ(options(), 0x0321);

    openOptionsWindow();
    click(4);
    gd::postEvent({gd::EventKind::CloseRequest, Window, 0, gd::EventType::None});
    EXPECT_TRUE(mainLoopPass());  // never the end of the program
    EXPECT_FALSE(gd::windowExists(Window));
    EXPECT_EQ(options(), 0x0321);
}

TEST_F(OptionsWindow, EachOpeningShowsTheOptionsOfThatMoment) {
    setOptions(0x0001);
    openOptionsWindow();
    click(5);  // ticked, never accepted
    gd::closeWindow(Window);
    setOptions(0x0002);
    openOptionsWindow();
    EXPECT_EQ(gd::controlState(2), 0);
    EXPECT_EQ(gd::controlState(3), 1);
    EXPECT_EQ(gd::controlState(5), 0);
}

// The program-wide rows: they show prefs.ini's options, "Annehmen" takes
// them and "Abbrechen" does not; the eight boxes' byte is untouched by them.
TEST_F(OptionsWindow, TheProgramWideRowsShowAndTakeTheirOptions) {
    kavel::test::setService(&gd::Services::trayAvailable, [] { return true; });
    setOptions(0x0321);
    programOptions().closeToTray = true;
    openOptionsWindow();
    EXPECT_EQ(gd::controlState(RejoinRooms), 0);
    EXPECT_EQ(gd::controlState(CloseToTray), 1);
    EXPECT_FALSE(gd::controlDisabled(CloseToTray));
    EXPECT_FALSE(gd::controlExists(NoTrayNote));
    // No note; the TLS row follows.
    EXPECT_EQ(gd::controlY(TlsBox), gd::controlY(CloseToTray) + 30);
    EXPECT_EQ(gd::controlY(Accept), gd::controlY(TlsBox) + 30 + 10 + 20);
    click(RejoinRooms);
    click(CloseToTray);
    click(Cancel);
    EXPECT_FALSE(programOptions().rejoinRooms);
    EXPECT_TRUE(programOptions().closeToTray);

    openOptionsWindow();
    click(RejoinRooms);
    click(CloseToTray);
    click(Accept);
    EXPECT_TRUE(programOptions().rejoinRooms);
    EXPECT_FALSE(programOptions().closeToTray);
    EXPECT_EQ(options(), 0x0321);
}

TEST_F(OptionsWindow, WithoutATrayClosingToItIsOffDisabledAndSaysWhy) {
    programOptions().closeToTray = true;  // written on a desktop that has one
    openOptionsWindow();
    EXPECT_EQ(gd::controlState(CloseToTray), 0);
    EXPECT_TRUE(gd::controlDisabled(CloseToTray));
    EXPECT_TRUE(gd::controlExists(NoTrayNote));
    EXPECT_NE(gd::accessibleName(CloseToTray).find("Kein Infobereich vorhanden"),
              std::string::npos);
    click(RejoinRooms);
    click(Accept);
    EXPECT_TRUE(programOptions().rejoinRooms);
    // Kept for that desktop; here it has no effect.
    EXPECT_TRUE(programOptions().closeToTray);
}

}  // namespace
}  // namespace kavel::test
