// The window facade under the offscreen platform: user actions become events
// on the queue, program changes do not, close boxes only ask.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "support/qt_wait.h"
#include "support/script_server.h"
#include "support/services.h"
#include "system/socket.h"

using namespace kavel::platform;

namespace {

constexpr int kWin = 40;

std::vector<Event> drain() {
    std::vector<Event> out;
    for (int i = 0; i < 50; ++i) {
        Event e = pollEvent();
        if (e.kind != EventKind::None) out.push_back(e);
    }
    return out;
}

class Gadgets : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(openWindow(kWin, 0, 0, 300, 200, "Test", kSizeGadget | kSystemMenu), kWin);
        drain();
    }
    void TearDown() override {
        closeWindow(kWin);
        drain();
    }
};

TEST_F(Gadgets, CloseBoxAsksButDoesNotClose) {
    QCloseEvent close;
    QApplication::sendEvent(windowFrame(kWin), &close);
    auto events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::CloseRequest);
    EXPECT_EQ(events[0].window, kWin);
    EXPECT_TRUE(windowExists(kWin));
    EXPECT_TRUE(windowFrame(kWin)->isVisible());
}

TEST_F(Gadgets, ButtonAndCheckBoxClicksAreEventsOfTheirWindow) {
    int b = button(kWin, 7, 10, 10, 80, 20, "Annehmen");
    int c = checkBox(kWin, kAnyId, 10, 40, 80, 20, "blinken");
    ASSERT_EQ(b, 7);
    ASSERT_GE(c, 1000);
    static_cast<QAbstractButton*>(controlWidget(b))->click();
    static_cast<QAbstractButton*>(controlWidget(c))->click();
    auto events = drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, EventKind::Control);
    EXPECT_EQ(events[0].id, 7);
    EXPECT_EQ(events[0].type, EventType::Click);
    EXPECT_EQ(events[1].id, c);
    EXPECT_EQ(controlState(c), 1);
    EXPECT_EQ(accessibleName(b), "Annehmen");
}

TEST_F(Gadgets, ProgramChangesProduceNoEvents) {
    int list = listBox(kWin, 1, 0, 0, 100, 100);
    int combo = comboBox(kWin, 2, 0, 110, 100, 100);
    int field = textField(kWin, 3, 0, 150, 100, 20, "");
    int check = checkBox(kWin, 4, 0, 180, 100, 20, "x");
    for (const char* t : {"a", "b", "c"}) {
        addItem(list, t);
        addItem(combo, t);
    }
    setSelectedItem(list, 2);
    setSelectedItem(combo, 1);
    setControlText(field, "hallo");
    setControlState(check, 1);
    clearItems(combo);
    EXPECT_TRUE(drain().empty());
    EXPECT_EQ(selectedItem(list), 2);
    EXPECT_EQ(controlText(list), "c");
    EXPECT_EQ(controlText(field), "hallo");

    // The user's selection does produce one.
    static_cast<QListWidget*>(controlWidget(list))->setCurrentRow(0);
    auto events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, EventType::Change);
}

TEST_F(Gadgets, TextKeepsWindows1252AndAmpersands) {
    int b = button(kWin, 5, 0, 0, 100, 20, "R&B \xFC");
    EXPECT_EQ(controlText(b), "R&B \xFC");
    beginMenuBar(kWin);
    menuTitle("Aktionen");
    menuItem(12, "R&B -> [3 User]");
    endMenu();
    EXPECT_EQ(menuItemText(kWin, 12), "R&B -> [3 User]");
}

TEST_F(Gadgets, MenuBarItemsInOrderWithStateAndEvents) {
    beginMenuBar(kWin);
    menuTitle("Aktionen");
    menuItem(0, "Verbinden", true);
    openSubMenu("Chatraum betreten");
    menuItem(1, "Liste");
    menuSeparator();
    menuItem(12, "a");
    closeSubMenu();
    menuItem(5, "Beenden");
    menuTitle("Hilfe");
    menuItem(11,
             "\xDC"
             "ber");
    endMenu();
    EXPECT_EQ(kavel::test::menuItemIds(kWin), (std::vector<int>{0, 1, 12, 5, 11}));
    EXPECT_TRUE(kavel::test::menuItemDisabled(kWin, 0));
    EXPECT_FALSE(kavel::test::menuItemDisabled(kWin, 5));
    EXPECT_TRUE(kavel::test::menuItemDisabled(kWin, 99));  // no such item

    // "Beenden" sits in Aktionen after the submenu, not inside it.
    auto* bar = windowFrame(kWin)->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    auto titles = bar->actions();
    ASSERT_EQ(titles.size(), 2);
    auto entries = titles[0]->menu()->actions();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[2]->text(), "Beenden");
    entries[2]->trigger();
    auto events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::Menu);
    EXPECT_EQ(events[0].id, 5);
    EXPECT_EQ(events[0].window, kWin);
}

TEST_F(Gadgets, MenuBarKeepsTheInnerSizeAndRebuildsInPlace) {
    EXPECT_EQ(windowWidth(kWin), 300);
    EXPECT_EQ(windowHeight(kWin), 200);
    for (int round = 0; round < 3; ++round) {
        beginMenuBar(kWin);
        menuTitle("A");
        menuItem(round, "x");
        endMenu();
        drain();
        EXPECT_EQ(windowHeight(kWin), 200) << round;
        EXPECT_EQ(kavel::test::menuItemIds(kWin), std::vector<int>{round});
    }
}

TEST_F(Gadgets, ResizeReportsOnceAndSplitterKeepsTheLowerPart) {
    int top = imageControl(kWin, 1, 0, 0, 20, 20);
    int bottom = listBox(kWin, 0, 0, 0, 20, 20);
    int s = splitter(kWin, 78, 10, 10, 280, 180, top, bottom, false, 120, true);
    ASSERT_EQ(s, 78);
    EXPECT_EQ(controlState(s), 120);
    showWindow(kWin);
    EXPECT_TRUE(drain().empty());  // showing at the opened size is no resize

    resizeWindow(kWin, 400, 300);
    auto events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::Resized);
    EXPECT_EQ(windowWidth(kWin), 400);
    EXPECT_EQ(windowHeight(kWin), 300);

    const int lower = controlHeight(bottom);
    resizeControl(s, -1, -1, 380, 280);
    drain();
    EXPECT_EQ(controlHeight(bottom), lower);
    EXPECT_EQ(controlWidth(s), 380);
}

TEST_F(Gadgets, ClosingAWindowForgetsItsControlsOwnedWindowsAndEvents) {
    int b = button(kWin, 9, 0, 0, 10, 10, "x");
    int t = panel(kWin, 15, 0, 0, 200, 150);
    addPanelTab(t, "Login");
    int onTab = textField(kWin, 16, 5, 5, 50, 20, "");
    closePanelTabs(t);
    EXPECT_TRUE(controlWidget(t)->isAncestorOf(controlWidget(onTab)));
    ASSERT_EQ(openWindow(41, 0, 0, 50, 50, "owned", kTitleBar, kWin), 41);
    postEvent({EventKind::Control, kWin, b, EventType::Click});
    closeWindow(kWin);
    EXPECT_FALSE(windowExists(kWin));
    EXPECT_FALSE(windowExists(41));
    EXPECT_FALSE(controlExists(b));
    EXPECT_FALSE(controlExists(onTab));
    EXPECT_TRUE(drain().empty());
}

TEST_F(Gadgets, FrameLetsClicksThroughToTheControlsItSurrounds) {
    int c = checkBox(kWin, 2, 20, 20, 100, 20, "x");
    int f = frame(kWin, 12, 0, 0, 290, 190, "");
    QWidget* canvas = windowCanvas(kWin);
    showWindow(kWin);
    EXPECT_EQ(canvas->childAt(30, 30), controlWidget(c));
    EXPECT_TRUE(controlWidget(f)->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(Gadgets, ScriptedAnswererSeesEveryDialog) {
    std::vector<DialogRequest> seen;
    kavel::test::setService(&kavel::platform::Services::dialogs, [&](const DialogRequest& r) {
        seen.push_back(r);
        DialogAnswer a;
        a.yes = r.kind == DialogRequest::YesNo;
        a.text = "geheim";
        a.colour = 0x123456;
        return a;
    });
    messageBox("Nachricht", "spam");
    EXPECT_TRUE(askYesNo("Frage", "Soll ich?"));
    EXPECT_EQ(inputText("Passwort", "Bitte", ""), "geheim");
    EXPECT_EQ(chooseColour(0), 0x123456);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].kind, DialogRequest::Message);
    EXPECT_EQ(seen[0].text, "spam");
    EXPECT_EQ(seen[1].title, "Frage");
    EXPECT_EQ(seen[2].text, "Bitte");
}

TEST_F(Gadgets, PopupMenuItemsReportTheirWindow) {
    int m = beginPopupMenu(kWin);
    menuItem(300, "Profil");
    endMenu();
    auto* menu = windowFrame(kWin)->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    menu->actions().at(0)->trigger();
    auto events = drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].id, 300);
    EXPECT_EQ(events[0].window, kWin);
    freeMenu(m);
}

// Each kind answers the generic calls through its own row; a row that
// points at another kind's operations shows up here.
TEST_F(Gadgets, EachKindKeepsItsTextAndState) {
    struct Case {
        const char* kind;
        std::function<int()> make;
        std::string text;      // set with setControlText
        std::string readBack;  // what controlText answers
        int state;             // set with setControlState
        int stateBack;         // what controlState answers
    };
    const int tabs = panel(kWin, 30, 0, 0, 100, 100);
    addPanelTab(tabs, "Eins");
    addPanelTab(tabs, "Zwei");
    closePanelTabs(tabs);
    const int list = listBox(kWin, 31, 0, 0, 50, 50);
    const int combo = comboBox(kWin, 32, 0, 0, 50, 50);
    for (const char* t : {"a", "b"}) {
        addItem(list, t);
        addItem(combo, t);
    }
    const std::vector<Case> cases = {
        {"button", [] { return button(kWin, kAnyId, 0, 0, 50, 20, "x"); }, "R&B", "R&B", 1, 0},
        {"wrapping button", [] { return button(kWin, kAnyId, 0, 0, 50, 40, "x", true); },
         "lang & breit", "lang & breit", 1, 0},
        {"check box", [] { return checkBox(kWin, kAnyId, 0, 0, 50, 20, "x"); }, "a&b", "a&b", 1, 1},
        {"option", [] { return optionButton(kWin, kAnyId, 0, 0, 50, 20, "x"); }, "\xE4", "\xE4", 1,
         1},
        {"text field", [] { return textField(kWin, kAnyId, 0, 0, 50, 20, "x"); }, "a&b", "a&b", 1,
         0},
        {"editor", [] { return editor(kWin, kAnyId, 0, 0, 50, 50); }, "a\rb\r\nc", "a\nb\nc", 1, 0},
        {"label", [] { return label(kWin, kAnyId, 0, 0, 50, 20, "x"); }, "a&b", "a&b", 1, 0},
        {"frame", [] { return frame(kWin, kAnyId, 0, 0, 50, 20, "x"); }, "a&b", "a&b", 1, 0},
        {"image", [] { return imageControl(kWin, kAnyId, 0, 0, 50, 20); }, "x", "", 1, 0},
        {"image button", [] { return imageButton(kWin, kAnyId, 0, 0, 50, 20); }, "x", "", 1, 0},
        // Lists and combo boxes select the item with that text.
        {"list box", [&] { return list; }, "b", "b", 1, 0},
        {"combo box", [&] { return combo; }, "b", "b", 1, 0},
        // A panel's text is its open tab's title, its state that tab.
        {"panel", [&] { return tabs; }, "R&D", "R&D", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const int id = c.make();
        ASSERT_GE(id, 0);
        setControlText(id, c.text);
        EXPECT_EQ(controlText(id), c.readBack);
        setControlState(id, c.state);
        EXPECT_EQ(controlState(id), c.stateBack);
    }
    EXPECT_EQ(selectedItem(list), 1);
    EXPECT_EQ(selectedItem(combo), 1);
    setControlText(combo, "gibt es nicht");
    EXPECT_EQ(selectedItem(combo), -1);
    EXPECT_EQ(controlText(combo), "");
    EXPECT_TRUE(drain().empty());
}

TEST_F(Gadgets, ListCallsLeaveOtherControlsAlone) {
    const int b = button(kWin, 5, 0, 0, 50, 20, "x");
    addItem(b, "a");
    setSelectedItem(b, 0);
    EXPECT_EQ(itemCount(b), 0);
    EXPECT_EQ(itemText(b, 0), "");
    EXPECT_EQ(selectedItem(b), -1);
    EXPECT_EQ(controlText(b), "x");
    EXPECT_EQ(itemCount(4711), 0);  // no such control
}

TEST_F(Gadgets, ResetPutsTheFacadeBackToItsStart) {
    ASSERT_EQ(openWindow(41, 0, 0, 50, 50, "owned", kTitleBar, kWin), 41);
    const int any = openWindow(kAnyId, 0, 0, 50, 50, "frei", kSystemMenu);
    const int control = button(any, kAnyId, 0, 0, 10, 10, "x");
    beginPopupMenu(kWin);
    endMenu();
    beginMenuBar(kWin);  // left unfinished
    menuTitle("halb");
    postEvent({EventKind::Menu, 4711, 1, EventType::None});
    int answered = 0;
    kavel::test::setService(&kavel::platform::Services::dialogs, [&](const DialogRequest&) {
        ++answered;
        return DialogAnswer{};
    });

    resetGadgets();

    for (int w : {kWin, 41, any})
        EXPECT_FALSE(windowExists(w)) << w;
    EXPECT_FALSE(controlExists(control));
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());  // the half-built bar too
    EXPECT_EQ(pollEvent().kind, EventKind::None);
    ASSERT_EQ(openWindow(kWin, 0, 0, 300, 200, "Test", kSizeGadget), kWin);
    EXPECT_EQ(openWindow(kAnyId, 0, 0, 50, 50, "frei", kSystemMenu), any);
    EXPECT_EQ(button(kWin, kAnyId, 0, 0, 10, 10, "x"), control);
    EXPECT_EQ(beginPopupMenu(kWin), 1);  // as in a program just started
    endMenu();

    // Without the answerer (a service, not the facade's) the real dialog
    // opens; answer it as a user would.
    kavel::platform::replaceServices({});
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(askYesNo("Frage", "echt?"));
    EXPECT_EQ(answered, 0);
    closeWindow(any);
}

// The idle main loop's wait ends for each thing the loop has to look at. A
// watchdog wakes a wait that nothing else ended, so a missed source fails
// its case instead of hanging the test.
TEST_F(Gadgets, AnIdleWaitEndsForEachThingTheLoopWaitsOn) {
    using Peer = kavel_test::ScriptServer;
    auto soon = [](std::function<void()> act) {
        return std::thread([act = std::move(act)] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            act();
        });
    };
    struct Case {
        const char* what;
        uint32_t timeoutMs;
        std::function<std::thread(Peer&)> cause;
    };
    const std::vector<Case> cases = {
        {"data already waiting", kWaitForever, [](Peer& p) { return p.send("x"), std::thread(); }},
        {"data while waiting", kWaitForever, [&](Peer& p) { return soon([&p] { p.send("x"); }); }},
        {"the peer closing", kWaitForever,
         [&](Peer& p) { return soon([&p] { p.closeClient(); }); }},
        {"a wake-up from another thread", kWaitForever, [&](Peer&) { return soon(wakeMainLoop); }},
        {"a wake-up just before the wait", kWaitForever,
         [](Peer&) { return wakeMainLoop(), std::thread(); }},
        {"an event posted from another thread", kWaitForever,
         [&](Peer&) {
             return soon([] { QCoreApplication::postEvent(qApp, new QEvent(QEvent::User)); });
         }},
        {"its deadline", 20, [](Peer&) { return std::thread(); }},
    };
    initNetwork();
    for (const Case& c : cases) {
        Peer peer;
        const uint32_t connection = tcpConnect("127.0.0.1", peer.port());
        ASSERT_TRUE(peer.accept()) << c.what;
        QCoreApplication::processEvents();
        std::atomic<bool> done{false}, watchdogWoke{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 500 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!done) {
                watchdogWoke = true;
                wakeMainLoop();
            }
        });
        std::thread cause = c.cause(peer);
        waitForWork(c.timeoutMs, connection);
        done = true;
        watchdog.join();
        if (cause.joinable()) cause.join();
        EXPECT_FALSE(watchdogWoke) << c.what;
        tcpClose(connection);
    }
}

// The header promises that every entry checks the thread; a release Qt
// would not notice a widget touched from elsewhere.
using GadgetsDeathTest = Gadgets;

TEST_F(GadgetsDeathTest, EveryEntryEndsTheProgramOffTheGuiThread) {
    const int b = button(kWin, 3, 0, 0, 10, 10, "x");
    const std::vector<std::pair<const char*, std::function<void()>>> entries = {
        {"pollEvent", [] { pollEvent(); }},
        {"postEvent", [] { postEvent({}); }},
        {"waitForWork", [] { waitForWork(0, 0); }},
        {"resetGadgets", [] { resetGadgets(); }},
        {"openWindow", [] { openWindow(kAnyId, 0, 0, 10, 10, "x", 0); }},
        {"windowExists", [] { windowExists(kWin); }},
        {"closeWindow", [] { closeWindow(kWin); }},
        {"windowTitle", [] { windowTitle(kWin); }},
        {"windowWidth", [] { windowWidth(kWin); }},
        {"isForegroundWindow", [] { isForegroundWindow(kWin); }},
        {"windowHandle", [] { windowHandle(kWin); }},
        {"windowFrame", [] { windowFrame(kWin); }},
        {"button", [] { button(kWin, kAnyId, 0, 0, 10, 10, "x"); }},
        {"controlExists", [b] { controlExists(b); }},
        {"controlWidget", [b] { controlWidget(b); }},
        {"controlText", [b] { controlText(b); }},
        {"controlState", [b] { controlState(b); }},
        {"controlX", [b] { controlX(b); }},
        {"controlDisabled", [b] { controlDisabled(b); }},
        {"controlHidden", [b] { controlHidden(b); }},
        {"accessibleName", [b] { accessibleName(b); }},
        {"controlWindow", [b] { controlWindow(b); }},
        {"setControlText", [b] { setControlText(b, "y"); }},
        {"closePanelTabs", [b] { closePanelTabs(b); }},
        {"itemCount", [b] { itemCount(b); }},
        {"itemText", [b] { itemText(b, 0); }},
        {"selectedItem", [b] { selectedItem(b); }},
        {"addItem", [b] { addItem(b, "y"); }},
        {"expectLongList", [b] { expectLongList(b); }},
        {"menuItem", [] { menuItem(1, "x"); }},
        {"menuItemText", [] { menuItemText(kWin, 1); }},
        {"messageBox", [] { messageBox("x", "y"); }},
    };
    for (const auto& [name, call] : entries) {
        SCOPED_TRACE(name);
        EXPECT_DEATH(std::thread(call).join(), "off the GUI thread");
    }
}

}  // namespace
