// Who the session is: the program's one, built afresh with every reset, and
// a test's own standing in for it while it lives; whichever goes takes its
// connection with it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/data.h"
#include "common/reset.h"
#include "core/wiring.h"
#include "net/NET_Methods.h"
#include "support/script_server.h"
#include "system/socket.h"

using namespace kavel;
using kavel_test::ScriptServer;

namespace {

class SessionObject : public ::testing::Test {
  protected:
    void SetUp() override { platform::initNetwork(); }

    // The program's ports with a status log nobody reads.
    static SessionPorts quiet() {
        SessionPorts p = programSessionPorts();
        p.status = [](std::string_view) {};
        return p;
    }

    ScriptServer server;
};

TEST_F(SessionObject, TheOneBuiltLastStandsInWhileItLives) {
    Session& program = session();
    {
        Session outer(quiet());
        EXPECT_EQ(&session(), &outer);
        {
            Session inner(quiet());
            EXPECT_EQ(&session(), &inner);
        }
        EXPECT_EQ(&session(), &outer);
    }
    EXPECT_EQ(&session(), &program);

    // Not in the order they were built: the last one living still counts.
    auto first = std::make_unique<Session>(quiet());
    auto second = std::make_unique<Session>(quiet());
    first.reset();
    EXPECT_EQ(&session(), second.get());
    second.reset();
    EXPECT_EQ(&session(), &program);
}

TEST_F(SessionObject, ASessionThatGoesClosesItsConnection) {
    auto own = std::make_unique<Session>(quiet());
    ASSERT_TRUE(own->connect("127.0.0.1", server.port()));
    ASSERT_TRUE(server.accept());
    EXPECT_EQ(static_cast<uint32_t>(clientState.connection), own->connection());
    own.reset();
    EXPECT_EQ(static_cast<uint32_t>(clientState.connection), 0u);
    // Without a word: no LEAVE, no logout.
    EXPECT_TRUE(server.clientClosed());
    EXPECT_EQ(server.received(), "");
}

TEST_F(SessionObject, AResetBuildsTheProgramsSessionAfresh) {
    ASSERT_TRUE(session().connect("127.0.0.1", server.port()));
    ASSERT_TRUE(server.accept());
    session().setHost("chat.example");
    session().setPort(4711);
    session().setTls(true);
    session().setPasteServer("paste.example");
    session().dispatch({"DIRECT P"});
    ASSERT_EQ(session().flood().directCount, 1);

    resetAll();
    EXPECT_TRUE(server.clientClosed());
    EXPECT_EQ(session().host(), "localhost");
    EXPECT_EQ(session().port(), ServerPort);
    EXPECT_FALSE(session().tls());
    EXPECT_EQ(session().pasteServer(), "");
    EXPECT_EQ(session().connection(), 0u);
    EXPECT_EQ(session().flood().directCount, 0);
}

}  // namespace
