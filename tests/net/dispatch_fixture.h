#pragma once
// A dispatcher whose every outside effect lands in a log the test reads,
// with rooms that only remember what they were given and a clock the test
// sets. The connection is one end of a socket pair: what the dispatcher
// sends is read from the other end into the log, in the order it happened.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "common/data.h"
#include "common/ports.h"
#include "net/NET_Dispatch.h"
#include "net/NET_Methods.h"
#include "support/latin1.h"
#include "system/services.h"

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
        connectPeer();
        auto& p = ports();
        p.status = [this](std::string_view t) { note("status:" + utf8(t)); };
        p.playSound = [this](int n) { note("sound:" + std::to_string(n)); };
        platform::replaceServices({
            .seconds = [this] { return now; },
            .dialogs =
                [this](const platform::DialogRequest& r) {
                    const bool box = r.kind == platform::DialogRequest::Message;
                    note((box ? "box:" : "ask:") + utf8(r.title) + "|" + utf8(r.text));
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
        p.roomDestroy = [](ChatRoom* r) { std::erase(joinedRooms, r); };
    }
    void TearDown() override {
        Disconnect();
        close(serverEnd);
        // The fakes are ours to free, not the reset's.
        for (auto& r : rooms)
            std::erase(joinedRooms, reinterpret_cast<ChatRoom*>(r.get()));
    }
    // A fresh connection, after the dispatcher ended the last one.
    void connectPeer() {
        if (serverEnd >= 0) close(serverEnd);
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        serverEnd = pair[1];
        clientState.connection = static_cast<uint32_t>(pair[0]) + 1;  // handles are fd + 1
        setFlag(flag::Connected);
    }
    static FakeRoom* fake(ChatRoom* r) { return reinterpret_cast<FakeRoom*>(r); }

    // One read: its complete messages.
    void read(std::initializer_list<std::string> messages) {
        DispatchServerData(messages);
        takeSent();
    }

    // What was sent so far goes into the log before the next effect.
    void note(std::string entry) {
        takeSent();
        log.push_back(std::move(entry));
    }
    void takeSent() {
        char buffer[4096];
        ssize_t n;
        while ((n = recv(serverEnd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            sent.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = sent.find('\r')) != std::string::npos; sent.erase(0, end + 1))
            log.push_back("send:" + sent.substr(0, end));
    }

    FakeRoom* room(const std::string& name) {
        for (auto& r : rooms)
            if (r->name == name) return r.get();
        return nullptr;
    }
    FakeRoom* openRoom(const std::string& name) {
        auto* r = reinterpret_cast<FakeRoom*>(ports().createRoom(name));
        return r;
    }

    int serverEnd = -1;
    std::string sent;
    std::vector<std::string> log;
    std::vector<std::unique_ptr<FakeRoom>> rooms;
    uint32_t now = 1000;
    bool answerYes = false;
    bool infoOpen = false;
    std::string infoTitle;
    std::vector<std::string> infoLines;
};

}  // namespace kavel::testing
