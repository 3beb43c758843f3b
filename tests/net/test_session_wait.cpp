// The windows never wait on the network: a slow name server and the pause
// before a broken session is repaired both pass while Qt keeps delivering
// events, and the lookup has a limit of its own.
#include <gtest/gtest.h>

#include <netdb.h>

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/data.h"
#include "core/KAVEL.h"
#include "core/wiring.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "net/session_fixture.h"
#include "support/services.h"
#include "support/status_log.h"
#include "system/socket.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

using namespace kavel;
using kavel::test::statusLines;

namespace {

// A name server that answers a name with the loopback address, but only
// once told to; one that never gets told gives up after a long real while,
// so that a client asking on its own thread cannot hang the test for good.
struct NameServer {
    enum Answer { WhenReleased, NoSuchName };
    Answer answer = WhenReleased;
    std::mutex m;
    std::condition_variable cv;
    bool released = false;
    bool answeredOnRelease = false;

    void release() {
        std::lock_guard lock(m);
        released = true;
        cv.notify_all();
    }
};

std::shared_ptr<NameServer> installNameServer(NameServer::Answer answer) {
    auto ns = std::make_shared<NameServer>();
    ns->answer = answer;
    test::setService(&platform::Services::resolver, [ns](const char*, const char* service,
                                                         const addrinfo* hints, addrinfo** found) {
        if (ns->answer == NameServer::NoSuchName) return EAI_NONAME;
        std::unique_lock lock(ns->m);
        ns->answeredOnRelease =
            ns->cv.wait_for(lock, std::chrono::seconds(3), [&] { return ns->released; });
        return ::getaddrinfo("127.0.0.1", service, hints, found);
    });
    return ns;
}

uint32_t fakeNow = 0;
std::vector<uint32_t> sleeps;

class NetworkWait : public kavel::testing::ScriptedSessionTest {
  protected:
    void TearDown() override {
        // A lookup given up on still runs on its thread; let it end.
        if (nameServer) nameServer->release();
        ScriptedSessionTest::TearDown();
    }

    // Time passes only when the program sleeps (or waits, which it does
    // through the same service while a test drives the clock).
    static void useFakeClock() {
        fakeNow = 100000;
        sleeps.clear();
        test::setService(&platform::Services::ticks, [] { return fakeNow; });
        test::setService(&platform::Services::sleep, [](uint32_t ms) {
            sleeps.push_back(ms);
            fakeNow += ms;
        });
    }

    std::shared_ptr<NameServer> nameServer;
};

// A name server that is slow or knows no such name: the connect fails with
// a status line that says which, Qt's timers fire meanwhile, and the limit
// is ten seconds of the program's clock.
TEST_F(NetworkWait, ALookupThatFailsOrNeverEndsLeavesTheClientOfflineAndResponsive) {
    struct Case {
        const char* name;
        NameServer::Answer answer;
        std::string status;
        // ms of the program's clock the connect takes; 0: at once, on the
        // real clock (a fake one could outrun the lookup's thread).
        uint32_t waited;
    };
    const Case cases[] = {
        {"never answers", NameServer::WhenReleased,
         "Verbindung fehlgeschlagen - der Name langsam.example konnte nicht innerhalb von 10 "
         "Sekunden aufgel\xF6st werden.",
         10000},
        {"no such name", NameServer::NoSuchName,
         "Verbindung fehlgeschlagen - keine Netzwerkverbindung m\xF6glich zu langsam.example.", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.waited > 0) {
            useFakeClock();
        } else {
            test::setService(&platform::Services::ticks, nullptr);
            test::setService(&platform::Services::sleep, nullptr);
        }
        platform::clearItems(mainwin::StatusList);
        nameServer = installNameServer(c.answer);
        bool timerFired = false;
        QTimer::singleShot(0, [&] { timerFired = true; });

        const uint32_t start = fakeNow;  // stays put on the real clock
        EXPECT_FALSE(session().connect("langsam.example", server.port()));
        EXPECT_EQ(statusLines(), std::vector<std::string>{c.status});
        EXPECT_FALSE(hasFlag(flag::Connected));
        EXPECT_EQ(static_cast<uint32_t>(clientState.connection), 0u);
        EXPECT_FALSE(server.accept(20));
        if (c.waited > 0) {
            EXPECT_TRUE(timerFired);
            EXPECT_GE(fakeNow - start, c.waited);
            EXPECT_LT(fakeNow - start, c.waited + 200);
            // In steps, so that the windows are served in between.
            EXPECT_GT(sleeps.size(), 10u);
        }
        nameServer->release();
    }
}

// With the real clock: the answer is released by a timer that only the
// event loop can fire, so a lookup that held the GUI thread would answer
// on its own three seconds later instead.
TEST_F(NetworkWait, TheEventLoopRunsWhileTheNameIsLookedUp) {
    nameServer = installNameServer(NameServer::WhenReleased);
    QTimer::singleShot(0, [ns = nameServer] { ns->release(); });
    ASSERT_TRUE(session().connect("langsam.example", server.port()));
    EXPECT_TRUE(nameServer->answeredOnRelease);
    EXPECT_TRUE(server.accept());
    EXPECT_EQ(statusLines(), std::vector<std::string>{"Verbindung erfolgreich zu langsam.example "
                                                      "hergestellt."});
}

// The session breaks under the main loop (the server closes); the loop
// keeps going and repairs it half a second later by its own clock, never
// by sleeping that long.
TEST_F(NetworkWait, ARepairWaitsForItsMomentInTheMainLoop) {
    useFakeClock();
    // The program's session, but with the moments of its status lines noted.
    uint32_t brokeAt = 0;
    uint32_t connectedAt = 0;
    SessionPorts ports = programSessionPorts();
    ports.status = [&, status = ports.status](std::string_view text) {
        if (text == "Verbindung getrennt") brokeAt = fakeNow;
        if (text.starts_with("Verbindung erfolgreich")) connectedAt = fakeNow;
        status(text);
    };
    Session watched(std::move(ports));
    watched.setHost("127.0.0.1");
    watched.setPort(server.port());
    ASSERT_TRUE(watched.connect(watched.host(), watched.port()));
    ASSERT_TRUE(server.accept());
    watched.restartKeepAlive();
    setFlag(flag::LoggedIn);
    ChatRoom* lobby = newChatRoom("lobby");
    server.closeClient();
    connectedAt = 0;

    sleeps.clear();
    for (int pass = 0; pass < 100 && brokeAt == 0; ++pass)
        ASSERT_TRUE(mainLoopPass());  // until it reads the end of the stream
    ASSERT_NE(brokeAt, 0u);
    EXPECT_FALSE(hasFlag(flag::Connected));
    // What a real idle pass would wait: the rest of the delay, no more.
    EXPECT_EQ(idleDeadline(), RepairDelay - (fakeNow - brokeAt));
    for (int pass = 0; pass < 1000 && connectedAt == 0; ++pass)
        ASSERT_TRUE(mainLoopPass());
    ASSERT_NE(connectedAt, 0u);
    EXPECT_GE(connectedAt - brokeAt, 500u);
    EXPECT_LT(connectedAt - brokeAt, 520u);
    // The loop's own short waits only: nothing slept through the delay.
    EXPECT_LE(*std::max_element(sleeps.begin(), sleeps.end()), IdleSleepMs);

    ASSERT_TRUE(server.accept());
    ASSERT_TRUE(server.readUntil("DIRECT anna P\r"));
    EXPECT_EQ(server.received(),
              "LOGIN anna x [CLIENT:KAVEL@Windows]\rROOMLIST\rINFO anna\r"
              "JOIN lobby\rROOMLIST\rDIRECT anna P\r");
    EXPECT_EQ(joinedRooms, std::vector<ChatRoom*>{lobby});
}

}  // namespace
