// Every window the program builds, open at the same time and built the way
// the program builds them (start-up, the menus, the server's answers): no
// two of them claim the same control number, and each is built again while
// the others stay open.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/data.h"
#include "core/KAVEL.h"
#include "desktop/gadgets.h"
#include "support/qt_wait.h"
#include "support/room_window.h"
#include "support/services.h"
#include "support/work_folder.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/CLASS_ChatRoom_Paster.h"
#include "ui/CLASS_ChatRoom_ids.h"
#include "ui/GUI_UserInfo.h"
#include "ui/windows/about_window.h"
#include "ui/windows/main_window.h"
#include "ui/windows/options_window.h"
#include "ui/windows/plugin_manager.h"
#include "ui/windows/profile_window.h"
#include "ui/windows/user_info_window.h"

namespace kavel::test {
namespace {

namespace gd = platform;
namespace item = mainwin::item;

struct Clash {
    int control, holder, taker;
};

class EveryWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        setService(&gd::Services::sleep, [](uint32_t) {});
        setService(&gd::Services::dialogs,
                   [](const gd::DialogRequest&) { return gd::DialogAnswer{}; });
        setService(&gd::Services::controlClash, [seen = clashes](int c, int holder, int taker) {
            seen->push_back({c, holder, taker});
        });
    }
    void TearDown() override {
        for (ChatRoom* room : std::vector<ChatRoom*>(joinedRooms))
            roomDestroy(room);
    }

    // A menu command of a window as the main loop hands it on; what the
    // windows queued before (focus changes, sizes) is not wanted here.
    static void menu(int window, int id) {
        discardEvents();
        gd::postEvent({gd::EventKind::Menu, window, id, gd::EventType::None});
        EXPECT_TRUE(mainLoopPass());
    }
    static int pasterOf(ChatRoom* room) {
        return gd::windowTitled(kPasterTitle, roomWindow(room).window);
    }

    // Every window the program has, opened the way the program opens it.
    std::vector<int> openAll() {
        startUp();  // the main window, and the profile window for a newcomer
        menu(mainwin::Window, item::Options);
        menu(mainwin::Window, item::Profile);
        menu(mainwin::Window, item::PluginManager);
        menu(mainwin::Window, item::About);
        menu(mainwin::Window, item::Help);
        openUserInfoWindow("bob");  // on the server's answer to a profile request
        std::vector<int> windows{mainwin::Window,  optwin::Window,    profwin::Window,
                                 userinfo::Window, pluginmgr::Window, aboutwin::Window};
        for (const char* name : {"Lobby", "Keller"}) {
            ChatRoom* room = newChatRoom(name);  // on the server's JOIN
            EXPECT_NE(room, nullptr) << name;
            if (!room) continue;
            menu(roomWindow(room).window, roomid::UploadCode);
            windows.push_back(roomWindow(room).window);
            windows.push_back(pasterOf(room));
        }
        return windows;
    }

    std::string clashList() const {
        std::string out;
        for (const Clash& c : *clashes)
            out += "control " + std::to_string(c.control) + " of window " +
                   std::to_string(c.holder) + " made by window " + std::to_string(c.taker) + "\n";
        return out;
    }

    WorkFolder folder;
    // Outlives the test with the services record, until the next reset.
    std::shared_ptr<std::vector<Clash>> clashes = std::make_shared<std::vector<Clash>>();
};

TEST_F(EveryWindow, OpenAtOnceNoTwoClaimTheSameControlNumber) {
    const std::vector<int> windows = openAll();
    ASSERT_EQ(windows.size(), 10u);
    for (int w : windows) {
        EXPECT_TRUE(gd::windowExists(w)) << w;
    }
    EXPECT_TRUE(clashes->empty()) << clashList();
    // Each window's own controls are still there.
    for (auto [control, window] :
         {std::pair{mainwin::Splitter, mainwin::Window}, std::pair{optwin::Accept, optwin::Window},
          std::pair{profwin::Accept, profwin::Window}, std::pair{userinfo::Close, userinfo::Window},
          std::pair{pluginmgr::SaveAndExit, pluginmgr::Window},
          std::pair{aboutwin::Back, aboutwin::Window}}) {
        EXPECT_EQ(gd::controlWindow(control), window) << control;
    }
}

TEST_F(EveryWindow, EachBuiltAgainWhileTheOthersStayOpen) {
    openAll();
    // The fixed windows the way their menu items or answers build them anew.
    gd::closeWindow(optwin::Window);
    menu(mainwin::Window, item::Options);
    gd::closeWindow(profwin::Window);
    menu(mainwin::Window, item::Profile);
    gd::closeWindow(pluginmgr::Window);
    menu(mainwin::Window, item::PluginManager);
    menu(mainwin::Window, item::About);
    openUserInfoWindow("carla");
    for (ChatRoom* room : joinedRooms) {
        // The room opens a paster only once its own has gone by its close box.
        discardEvents();
        gd::postEvent({gd::EventKind::CloseRequest, pasterOf(room), 0, gd::EventType::None});
        EXPECT_TRUE(mainLoopPass());
        EXPECT_EQ(pasterOf(room), -1);
        menu(roomWindow(room).window, roomid::UploadCode);
        EXPECT_NE(pasterOf(room), -1);
    }
    EXPECT_TRUE(clashes->empty()) << clashList();
    for (int w :
         {optwin::Window, profwin::Window, pluginmgr::Window, aboutwin::Window, userinfo::Window}) {
        EXPECT_TRUE(gd::windowExists(w)) << w;
    }
}

}  // namespace
}  // namespace kavel::test
