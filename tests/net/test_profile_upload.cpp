// The main loop's profile step: what goes to the server in each session
// state, what the status log says, which flags are left, and the question
// asked while offline.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/data.h"
#include "net/NET_Methods.h"
#include "support/script_server.h"
#include "system/socket.h"

using namespace kavel;
using kavel_test::ScriptServer;

namespace {

const std::string VT = "\x0b";

class ProfileUpload : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::initNetwork();
        setText(&ClientState::profileName, "anna");
        setText(&ClientState::nick, "anna");
        setText(&ClientState::password, "geheim");
        setText(&ClientState::infoFields, "Lesen" + VT + VT + VT + VT);
        setText(&ClientState::ownRemarks, "hallo");
        clientState.nameColour = 0x3300FF;  // red FF, green 00, blue 33
        session.setHost("127.0.0.1");
        session.setPort(server.port());
    }
    void TearDown() override { session.disconnect(); }

    // The status log and the questions are all the step reaches outside.
    SessionPorts watched() {
        SessionPorts p;
        p.status = [this](std::string_view t) { status.emplace_back(t); };
        p.ask = [this](std::string_view title, std::string_view text) {
            questions.push_back(std::string(title) + "|" + std::string(text));
            return yes;
        };
        return p;
    }

    void connect() {
        ASSERT_TRUE(session.connect(session.host(), session.port()));
        ASSERT_TRUE(server.accept());
        status.clear();
    }

    std::vector<std::string> status;
    std::vector<std::string> questions;
    bool yes = false;
    Session session{watched()};
    ScriptServer server;
};

const std::string kSave =
    "SAVE USER_PASSWORT geheim\rSAVE USER_COLOR FF0033\rSAVE USER_INFO1 Lesen\x0b\x0b\x0b\x0b\r"
    "SAVE USER_INFO2 hallo\r";

TEST_F(ProfileUpload, WhatEachSessionStateSends) {
    struct Row {
        const char* what;
        uint16_t flags;
        std::string sent;
        std::string status;
        uint16_t left;  // of Guest, RegisterPending, ProfileUploadPending
    };
    const uint16_t pending = flag::ProfileUploadPending;
    const Row rows[] = {
        {"registered", pending, kSave, "Benutzerprofil anna erfolgreich upgedated", 0},
        {"guest", pending | flag::Guest, "", "", flag::Guest},
        {"guest registering", pending | flag::Guest | flag::RegisterPending, kSave,
         "Benutzer anna neu registriert - Willkommen im QUARN", 0},
        // Already registered: an upload, and the request is done with, so a
        // later guest login cannot be registered by it unasked.
        {"registered asking to register", pending | flag::RegisterPending, kSave,
         "Benutzerprofil anna erfolgreich upgedated", 0},
        {"nothing pending", flag::Guest | flag::RegisterPending, "", "",
         flag::Guest | flag::RegisterPending},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        connect();
        setFlag(flag::LoggedIn);
        setFlag(r.flags);
        session.profileUploadStep();
        EXPECT_EQ(server.read(), r.sent);
        EXPECT_EQ(status.empty() ? std::string() : status.back(), r.status);
        EXPECT_EQ(AppFlags & (flag::Guest | flag::RegisterPending | pending), r.left);
        EXPECT_TRUE(questions.empty());
        session.disconnect();
        AppFlags = 0;
    }
}

// Only a registered user who is logged in has a server profile to update;
// anything else would announce an update that never happened.
TEST_F(ProfileUpload, TheUploadItselfNeedsARegisteredLogin) {
    const uint16_t rows[] = {0, flag::Connected, flag::Connected | flag::LoggedIn | flag::Guest};
    for (uint16_t flags : rows) {
        SCOPED_TRACE(flags);
        if (flags & flag::Connected) connect();
        AppFlags = flags;
        EXPECT_FALSE(session.uploadProfile());
        EXPECT_EQ(server.read(20), "");
        EXPECT_TRUE(status.empty());
        session.disconnect();
        AppFlags = 0;
    }
}

TEST_F(ProfileUpload, ConnectedButNotLoggedInWaits) {
    connect();
    setFlag(flag::ProfileUploadPending | flag::RegisterPending | flag::Guest);
    session.profileUploadStep();
    EXPECT_EQ(server.read(), "");
    EXPECT_TRUE(hasFlag(flag::ProfileUploadPending));
    EXPECT_TRUE(questions.empty());
}

TEST_F(ProfileUpload, OfflineTheQuestionDecides) {
    setFlag(flag::ProfileUploadPending);
    yes = false;
    session.profileUploadStep();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0],
              "Frage|Sie m\xFCssen zum Server verbunden sein, um ihr Profil zu aktualisieren.\r"
              "Soll ich sie verbinden?");
    EXPECT_FALSE(hasFlag(flag::ProfileUploadPending));
    EXPECT_FALSE(hasFlag(flag::Connected));

    setFlag(flag::ProfileUploadPending);
    yes = true;
    session.profileUploadStep();
    ASSERT_TRUE(hasFlag(flag::Connected));
    ASSERT_TRUE(server.accept());
    EXPECT_EQ(server.read(), "LOGIN anna geheim [CLIENT:KAVEL@Windows]\rROOMLIST\rINFO anna\r");
    EXPECT_TRUE(hasFlag(flag::ProfileUploadPending));  // sent once logged in
}

TEST_F(ProfileUpload, AFailedConnectAsksAgainNextTime) {
    server.stopListening();
    setFlag(flag::ProfileUploadPending);
    yes = true;
    session.profileUploadStep();
    EXPECT_FALSE(hasFlag(flag::Connected));
    EXPECT_TRUE(hasFlag(flag::ProfileUploadPending));
    session.profileUploadStep();
    EXPECT_EQ(questions.size(), 2u);
}

}  // namespace
