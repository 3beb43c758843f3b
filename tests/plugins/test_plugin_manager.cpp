// The plug-in manager (window 4) and the Tools menu, driven through the
// main loop under the offscreen platform with real plug-in libraries.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QWidget>
#include <algorithm>

#include "common/data.h"
#include "core/KAVEL.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "objects/CLASS_Agents.h"
#include "objects/agent_chain.h"
#include "support/plugin_folder.h"
#include "support/qt_wait.h"
#include "support/services.h"
#include "support/status_log.h"
#include "ui/GUI.h"
#include "ui/GUI_PluginManager.h"
#include "ui/windows/about_window.h"
#include "ui/windows/main_window.h"
#include "ui/windows/options_window.h"
#include "ui/windows/plugin_manager.h"
#include "ui/windows/profile_window.h"

namespace kavel::testing {
namespace {

namespace gd = platform;
using namespace pluginmgr;
using test::agentNames;
using test::PluginFolder;

using Names = std::vector<std::string>;

Names items(int list) {
    Names names;
    for (int i = 0; i < gd::itemCount(list); ++i)
        names.push_back(gd::itemText(list, i));
    return names;
}

Names sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

QListWidget* listWidget(int id) {
    return qobject_cast<QListWidget*>(gd::controlWidget(id));
}

class PluginManager : public ::testing::Test {
  protected:
    void SetUp() override {
        loadUiTexts();
        openMainWindow();
        kavel::test::discardEvents();
        kavel::test::setService(&kavel::platform::Services::dialogs,
                                [this](const gd::DialogRequest& request) {
                                    dialogs.push_back(request);
                                    return gd::DialogAnswer{};
                                });
        // runLoop hands the clicks over in a fixed number of passes, as
        // the window tests do: idle passes poll instead of waiting.
        kavel::test::setService(&kavel::platform::Services::sleep, [](uint32_t) {});
    }
    void TearDown() override {
        gd::closeWindow(Window);
        gd::closeWindow(mainwin::Window);
        unloadAllAgents();
    }

    Agent* load(const std::string& file) { return loadPlugin("plugins/" + file); }

    // What the user does reaches the handler through the main loop.
    void runLoop() {
        QCoreApplication::processEvents();
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(mainLoopPass());
    }
    void click(int button) {
        auto* b = qobject_cast<QAbstractButton*>(gd::controlWidget(button));
        ASSERT_NE(b, nullptr);
        b->click();
        runLoop();
    }
    void select(int list, const std::string& text) {
        const Names names = items(list);
        const auto at = std::find(names.begin(), names.end(), text);
        ASSERT_NE(at, names.end()) << text;
        gd::setSelectedItem(list, static_cast<int>(at - names.begin()));
    }
    void doubleClick(int list, const std::string& text) {
        select(list, text);
        QListWidget* w = listWidget(list);
        emit w->itemDoubleClicked(w->currentItem());
        runLoop();
    }
    void openManager() {
        gd::postEvent({gd::EventKind::Menu, mainwin::Window, mainwin::item::PluginManager});
        runLoop();
        ASSERT_TRUE(gd::windowExists(Window));
    }

    PluginFolder dir;
    std::vector<gd::DialogRequest> dialogs;
};

TEST_F(PluginManager, OpensWithFilesOnTheLeftAndLoadedAgentsOnTheRight) {
    dir.add("tp_a");
    dir.add("tp_b");
    dir.write("plugins/broken.so", "not a library");
    dir.write("plugins/notes.txt", "");
    ASSERT_TRUE(load("tp_a.so"));
    ASSERT_TRUE(load("tp_a.so"));
    EXPECT_FALSE(load("broken.so"));
    openManager();

    EXPECT_EQ(gd::windowTitle(Window), "KAVEL > Plugin Manager");
    EXPECT_EQ(gd::windowWidth(Window), Width);
    EXPECT_EQ(gd::windowHeight(Window), Height);
    // A loaded agent never shows as available; a present file that failed
    // to load does.
    EXPECT_EQ(sorted(items(Available)), (Names{"broken.so", "tp_b.so"}));
    EXPECT_EQ(items(Active), (Names{"tp_a.so", "tp_a.so"}));
    EXPECT_EQ(gd::accessibleName(Available), "Verf\xFCgbar");
    EXPECT_EQ(gd::accessibleName(Active), "Aktiv");
    auto* header = listWidget(Active)->findChild<QHeaderView*>();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->sectionSize(0), ColumnWidth);
    EXPECT_EQ(gd::controlText(SaveAndExit), "Save'n Exit");
    for (int id : {MoveAllRight, MoveRight, MoveLeft, MoveAllLeft, SaveAndExit, ButtonFrame})
        EXPECT_FALSE(gd::accessibleName(id).empty()) << id;
}

// The status line for a file skipped for its name; "$" is the name with its
// control characters as "?".
std::string skipped(const std::string& shown) {
    return "Plugin-Datei " + shown +
           " \xFC"
           "bersprungen: Zeilenumbr\xFC"
           "che, \"=\", Kommas und Leerzeichen am Anfang sind im Namen nicht erlaubt.";
}

TEST(PluginNames, LineBreaksNulEqualsSignsCommasAndLeadingBlanksAreRefused) {
    for (const std::string& bad : test::badPluginNames())
        EXPECT_FALSE(usablePluginName(bad)) << bad;
    for (const char* good :
         {"tp_a.so", "mit Leerzeichen.so", "trail.so ", "gr\xFC\xDF.so", "a;b.so", "[x].so"})
        EXPECT_TRUE(usablePluginName(good)) << good;
}

TEST_F(PluginManager, FilesWithBadNamesAreNeitherOfferedNorLoaded) {
    gd::clearItems(mainwin::StatusList);
    dir.add("tp_b");
    for (const char* bad : {"cr\r.so", "lf\n.so", "a=b.so", "a,b.so"})
        dir.add("tp_a", bad);
    openManager();
    EXPECT_EQ(items(Available), Names{"tp_b.so"});
    EXPECT_EQ(sorted(test::statusLines()),
              (Names{skipped("a,b.so"), skipped("a=b.so"), skipped("cr?.so"), skipped("lf?.so")}));

    // Nor by a path that names one.
    gd::clearItems(mainwin::StatusList);
    EXPECT_EQ(load("a,b.so"), nullptr);
    EXPECT_EQ(loadPlugin("plugins/lf\n.so"), nullptr);
    EXPECT_TRUE(AgentList.empty());
    EXPECT_EQ(test::statusLines(), (Names{skipped("a,b.so"), skipped("lf?.so")}));
}

TEST_F(PluginManager, EveryMoveOfTheLists) {
    for (const char* name : {"tp_a", "tp_b", "tp_null"})
        dir.add(name);
    openManager();
    ASSERT_EQ(items(Active), Names{});

    select(Available, "tp_b.so");
    click(MoveRight);
    EXPECT_EQ(items(Active), (Names{"tp_b.so"}));
    EXPECT_EQ(sorted(items(Available)), (Names{"tp_a.so", "tp_null.so"}));
    // Nothing selected any more: ">" does nothing.
    click(MoveRight);
    EXPECT_EQ(items(Active), (Names{"tp_b.so"}));

    doubleClick(Available, "tp_null.so");
    EXPECT_EQ(items(Active), (Names{"tp_b.so", "tp_null.so"}));

    select(Active, "tp_b.so");
    click(MoveLeft);
    EXPECT_EQ(items(Active), (Names{"tp_null.so"}));
    EXPECT_EQ(items(Available).back(), "tp_b.so");

    doubleClick(Active, "tp_null.so");
    EXPECT_EQ(items(Active), Names{});
    const Names left = items(Available);
    ASSERT_EQ(left.size(), 3u);

    click(MoveAllRight);
    EXPECT_EQ(items(Active), left);  // first to last, appended
    EXPECT_EQ(items(Available), Names{});

    click(MoveAllLeft);
    EXPECT_EQ(items(Available), left);
    EXPECT_EQ(items(Active), Names{});
    EXPECT_TRUE(AgentList.empty());  // moves alone load nothing
}

TEST_F(PluginManager, TheCloseBoxDiscardsEveryMove) {
    dir.add("tp_a");
    dir.add("tp_b");
    ASSERT_TRUE(load("tp_a.so"));
    openManager();
    click(MoveAllRight);
    click(MoveAllLeft);
    gd::windowFrame(Window)->close();
    runLoop();  // the loop survives the close request
    EXPECT_FALSE(gd::windowExists(Window));
    EXPECT_EQ(agentNames(), (Names{"tp_a.so"}));

    openManager();
    EXPECT_EQ(items(Active), (Names{"tp_a.so"}));
    EXPECT_EQ(items(Available), (Names{"tp_b.so"}));
}

TEST_F(PluginManager, SaveAndExitLoadsTheActiveListInOrderAndRebuildsTheMenu) {
    dir.add("tp_a");
    dir.add("tp_b");
    ASSERT_TRUE(load("tp_a.so"));
    openManager();
    select(Active, "tp_a.so");
    click(MoveLeft);
    doubleClick(Available, "tp_b.so");
    doubleClick(Available, "tp_a.so");
    click(SaveAndExit);

    EXPECT_FALSE(gd::windowExists(Window));
    EXPECT_EQ(agentNames(), (Names{"tp_b.so", "tp_a.so"}));
    EXPECT_EQ(runProcessTOut("x"), "xBA");
    const int first = mainMenuNumbers().firstAgent;
    EXPECT_EQ(gd::menuItemText(mainwin::Window, first), "tp_b.so");
    EXPECT_EQ(gd::menuItemText(mainwin::Window, first + 1), "tp_a.so");
}

TEST_F(PluginManager, SaveAndExitWithoutMovesReloadsEveryPluginSoTauschwerkSavesAndRereads) {
    dir.add(TAUSCHWERK_SO, "Tauschwerk.so");
    dir.add("tp_a");
    dir.write("plugins/macro.dat", "hallo\x0bHi");
    ASSERT_TRUE(load("Tauschwerk.so"));
    ASSERT_TRUE(load("tp_a.so"));
    clientState.textColour = 0x0000FF;
    EXPECT_EQ(runProcessTOut("hallo welt"), "Hi[c=FF0000 weltA");

    // What is on disk now is not what Tauschwerk holds: after the reload it
    // must hold what it wrote.
    dir.write("plugins/macro.dat", "welt\x0bWorld");
    openManager();
    click(SaveAndExit);
    EXPECT_EQ(agentNames(), (Names{"Tauschwerk.so", "tp_a.so"}));
    EXPECT_EQ(dir.read("plugins/macro.dat"), "hallo\x0bHi");
    EXPECT_EQ(runProcessTOut("hallo welt"), "Hi[c=FF0000 weltA");
}

TEST_F(PluginManager, ToolsMenuEntriesRunEachAgentsSetup) {
    dir.add("tp_decorated");
    dir.add("tp_a");
    ASSERT_TRUE(load("tp_decorated.so"));
    ASSERT_TRUE(load("tp_a.so"));
    buildMainMenu();
    const int first = mainMenuNumbers().firstAgent;
    EXPECT_EQ(mainMenuNumbers().end, first + 2);

    gd::postEvent({gd::EventKind::Menu, mainwin::Window, first});
    runLoop();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Information");
    EXPECT_NE(dialogs[0].text.find("tp_decorated.so"), std::string::npos);

    void* handle = ::dlopen("plugins/tp_a.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    auto* calls = static_cast<int*>(::dlsym(handle, "probe_setup_calls"));
    ::dlclose(handle);
    gd::postEvent({gd::EventKind::Menu, mainwin::Window, first + 1});
    runLoop();
    for (int i = 0; i < 20000 && __atomic_load_n(calls, __ATOMIC_SEQ_CST) == 0; ++i)
        runLoop();
    EXPECT_EQ(__atomic_load_n(calls, __ATOMIC_SEQ_CST), 1);
    EXPECT_EQ(dialogs.size(), 1u);
    for (int i = 0; i < 20000 && runningSetups() > 0; ++i)
        runLoop();
}

}  // namespace
}  // namespace kavel::testing
