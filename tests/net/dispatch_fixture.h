#pragma once
// A dispatcher whose every outside effect lands in a log the test reads,
// with rooms that only remember what they were given and a clock the test
// sets.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/data.h"
#include "common/ports.h"
#include "net/NET_Dispatch.h"
#include "net/NET_Methods.h"
#include "platform/services.h"
#include "support/latin1.h"

namespace kavel::testing {

struct FakeRoom {
    std::string name;
    std::vector<std::string> printed;
    std::vector<std::string> users;
    int input = 0;
};

class DispatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setText(&ClientState::profileName, "anna");
        setText(&ClientState::nick, "anna");
        auto& p = ports();
        p.status = [this](std::string_view t) { log.push_back("status:" + utf8(t)); };
        p.send = [this](std::string_view t) { log.push_back("send:" + std::string(t)); };
        p.disconnect = [this] { log.push_back("disconnect"); };
        p.playSound = [this](int n) { log.push_back("sound:" + std::to_string(n)); };
        platform::replaceServices({
            .seconds = [this] { return now; },
            .dialogs =
                [this](const platform::DialogRequest& r) {
                    const bool box = r.kind == platform::DialogRequest::Message;
                    log.push_back((box ? "box:" : "ask:") + utf8(r.title) + "|" + utf8(r.text));
                    return platform::DialogAnswer{.yes = answerYes};
                },
        });
        p.createRoom = [this](const std::string& name) {
            rooms.push_back(std::make_unique<FakeRoom>());
            rooms.back()->name = name;
            rooms.back()->input = 500 + static_cast<int>(rooms.size());
            auto* r = reinterpret_cast<ChatRoom*>(rooms.back().get());
            joinedRooms.push_back(r);
            return r;
        };
        p.roomName = [](ChatRoom* r) { return fake(r)->name; };
        p.roomPrint = [](ChatRoom* r, const std::string& t) { fake(r)->printed.push_back(t); };
        p.roomAddUser = [](ChatRoom* r, const std::string& t) { fake(r)->users.push_back(t); };
        p.roomClearUsers = [](ChatRoom* r) { fake(r)->users.clear(); };
        p.roomInput = [](ChatRoom* r) { return fake(r)->input; };
        p.openUserInfo = [this](std::string_view title) {
            infoOpen = true;
            infoTitle = title;
            infoLines.clear();
        };
        p.userInfoOpen = [this] { return infoOpen; };
        p.userInfoLine = [this](std::string_view l) { infoLines.emplace_back(l); };
    }
    static FakeRoom* fake(ChatRoom* r) { return reinterpret_cast<FakeRoom*>(r); }

    // One read: its complete messages.
    void read(std::initializer_list<std::string> messages) { DispatchServerData(messages); }

    FakeRoom* room(const std::string& name) {
        for (auto& r : rooms)
            if (r->name == name) return r.get();
        return nullptr;
    }
    FakeRoom* openRoom(const std::string& name) {
        auto* r = reinterpret_cast<FakeRoom*>(ports().createRoom(name));
        return r;
    }

    std::vector<std::string> log;
    std::vector<std::unique_ptr<FakeRoom>> rooms;
    uint32_t now = 1000;
    bool answerYes = false;
    bool infoOpen = false;
    std::string infoTitle;
    std::vector<std::string> infoLines;
};

}  // namespace kavel::testing
