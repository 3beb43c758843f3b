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

#include "platform/gadgets.h"
#include "platform/gadgets_qt.h"

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
        clearEvents();
        ASSERT_EQ(openWindow(kWin, 0, 0, 300, 200, "Test", kSizeGadget | kSystemMenu), kWin);
        drain();
    }
    void TearDown() override {
        closeWindow(kWin);
        setDialogAnswerer(nullptr);
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
    EXPECT_EQ(menuItemIds(kWin), (std::vector<int>{0, 1, 12, 5, 11}));
    EXPECT_TRUE(menuItemDisabled(kWin, 0));
    EXPECT_FALSE(menuItemDisabled(kWin, 5));
    EXPECT_TRUE(menuItemDisabled(kWin, 99));  // no such item

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
        EXPECT_EQ(menuItemIds(kWin), std::vector<int>{round});
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
    setDialogAnswerer([&](const DialogRequest& r) {
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

}  // namespace
