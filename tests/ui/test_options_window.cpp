// The options window with real widgets: its layout, the boxes showing the
// low byte, "Annehmen" replacing only that byte, "Abbrechen" and the close
// request changing nothing.
#include <gtest/gtest.h>

#include "net/NET_Methods.h"
#include "net/NET_Methods_Tls.h"
#include "platform/spell.h"
#include "support/services.h"
#include "ui/GUI_Options.h"
#include "ui/windows/options_window.h"
#include "window_fixture.h"

namespace kavel::test {
namespace {

using namespace optwin;

class OptionsWindow : public WindowTest {};

TEST_F(OptionsWindow, EveryControlInItsPlaceWithItsCaption) {
    // Without a dictionary the group below the boxes holds two rows.
    setService(&gd::Services::dictionaryFolder, (folder.path() / "nichts").string());
    openOptionsWindow();
    ASSERT_TRUE(gd::windowExists(Window));
    EXPECT_EQ(gd::windowTitle(Window), "KAVEL > Optionen");
    EXPECT_EQ(gd::windowWidth(Window), 291);
    // The eight boxes where they always were; the group below them makes
    // the window taller.
    EXPECT_EQ(gd::windowHeight(Window), 512);
    QWidget* frame = gd::windowFrame(Window);
    EXPECT_EQ(frame->parentWidget(), gd::windowFrame(mainwin::Window));
    EXPECT_FALSE(frame->windowFlags().testFlag(Qt::WindowCloseButtonHint));
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
                             {TlsBox, 50, 420, 210, 30,
                              "Verschl\xFC"
                              "sselt verbinden (TLS)"},
                             {Accept, 160, 480, 120, 20, "Annehmen"},
                             {Cancel, 10, 480, 120, 20, "Abbrechen"},
                             {OuterFrame, 0, 0, 290, 510, ""},
                             {MoreFrame, 20, 350, 250, 110, "Weitere Einstellungen"},
                             {MessagesFrame, 20, 30, 250, 120, "Verhalten bei neuen Nachrichten"},
                             {GeneralFrame, 20, 160, 250, 180, "Generelle Einstellungen"},
                         });
}

TEST_F(OptionsWindow, TheTlsBoxShowsAndSetsTheTransport) {
    openOptionsWindow();
    EXPECT_EQ(gd::controlState(TlsBox), 0);
    click(TlsBox);
    click(Cancel);
    EXPECT_FALSE(chatServerTls());

    setOptions(0x0021);
    openOptionsWindow();
    click(TlsBox);
    click(Accept);
    EXPECT_TRUE(chatServerTls());
    EXPECT_EQ(options(), 0x0021);  // the options word is not the place of it
    EXPECT_EQ(chatServerPort(), TlsServerPort);

    openOptionsWindow();
    EXPECT_EQ(gd::controlState(TlsBox), 1);
    click(TlsBox);
    click(Accept);
    EXPECT_FALSE(chatServerTls());
    EXPECT_EQ(chatServerPort(), ServerPort);
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
    EXPECT_EQ(gd::controlY(Accept), 460);
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

}  // namespace
}  // namespace kavel::test
