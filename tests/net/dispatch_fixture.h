#pragma once
// A session whose every outside effect lands in a log the test reads, with
// rooms that only remember what they were given and a clock the test sets.
// The connection goes to a local peer: what the session sends is taken
// into the log, in the order it happened.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/data.h"
#include "net/NET_Methods.h"
#include "net/NET_Methods_Decode.h"
#include "support/latin1.h"
#include "support/local_peer.h"
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
        platform::replaceServices({
            .sleep = [](uint32_t) {},
            .seconds = [this] { return now; },
            .resolver = peer.resolver(),
        });
        session = std::make_unique<Session>(fakePorts());
        connectPeer();
    }
    void TearDown() override {
        // No dialog may open while a dispatch runs.
        EXPECT_EQ(askedInsideDispatch, 0);
        session->disconnect();
        session.reset();
        // The fakes are ours to free, not the reset's.
        for (auto& r : rooms)
            std::erase(joinedRooms, reinterpret_cast<ChatRoom*>(r.get()));
    }

    SessionPorts fakePorts() {
        SessionPorts p;
        p.status = [this](std::string_view t) { note("status:" + utf8(t)); };
        p.playSound = [this](int n) { note("sound:" + std::to_string(n)); };
        p.createRoom = [this](const std::string& name) {
            return reinterpret_cast<ChatRoom*>(openRoom(name));
        };
        p.roomName = [](ChatRoom* r) { return fake(r)->name; };
        p.roomPrint = [](ChatRoom* r, const std::string& t) { fake(r)->printed.push_back(t); };
        p.roomAddUser = [](ChatRoom* r, const std::string& t) { fake(r)->users.push_back(t); };
        p.roomClearUsers = [](ChatRoom* r) { fake(r)->users.clear(); };
        p.roomInput = [](ChatRoom* r) { return fake(r)->input; };
        p.roomDestroy = [](ChatRoom* r) { std::erase(joinedRooms, r); };
        p.openUserInfo = [this](std::string_view title) {
            infoOpen = true;
            infoTitle = title;
            infoLines.clear();
        };
        p.userInfoOpen = [this] { return infoOpen; };
        p.userInfoLine = [this](std::string_view l) { infoLines.emplace_back(l); };
        p.ask = [this](std::string_view title, std::string_view text) {
            askedInsideDispatch += dispatching;
            note("ask:" + utf8(title) + "|" + utf8(text));
            return answerYes;
        };
        p.tell = [this](std::string_view title, std::string_view text) {
            askedInsideDispatch += dispatching;
            note("box:" + utf8(title) + "|" + utf8(text));
        };
        // The name is looked up on a thread of its own; the peer answers at once.
        p.wait = [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
        p.wake = [] {};
        return p;
    }

    // A fresh connection, after the session ended the last one.
    void connectPeer() {
        ASSERT_TRUE(session->connect(test::LocalPeer::kHost, test::LocalPeer::kPort));
        ASSERT_TRUE(peer.accept());
        log.clear();
        clearFlag(flag::MenuDirty);  // as the main loop's rebuild after a connect
    }
    static FakeRoom* fake(ChatRoom* r) { return reinterpret_cast<FakeRoom*>(r); }

    // One read: its complete messages, and then its questions, as poll
    // takes them.
    void read(std::initializer_list<std::string> messages) {
        dispatchOnly(messages);
        session->askPending();
        takeSent();
    }
    void dispatchOnly(const std::vector<std::string>& messages) {
        dispatching = true;
        session->dispatch(messages);
        dispatching = false;
    }

    // What was sent so far goes into the log before the next effect.
    void note(std::string entry) {
        takeSent();
        log.push_back(std::move(entry));
    }
    void takeSent() {
        sent += peer.take();
        for (std::size_t end; (end = sent.find('\r')) != std::string::npos; sent.erase(0, end + 1))
            log.push_back("send:" + sent.substr(0, end));
    }

    // Four quick DIRECTs answered "Ja": the shields are up, as a flood leaves them.
    void raiseShields() {
        const bool answer = std::exchange(answerYes, true);
        for (int i = 0; i < 4; ++i) {
            now += 1;
            read({"DIRECT P", " flooder"});
        }
        answerYes = answer;
        log.clear();
    }

    FakeRoom* room(const std::string& name) {
        for (auto& r : rooms)
            if (r->name == name) return r.get();
        return nullptr;
    }
    // A room joined as the session's own would be.
    FakeRoom* openRoom(const std::string& name) {
        rooms.push_back(std::make_unique<FakeRoom>());
        rooms.back()->name = name;
        rooms.back()->input = 500 + static_cast<int>(rooms.size());
        joinedRooms.push_back(reinterpret_cast<ChatRoom*>(rooms.back().get()));
        return rooms.back().get();
    }

    test::LocalPeer peer;
    std::unique_ptr<Session> session;
    std::string sent;
    std::vector<std::string> log;
    std::vector<std::unique_ptr<FakeRoom>> rooms;
    uint32_t now = 1000;
    bool answerYes = false;
    bool dispatching = false;
    int askedInsideDispatch = 0;
    bool infoOpen = false;
    std::string infoTitle;
    std::vector<std::string> infoLines;
};

}  // namespace kavel::testing
