#pragma once
// A fixture for the fixed windows: the main window in a fresh working
// folder, a scripted answerer that records every question, real clicks on
// real widgets, and one main-loop pass to hand the click to its handler.

#include <gtest/gtest.h>

#include <QAbstractButton>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/data.h"
#include "core/KAVEL.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "support/qt_wait.h"
#include "support/services.h"
#include "support/work_folder.h"
#include "system/clock.h"
#include "ui/GUI.h"
#include "ui/windows/main_window.h"

namespace kavel::test {

namespace gd = kavel::platform;

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kavel::test::setService(&kavel::platform::Services::sleep,
                                [this](uint32_t ms) { slept.push_back(ms); });
        openMainWindow();
        gd::clearItems(mainwin::StatusList);
        kavel::test::discardEvents();
        kavel::test::setService(&kavel::platform::Services::dialogs,
                                [this](const gd::DialogRequest& r) {
                                    asked.push_back(r);
                                    return answer(r);
                                });
    }
    void TearDown() override {}

    // A real click on a button, check box or option button, then the main
    // loop pass that hands it to the window's handler. False when the
    // click produced no event (a disabled button).
    bool click(int id) {
        auto* b = qobject_cast<QAbstractButton*>(gd::controlWidget(id));
        EXPECT_NE(b, nullptr) << "control " << id;
        if (!b) return false;
        b->click();
        return pass();
    }
    // One main-loop pass on the event waiting; false when none was waiting.
    bool pass() {
        const std::size_t sleeps = slept.size();
        mainLoopPass();
        return slept.size() == sleeps;
    }
    void menu(int item) {
        gd::postEvent({gd::EventKind::Menu, mainwin::Window, item, gd::EventType::None});
        pass();
    }

    // The status lines without their time.
    std::vector<std::string> status() const {
        std::vector<std::string> out;
        for (int i = 0; i < gd::itemCount(mainwin::StatusList); ++i) {
            const std::string line = gd::itemText(mainwin::StatusList, i);
            out.push_back(line.substr(line.find("] ") + 2));
        }
        return out;
    }
    std::string lastStatus() const {
        const auto all = status();
        return all.empty() ? std::string() : all.back();
    }

    // A fixed window open with its title and outer size, owned by the main
    // window so that it stays above it.
    static void expectChildWindow(int window, const char* title, int width, int height) {
        ASSERT_TRUE(gd::windowExists(window));
        EXPECT_EQ(gd::windowTitle(window), title);
        EXPECT_EQ(gd::windowWidth(window), width);
        EXPECT_EQ(gd::windowHeight(window), height);
        EXPECT_EQ(gd::windowFrame(window)->parentWidget(), gd::windowFrame(mainwin::Window));
    }

    // Where a control sits in its window and what it says; a height below 0
    // or a null text is not checked (a drop-down list is as high as its font).
    struct Place {
        int id, x, y, w, h;
        const char* text;
    };
    // Every control in `window` at its place, with its caption and an
    // accessible name.
    static void expectPlaces(int window, std::initializer_list<Place> places) {
        for (const Place& p : places) {
            SCOPED_TRACE(p.id);
            ASSERT_TRUE(gd::controlExists(p.id));
            EXPECT_EQ(gd::controlWindow(p.id), window);
            EXPECT_EQ(gd::controlX(p.id), p.x);
            EXPECT_EQ(gd::controlY(p.id), p.y);
            EXPECT_EQ(gd::controlWidth(p.id), p.w);
            if (p.h >= 0) {
                EXPECT_EQ(gd::controlHeight(p.id), p.h);
            }
            if (p.text) {
                EXPECT_EQ(gd::controlText(p.id), p.text);
            }
            EXPECT_FALSE(gd::accessibleName(p.id).empty());
        }
    }

    WorkFolder folder;
    std::function<gd::DialogAnswer(const gd::DialogRequest&)> answer =
        [](const gd::DialogRequest&) { return gd::DialogAnswer{}; };
    std::vector<gd::DialogRequest> asked;
    std::vector<uint32_t> slept;
};

}  // namespace kavel::test
