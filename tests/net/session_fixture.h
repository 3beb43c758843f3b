#pragma once
// The wired session with its main window open, logged in as "anna" and
// pointed at a scripted peer on loopback that the test drives byte by byte.
// A fixture that needs its own services installs them before calling
// SetUp; one that must stop a helper first does so before calling TearDown.

#include <gtest/gtest.h>

#include "common/data.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "support/script_server.h"
#include "system/socket.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

namespace kavel::testing {

class ScriptedSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        loadUiTexts();
        platform::initNetwork();
        openMainWindow();
        platform::clearItems(mainwin::StatusList);
        setText(&ClientState::profileName, "anna");
        setText(&ClientState::nick, "anna");
        setText(&ClientState::password, "x");
        session().setHost("127.0.0.1");
        session().setPort(server.port());
    }
    void TearDown() override {
        session().disconnect();
        platform::closeWindow(mainwin::Window);
    }

    kavel_test::ScriptServer server;
};

}  // namespace kavel::testing
