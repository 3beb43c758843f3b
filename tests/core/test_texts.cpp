#include <gtest/gtest.h>

#include "common/cp1252.h"
#include "common/data.h"

using namespace kavel;

class Texts : public ::testing::Test {
  protected:
    void SetUp() override { loadUiTexts(); }
};

TEST_F(Texts, TableHasEveryEntryInOrder) {
    EXPECT_EQ(ui(Txt::MenuActions), "Aktionen");
    EXPECT_EQ(ui(Txt::MenuRoomList), "Liste der verf\xFCgbaren R\xE4ume");
    EXPECT_EQ(ui(Txt::StartOk), "Start erfolgreich");
    EXPECT_EQ(UiTexts[95], "Start erfolgreich");
    EXPECT_EQ(UiTexts[137], "Benutzerinfo von : $");
    EXPECT_EQ(UiTexts[170], "Privatchat:$_$$");
    EXPECT_EQ(UiTexts[176],
              "Es ist ein Fehler aufgetreten.\rInformationen dazu finden sich in der dump.txt.\r"
              "Soll das Programm fortgesetzt werden?");
    for (const auto& t : UiTexts)
        EXPECT_FALSE(t.empty());
}

TEST_F(Texts, RepeatedCaptionsAreSeparateEntries) {
    EXPECT_EQ(UiTexts[12], "Hilfe");
    EXPECT_EQ(UiTexts[13], "Hilfe");
    EXPECT_EQ(UiTexts[24], "Annehmen");
    EXPECT_EQ(UiTexts[60], "Annehmen");
    for (int i : {25, 61, 77})
        EXPECT_EQ(UiTexts[i], "Abbrechen") << i;
    EXPECT_EQ(UiTexts[72],
              "Zur\xFC"
              "ck");
    EXPECT_EQ(UiTexts[87],
              "Zur\xFC"
              "ck");
    EXPECT_EQ(UiTexts[68], ">");
    EXPECT_EQ(UiTexts[70], ">>");
}

TEST_F(Texts, LineBreaksAreSingleCarriageReturns) {
    const std::string& why = ui(Txt::WhyRegisterText);
    EXPECT_EQ(why.find('\n'), std::string::npos);
    EXPECT_EQ(why.substr(0, 57),
              "Als registrierter User verf\xFCgt man \xFC"
              "ber einige Features,\r");
    EXPECT_NE(why.find("Beispiel:\r\r1. frei"), std::string::npos);
    EXPECT_TRUE(why.ends_with("Namen\r\rMelden Sie sich an, es lohnt sich wirklich :)."));
}

TEST_F(Texts, PlaceholdersAreReplacedEverywhere) {
    EXPECT_EQ(ui(Txt::ConnectOk, "localhost"), "Verbindung erfolgreich zu localhost hergestellt");
    EXPECT_EQ(cp1252::fillPlaceholder("$-$", "ab"), "ab-ab");
    EXPECT_EQ(cp1252::fillPlaceholder("kein Platzhalter", "x"), "kein Platzhalter");
}

TEST_F(Texts, CreditLinesFollowTheTable) {
    auto lines = creditLines();
    ASSERT_EQ(lines.size(), 33u);
    EXPECT_EQ(lines[0], "KAVEL Client Program");
    EXPECT_EQ(lines[1], "Windows 1.2");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "ein Klient");
    EXPECT_EQ(lines[7], "des Falvos");
    EXPECT_EQ(lines[8], "");
    EXPECT_EQ(lines[9], "");
    EXPECT_EQ(lines[10], "Mein Dank geht an");
    for (int i : {11, 13, 15, 17, 19, 22, 24, 27, 29, 31})
        EXPECT_EQ(lines[i], "") << i;
    for (int i : {12, 14, 16, 18, 20, 23, 25, 28, 30, 32})
        EXPECT_FALSE(lines[i].empty()) << i;
    EXPECT_EQ(lines[21], "f\xFCr den geilen Startsound");
    EXPECT_EQ(lines[26], "danke f\xFCr die Hilfe :)");
}

TEST(SharedState, OptionsWordIsTheRecordsField) {
    setOptions(0x0221);
    EXPECT_EQ(clientState.options, 0x0221);
    setOptionBits(opt::PluginCommandRequest);
    EXPECT_TRUE(hasOption(opt::PluginCommandRequest));
    clearOptionBits(opt::PluginCommandRequest);
    EXPECT_EQ(options(), 0x0221);
}

TEST(SharedState, TextFieldsAreOwnedCopies) {
    std::string name = "anna";
    setText(&ClientState::nick, name);
    name[0] = 'X';
    EXPECT_EQ(text(clientState.nick), "anna");
    setText(&ClientState::nick, "[anna>brb]");
    EXPECT_EQ(text(clientState.nick), "[anna>brb]");
    EXPECT_EQ(text(nullptr), "");
}
