// The session against a scripted peer that sees and sends exact bytes. The
// clock is ours: the keep-alive's 30 s pass in no time.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/data.h"
#include "common/ports.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "net/session_fixture.h"
#include "support/services.h"
#include "support/status_log.h"
#include "system/clock.h"
#include "system/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

using namespace kavel;
using kavel::test::statusLines;

namespace {

uint32_t fakeNow = 0;
std::vector<uint32_t> sleeps;
// The messages each read completed.
using Reads = std::vector<std::vector<std::string>>;
Reads delivered;

// Every message completed so far, in order.
std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (const auto& read : delivered)
        out.insert(out.end(), read.begin(), read.end());
    return out;
}

class Session : public kavel::testing::ScriptedSessionTest {
  protected:
    void SetUp() override {
        delivered.clear();
        sleeps.clear();
        fakeNow = 100000;
        kavel::test::setService(&kavel::platform::Services::ticks, [] { return fakeNow; });
        kavel::test::setService(&kavel::platform::Services::sleep,
                                [](uint32_t ms) { sleeps.push_back(ms); });
        ScriptedSessionTest::SetUp();
    }

    void connect() {
        ASSERT_TRUE(session().connect(session().host(), session().port()));
        ASSERT_TRUE(server.accept());
        session().restartKeepAlive();
    }

    // Reads like the main loop until pred holds (the peer's bytes may need
    // a moment to cross loopback), keeping what each read completed.
    template <typename Pred>
    bool pollUntil(Pred pred, int passes = 2000) {
        for (int i = 0; i < passes && !pred(); ++i) {
            std::vector<std::string> read = session().readMessages();
            if (!read.empty()) delivered.push_back(std::move(read));
            if (!platform::dataWaiting(clientState.connection))
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return pred();
    }
};

TEST_F(Session, LoginWriteIsByteExact) {
    connect();
    EXPECT_TRUE(hasFlag(flag::Connected));
    session().login("anna", "x");
    EXPECT_EQ(server.read(), "LOGIN anna x [CLIENT:KAVEL@Windows]\rROOMLIST\rINFO anna\r");
    EXPECT_TRUE(hasFlag(flag::OwnInfoPending));
    EXPECT_EQ(statusLines(), std::vector<std::string>{"Verbindung erfolgreich zu 127.0.0.1 "
                                                      "hergestellt."});
    EXPECT_EQ(sleeps, std::vector<uint32_t>{5});
}

TEST_F(Session, LoginWithEmptyPasswordLeavesTwoSpaces) {
    connect();
    session().login("anna", "");
    EXPECT_EQ(server.read(), "LOGIN anna  [CLIENT:KAVEL@Windows]\rROOMLIST\rINFO anna\r");
}

TEST_F(Session, NothingIsSentWithoutNameConnectionOrLogin) {
    session().login("anna", "x");  // not connected
    session().send("ROOMLIST");
    connect();
    session().login("", "x");
    session().joinRoom("lobby");  // connected, not logged in
    EXPECT_EQ(server.read(), "");
    EXPECT_FALSE(hasFlag(flag::OwnInfoPending));
    setFlag(flag::LoggedIn);
    session().joinRoom("geheim ");
    EXPECT_EQ(server.read(), "JOIN geheim \rROOMLIST\r");
}

TEST_F(Session, FailedConnectReportsTheHost) {
    server.stopListening();
    EXPECT_FALSE(session().connect("127.0.0.1", session().port()));
    EXPECT_FALSE(hasFlag(flag::Connected));
    EXPECT_EQ(static_cast<uint32_t>(clientState.connection), 0u);
    setFlag(flag::NoNetwork);
    EXPECT_FALSE(session().connect("127.0.0.1", session().port()));
    EXPECT_EQ(statusLines(),
              (std::vector<std::string>{
                  "Verbindung fehlgeschlagen - keine Netzwerkverbindung m\xF6glich zu 127.0.0.1.",
                  "Verbindung fehlgeschlagen - kein TCP/IP Protokoll installiert."}));
}

TEST_F(Session, ProbeOnlyAfterStrictlyMoreThanThirtySeconds) {
    connect();
    fakeNow += 30000;
    session().keepAlive();
    EXPECT_EQ(server.read(20), "");
    fakeNow += 1;
    session().keepAlive();
    EXPECT_EQ(server.read(), "DIRECT anna P\r");
    EXPECT_TRUE(hasFlag(flag::PingOutstanding));

    // Any answer at all clears it; the next probe comes 30 s after this one.
    server.send(std::string("egal\r\0", 6));
    ASSERT_TRUE(pollUntil([] { return !hasFlag(flag::PingOutstanding); }));
    fakeNow += 30001;
    session().keepAlive();
    EXPECT_EQ(server.read(), "DIRECT anna P\r");
    EXPECT_TRUE(hasFlag(flag::Connected));
}

TEST_F(Session, TheTickWrapsWithoutAFalseTimeOut) {
    fakeNow = 0xFFFFF000u;
    connect();
    fakeNow += 0x2000;  // past the wrap, 8 s later
    session().keepAlive();
    EXPECT_EQ(server.read(20), "");
}

TEST_F(Session, NoProbeAndNoReconnectWithThePingOptionOff) {
    setOptions(opt::NoPing);
    connect();
    for (int i = 0; i < 10; ++i) {
        fakeNow += 31000;
        session().keepAlive();
    }
    EXPECT_EQ(server.read(), "");
    EXPECT_TRUE(hasFlag(flag::Connected));
    EXPECT_FALSE(hasFlag(flag::PingOutstanding));
    EXPECT_FALSE(server.accept(20));  // no second connection
}

TEST_F(Session, UnansweredProbeReconnectsRejoinsAndAsksForTheRoomList) {
    connect();
    setFlag(flag::LoggedIn);
    setFlag(flag::Guest);
    ChatRoom* lobby = newChatRoom("lobby");
    ChatRoom* other = newChatRoom("Privatchat:bob_anna");
    ASSERT_EQ(joinedRooms.size(), 2u);
    setText(&ClientState::nick, "[anna>brb]");
    fakeNow += 30001;
    session().keepAlive();
    EXPECT_EQ(server.read(), "DIRECT [anna>brb] P\r");

    fakeNow += 30001;
    session().keepAlive();
    // The repair waits for its moment; the main loop calls the step.
    EXPECT_FALSE(server.accept(20));
    fakeNow += RepairDelay - 1;
    session().repairStep();
    EXPECT_FALSE(server.accept(20));
    fakeNow += 1;
    session().repairStep();
    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(server.readUntil("DIRECT anna P\r"));
    EXPECT_EQ(server.received(),
              "LOGIN anna x [CLIENT:KAVEL@Windows]\rROOMLIST\rINFO anna\r"
              "JOIN lobby\rJOIN Privatchat:bob_anna\rROOMLIST\rDIRECT anna P\r");
    EXPECT_EQ(text(clientState.nick), "anna");
    EXPECT_TRUE(hasFlag(flag::Connected));
    EXPECT_FALSE(hasFlag(flag::LoggedIn));
    EXPECT_FALSE(hasFlag(flag::Guest));
    EXPECT_TRUE(hasFlag(flag::PingOutstanding));
    EXPECT_EQ(joinedRooms, (std::vector<ChatRoom*>{lobby, other}));  // rooms stay open
    EXPECT_EQ(sleeps, (std::vector<uint32_t>{5, 5}));
    const auto lines = statusLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[1], "Ping Timeout - versuche mich neu zu verbinden.");
    EXPECT_EQ(lines[2], "Verbindung getrennt.");

    // The restarted period: the first check comes more than 30 s later.
    fakeNow += 30000;
    session().keepAlive();
    EXPECT_EQ(server.read(20), "");
}

TEST_F(Session, FailedReconnectLeavesTheClientOfflineWithItsRooms) {
    connect();
    setFlag(flag::LoggedIn);
    buildMainMenu();
    ChatRoom* lobby = newChatRoom("lobby");
    fakeNow += 30001;
    session().keepAlive();
    server.stopListening();
    server.closeClient();
    fakeNow += 30001;
    session().keepAlive();
    fakeNow += RepairDelay;
    session().repairStep();
    EXPECT_EQ(session().repairWait(), NoRepairPending);  // one attempt only
    EXPECT_FALSE(hasFlag(flag::Connected));
    EXPECT_FALSE(hasFlag(flag::PingOutstanding));
    EXPECT_EQ(static_cast<uint32_t>(clientState.connection), 0u);
    EXPECT_EQ(joinedRooms, std::vector<ChatRoom*>{lobby});
    ASSERT_TRUE(hasFlag(flag::MenuDirty));  // the main loop rebuilds the menu
    buildMainMenu();
    EXPECT_EQ(platform::menuItemText(mainwin::Window, mainwin::item::Connect), "Verbinden");
    roomDestroy(lobby);
}

TEST_F(Session, DisconnectWhileOfflineDoesNothing) {
    AvailableRooms.push_back({"a", 1, false, 12});
    session().disconnect();
    EXPECT_TRUE(statusLines().empty());
    EXPECT_EQ(AvailableRooms.size(), 1u);
}

TEST_F(Session, DisconnectClosesRoomsAndForgetsTheRoomList) {
    connect();
    setFlag(flag::LoggedIn);
    setFlag(flag::Guest);
    AvailableRooms.push_back({"a", 1, false, 12});
    newChatRoom("lobby");
    buildMainMenu();
    EXPECT_EQ(platform::menuItemText(mainwin::Window, mainwin::item::Connect), "Trennen");
    session().disconnect();
    EXPECT_TRUE(server.readUntil("LEAVE lobby\rROOMLIST\r"));
    EXPECT_TRUE(joinedRooms.empty());
    EXPECT_TRUE(AvailableRooms.empty());
    EXPECT_EQ(AppFlags & (flag::Connected | flag::LoggedIn | flag::Guest), 0);
    EXPECT_EQ(statusLines().back(), "Verbindung getrennt.");
    ASSERT_TRUE(hasFlag(flag::MenuDirty));
    buildMainMenu();
    EXPECT_EQ(platform::menuItemText(mainwin::Window, mainwin::item::Connect), "Verbinden");
}

TEST_F(Session, AMessageSplitAcrossReadsArrivesWhole) {
    connect();
    server.send("CHAT lobby hel");
    ASSERT_TRUE(pollUntil([] { return session().pendingBytes() == 14; }));
    EXPECT_TRUE(delivered.empty());
    server.send(std::string("lo\r\0", 4));
    ASSERT_TRUE(pollUntil([] { return !delivered.empty(); }));
    EXPECT_EQ(delivered, Reads{{"CHAT lobby hello"}});
    EXPECT_EQ(session().pendingBytes(), 0u);
}

TEST_F(Session, AMessageLongerThanOneReadArrivesWhole) {
    connect();
    const std::string longLine = "CHAT lobby " + std::string(1500, 'w');
    server.send("A\r" + longLine + std::string("\r\0B\r\0", 5));
    ASSERT_TRUE(pollUntil([] { return messages().size() >= 3; }));
    EXPECT_EQ(messages(), (std::vector<std::string>{"A", longLine, "B"}));
    EXPECT_EQ(delivered.size(), 2u);  // one call per read with complete messages
}

TEST_F(Session, NulEndsATransmissionAndEmptyMessagesAreSkipped) {
    connect();
    server.send(std::string("A\r\0B\r\r\rC\0\0D\r", 12));
    ASSERT_TRUE(pollUntil([] { return messages().size() >= 4; }));
    EXPECT_EQ(delivered, (Reads{{"A", "B", "C", "D"}}));
}

TEST_F(Session, TwoThousandMessagesInOneBurstAreAllDispatched) {
    connect();
    std::string burst;
    for (int i = 0; i < 2000; ++i)
        burst += "CHAT lobby Zeile " + std::to_string(i) + "\r";
    burst += '\0';
    server.send(burst);
    ASSERT_TRUE(pollUntil([] { return messages().size() >= 2000; }, 20000));
    const auto all = messages();
    ASSERT_EQ(all.size(), 2000u);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(all[static_cast<std::size_t>(i)], "CHAT lobby Zeile " + std::to_string(i));
}

TEST_F(Session, ReconnectStartsWithoutTheOldHalfMessage) {
    connect();
    server.send("CHAT lobby halb");
    ASSERT_TRUE(pollUntil([] { return session().pendingBytes() > 0; }));
    session().disconnect();
    EXPECT_EQ(session().pendingBytes(), 0u);
    connect();
    server.send(std::string("ROOMLIST_END\r\0", 14));
    ASSERT_TRUE(pollUntil([] { return !delivered.empty(); }));
    EXPECT_EQ(delivered, Reads{{"ROOMLIST_END"}});
}

}  // namespace
