// The program-wide options in prefs.ini: the room list's escaping of what
// the server may put into a room name, malformed entries, and the options
// read at start-up and written back only when switched on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/program_options.h"
#include "core/prefs.h"
#include "core/rejoin.h"
#include "support/file_io.h"
#include "support/work_folder.h"

using namespace kavel;

namespace {

using Names = std::vector<std::string>;

TEST(RoomList, EveryAwkwardNameSurvivesTheRoundTrip) {
    const Names names = {"lobby",     "a,b",       "x=y",    "100%",
                         " lead",     "trail ",    "sp ace", "Caf\xE9 M\xFCller",
                         "tab\there", "[General]", "a%2Cb"};
    const std::string text = encodeRoomList(names);
    for (const char c : std::string("=\r\n \t"))
        EXPECT_EQ(text.find(c), std::string::npos) << int(c) << " in " << text;
    EXPECT_EQ(decodeRoomList(text), names) << text;
    // Read back from a file, the value is what the line held.
    EXPECT_EQ(
        decodeRoomList(parsePrefs("[General]\r\nopenRooms = " + text + "\r\n").openRooms.value()),
        names);
}

TEST(RoomList, EncodedForm) {
    EXPECT_EQ(encodeRoomList({"A", "B C", "d,e", "f=g", "h%"}), "A,B%20C,d%2Ce,f%3Dg,h%25");
    EXPECT_EQ(encodeRoomList({}), "");
    EXPECT_EQ(encodeRoomList({"", "x"}), "x");
}

TEST(RoomList, MalformedEntriesAreLeftOut) {
    const struct {
        const char* text;
        Names names;
    } cases[] = {
        {"", {}},
        {",,a,,b,", {"a", "b"}},
        {"a,%4,b", {"a", "b"}},   // cut short
        {"a,%ZZ,b", {"a", "b"}},  // not hex
        {"a,x%", {"a"}},          // "%" at the end
        {"%0D,%0A,c", {"c"}},     // a line break is no room name
        {"a%00b,c", {"c"}},       // nor a NUL
        {"%41%62", {"Ab"}},       // either case of hex digits
        {"%4a", {"J"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeRoomList(c.text), c.names) << c.text;
}

class ProgramOptionsFile : public ::testing::Test {
  protected:
    test::WorkFolder folder;
};

TEST_F(ProgramOptionsFile, ReadAtStartAndWrittenOnlyWhenOn) {
    test::spit("prefs.ini",
               "[General]\r\nprofile = anna\r\nactivePlugins = \r\nrejoinRooms = 1 \r\n"
               "openRooms = A,B%2CC\r\ncloseToTray = 1\r\n");
    loadSettings();
    EXPECT_TRUE(programOptions().rejoinRooms);
    EXPECT_TRUE(programOptions().closeToTray);
    EXPECT_EQ(roomsToRejoin(), (Names{"A", "B,C"}));

    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(test::slurp("prefs.ini"),
              "[General]\r\nprofile = anna\r\nactivePlugins = \r\nrejoinRooms = 1\r\n"
              "openRooms = A,B%2CC\r\ncloseToTray = 1\r\n");

    // Off: neither the switch nor the rooms are kept.
    programOptions() = ProgramOptions{};
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(test::slurp("prefs.ini"), "[General]\r\nprofile = anna\r\nactivePlugins = \r\n");
}

TEST_F(ProgramOptionsFile, AnythingButOneIsOff) {
    for (const char* value : {"0", "", "yes", "11", "true"}) {
        test::spit("prefs.ini", std::string("[General]\r\nrejoinRooms = ") + value +
                                    "\r\ncloseToTray = " + value + "\r\n");
        programOptions() = ProgramOptions{true, true};
        loadSettings();
        EXPECT_FALSE(programOptions().rejoinRooms) << value;
        EXPECT_FALSE(programOptions().closeToTray) << value;
    }
}

}  // namespace
