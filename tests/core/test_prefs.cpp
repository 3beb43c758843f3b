// prefs.ini: INI reading rules, the exact bytes written, the deployment keys
// surviving a save, and the start-up reading into the session.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/data.h"
#include "common/reset.h"
#include "core/prefs.h"
#include "desktop/gadgets.h"
#include "desktop/spell.h"
#include "net/NET_Methods.h"
#include "support/plugin_folder.h"
#include "support/status_log.h"
#include "ui/GUI.h"
#include "ui/GUI_Methods_Display.h"
#include "ui/windows/main_window.h"

#include "support/file_io.h"
#include "support/work_folder.h"

using namespace kavel;

namespace {

using test::slurp;
using test::spit;

// Every test runs in a fresh working directory: prefs.ini lives there.
class PrefsFile : public ::testing::Test {
  protected:
    void SetUp() override { session().setHost(""); }
    void TearDown() override {
        session().setHost("");
        session().setPort(1998);
    }
    test::WorkFolder folder;
};

TEST(PrefsParse, IniRules) {
    const Settings s = parsePrefs(
        "; comment\r\n"
        "profile = wrong section\r\n"
        "[Other]\r\n"
        "profile = other\r\n"
        " [general]\r\n"
        "  PROFILE   =   anna maria  \r\n"
        "activeplugins=a.so,b.so\n"
        "profile = second\r\n"
        "junk line\r\n"
        "Server = chat.example.org\r\n");
    EXPECT_EQ(s.profile, "anna maria  ");  // the value runs to the line's end
    EXPECT_EQ(s.activePlugins, "a.so,b.so");
    ASSERT_TRUE(s.server);
    EXPECT_EQ(*s.server, "chat.example.org");
    EXPECT_FALSE(s.pasteServer);
}

TEST(PrefsParse, MissingKeysAreEmptyAndALaterSectionEndsGeneral) {
    const Settings s = parsePrefs("[General]\r\n[Later]\r\nprofile = x\r\n");
    EXPECT_EQ(s.profile, "");
    EXPECT_EQ(s.activePlugins, "");
}

TEST(PrefsParse, PluginListStopsAtTheFirstEmptyField) {
    EXPECT_EQ(pluginList("a.dll,,b.dll"), std::vector<std::string>{"a.dll"});
    EXPECT_EQ(pluginList("a.so,b.so"), (std::vector<std::string>{"a.so", "b.so"}));
    EXPECT_TRUE(pluginList("").empty());
    EXPECT_TRUE(pluginList(",a").empty());
}

TEST_F(PrefsFile, SaveWritesCrLfLinesWithAnEmptyPluginList) {
    setText(&ClientState::profileName, "anna");
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(slurp("prefs.ini"), "[General]\r\nprofile = anna\r\nactivePlugins = \r\n");
}

TEST_F(PrefsFile, LoadSetsTheSessionAndSaveKeepsTheDeploymentKeys) {
    spit("prefs.ini",
         "[General]\r\nprofile = bob\r\nactivePlugins = \r\nserver = chat.lan\r\n"
         "pasteServer = paste.lan:8080\r\n");
    loadSettings();
    EXPECT_EQ(text(clientState.profileName), "bob");
    EXPECT_EQ(session().host(), "chat.lan");
    EXPECT_EQ(session().pasteServer(), "paste.lan:8080");

    setText(&ClientState::profileName, "carla");
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(slurp("prefs.ini"),
              "[General]\r\nprofile = carla\r\nactivePlugins = \r\nserver = chat.lan\r\n"
              "pasteServer = paste.lan:8080\r\n");
}

TEST_F(PrefsFile, ServerMayNameItsPort) {
    struct Case {
        const char* value;
        const char* host;
        int port;
    };
    for (const Case& c :
         {Case{"chat.lan:2000", "chat.lan", 2000}, Case{"chat.lan", "chat.lan", 1998},
          Case{"chat.lan:", "chat.lan:", 1998}, Case{"chat.lan:0", "chat.lan:0", 1998},
          Case{"chat.lan:99999", "chat.lan:99999", 1998},
          Case{"chat.lan:12a", "chat.lan:12a", 1998}, Case{"::1", "::1", 1998}}) {
        session().setPort(1998);
        spit("prefs.ini", std::string("[General]\r\nserver = ") + c.value + "\r\n");
        loadSettings();
        EXPECT_EQ(session().host(), c.host) << c.value;
        EXPECT_EQ(session().port(), c.port) << c.value;
    }
    // Saving writes the key as it was read.
    ASSERT_TRUE(saveSettings());
    EXPECT_NE(slurp("prefs.ini").find("server = ::1\r\n"), std::string::npos);
}

TEST_F(PrefsFile, TlsChangesTheDefaultPortAndIsWrittenOnceUsed) {
    struct Case {
        const char* lines;
        bool tls;
        int port;
    };
    for (const Case& c : {Case{"server = chat.lan\r\ntls = 1\r\n", true, 1999},
                          Case{"server = chat.lan:2000\r\ntls = 1\r\n", true, 2000},
                          Case{"tls = 0\r\nserver = chat.lan\r\n", false, 1998},
                          Case{"server = chat.lan\r\ntls = ja\r\n", false, 1998}}) {
        resetAll();
        spit("prefs.ini", std::string("[General]\r\n") + c.lines);
        loadSettings();
        EXPECT_EQ(session().tls(), c.tls) << c.lines;
        EXPECT_EQ(session().port(), c.port) << c.lines;
    }
    // Turned on in the options window: saved; a file that never had the
    // key does not get it while TLS is off.
    resetAll();
    spit("prefs.ini", "[General]\r\nprofile = \r\n");
    loadSettings();
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(slurp("prefs.ini").find("tls"), std::string::npos);
    session().setTls(true);
    ASSERT_TRUE(saveSettings());
    EXPECT_NE(slurp("prefs.ini").find("tls = 1\r\n"), std::string::npos);
    loadSettings();
    session().setTls(false);
    ASSERT_TRUE(saveSettings());
    EXPECT_NE(slurp("prefs.ini").find("tls = 0\r\n"), std::string::npos);
}

TEST_F(PrefsFile, TimeStampsAreOnOnlyWithOneAndWrittenOnlyWhenOn) {
    struct Case {
        const char* line;
        bool on;
    };
    for (const Case& c :
         {Case{"timeStamps = 1", true}, Case{"TIMESTAMPS=1 ", true}, Case{"timeStamps = 0", false},
          Case{"timeStamps = ja", false}, Case{"timeStamps = ", false}}) {
        displayOptions().timeStamps = !c.on;
        spit("prefs.ini", std::string("[General]\r\nprofile = anna\r\n") + c.line + "\r\n");
        loadSettings();
        EXPECT_EQ(displayOptions().timeStamps, c.on) << c.line;
        ASSERT_TRUE(saveSettings());
        EXPECT_EQ(slurp("prefs.ini"),
                  std::string("[General]\r\nprofile = anna\r\nactivePlugins = \r\n") +
                      (c.on ? "timeStamps = 1\r\n" : ""))
            << c.line;
    }
}

TEST_F(PrefsFile, AMissingFileChangesNothing) {
    setText(&ClientState::profileName, "stays");
    loadSettings();
    EXPECT_EQ(text(clientState.profileName), "stays");
    EXPECT_EQ(session().host(), "localhost");
    EXPECT_FALSE(std::filesystem::exists("prefs.ini"));
}

TEST_F(PrefsFile, ListedPluginsLoadInOrderUpToTheFirstEmptyName) {
    test::PluginFolder dir;
    dir.add("tp_a");
    dir.add("tp_b");
    dir.write("prefs.ini", "[General]\r\nactivePlugins = tp_b.so,tp_a.so,,tp_a.so\r\n");
    loadSettings();
    EXPECT_EQ(test::agentNames(), (std::vector<std::string>{"tp_b.so", "tp_a.so"}));
}

TEST(PrefsWrite, NoBadPluginNameReachesTheFile) {
    for (const std::string& bad : test::badPluginNames()) {
        Settings s;
        s.activePlugins = joinPluginList({"a.so", bad, "b.so"});
        s.faultedPlugin = bad;
        EXPECT_EQ(formatPrefs(s), "[General]\r\nprofile = \r\nactivePlugins = a.so,b.so\r\n")
            << bad;
    }
    // A list that was joined without the check.
    Settings s;
    s.activePlugins = "a.so,x.so\r\nserver = evil.example,b=c.so";
    EXPECT_EQ(formatPrefs(s), "[General]\r\nprofile = \r\nactivePlugins = a.so\r\n");
}

TEST_F(PrefsFile, BadNamesInTheListAreNeitherLoadedNorKept) {
    // The refusals are told in the status log.
    loadUiTexts();
    openMainWindow();
    platform::clearItems(mainwin::StatusList);
    test::PluginFolder dir;
    dir.add("tp_a");
    dir.add("tp_b", "b=c.so");
    // A NUL would cut the path short: "tp_b.so\0x" must not load tp_b.so.
    dir.add("tp_b");
    dir.write("prefs.ini",
              std::string("[General]\r\nactivePlugins = b=c.so,tp_b.so\0x,tp_a.so\r\n", 53));
    loadSettings();
    EXPECT_EQ(test::agentNames(), std::vector<std::string>{"tp_a.so"});
    EXPECT_EQ(test::statusLines(),
              (std::vector<std::string>{"Plugin-Datei b=c.so \xFC"
                                        "bersprungen: Zeilenumbr\xFC"
                                        "che, \"=\", Kommas und Leerzeichen am "
                                        "Anfang sind im Namen nicht erlaubt.",
                                        "Plugin-Datei tp_b.so?x \xFC"
                                        "bersprungen: Zeilenumbr\xFC"
                                        "che, \"=\", Kommas und Leerzeichen am "
                                        "Anfang sind im Namen nicht erlaubt."}));
    // Saving writes only what was loaded.
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(dir.read("prefs.ini"), "[General]\r\nprofile = \r\nactivePlugins = tp_a.so\r\n");
    platform::closeWindow(mainwin::Window);
}

TEST_F(PrefsFile, SaveReplacesTheFileWithoutLeavingTemporaries) {
    spit("prefs.ini", std::string(5000, 'x'));
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(slurp("prefs.ini"), "[General]\r\nprofile = \r\nactivePlugins = \r\n");
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("."))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(PrefsFile, AFileThatCannotBeReplacedFailsAndKeepsWhatIsThere) {
    // A folder by the name of the file: not even root can rename a file over
    // it, so this fails on every machine.
    std::filesystem::create_directory("prefs.ini");
    spit("prefs.ini/old", "old");
    EXPECT_FALSE(saveSettings());
    EXPECT_EQ(slurp("prefs.ini/old"), "old");
    int files = 0;  // and no temporary file is left behind
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("."))
        ++files;
    EXPECT_EQ(files, 1);
}

}  // namespace

namespace {

TEST_F(PrefsFile, SpellCheckingOffIsKeptOnAndMissingMeansOn) {
    const std::pair<const char*, bool> cases[] = {
        {"[General]\r\nspellCheck = 0\r\n", false}, {"[General]\r\nSPELLCHECK=0 \r\n", false},
        {"[General]\r\nspellCheck = 1\r\n", true},  {"[General]\r\nprofile = x\r\n", true},
        {"[Other]\r\nspellCheck = 0\r\n", true},
    };
    for (const auto& [content, wanted] : cases) {
        platform::setSpellingWanted(!wanted);
        spit("prefs.ini", content);
        loadSettings();
        EXPECT_EQ(platform::spellingWanted(), wanted) << content;
    }
    // Turned off by the user: written; turned on again: the key stays.
    platform::setSpellingWanted(false);
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(slurp("prefs.ini"),
              "[General]\r\nprofile = \r\nactivePlugins = \r\nspellCheck = 0\r\n");
    loadSettings();
    platform::setSpellingWanted(true);
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(slurp("prefs.ini"),
              "[General]\r\nprofile = \r\nactivePlugins = \r\nspellCheck = 1\r\n");
}

}  // namespace
