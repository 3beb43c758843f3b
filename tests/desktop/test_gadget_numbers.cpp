// The numbers of windows and controls: a control number that a second
// window claims is reported (a window built anew may make its own controls
// again), and windows and controls are found by title and accessible name
// as a screen reader finds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "desktop/gadgets.h"
#include "support/services.h"

using namespace kavel::platform;

namespace {

constexpr int kFirst = 40;
constexpr int kSecond = 41;

struct Clash {
    int control, holder, taker;
    bool operator==(const Clash&) const = default;
};

class Numbers : public ::testing::Test {
  protected:
    void SetUp() override {
        kavel::test::setService(&Services::controlClash, [seen = clashes](int c, int h, int t) {
            seen->push_back({c, h, t});
        });
        ASSERT_EQ(openWindow(kFirst, 0, 0, 200, 100, "Erstes", 0), kFirst);
        ASSERT_EQ(openWindow(kSecond, 0, 0, 200, 100, "Zweites", 0), kSecond);
    }
    std::shared_ptr<std::vector<Clash>> clashes = std::make_shared<std::vector<Clash>>();
};

TEST_F(Numbers, ANumberAnotherWindowHoldsIsReported) {
    button(kFirst, 7, 0, 0, 50, 20, "eins");
    ASSERT_EQ(checkBox(kSecond, 7, 0, 0, 50, 20, "zwei"), 7);
    EXPECT_EQ(*clashes, (std::vector<Clash>{{7, kFirst, kSecond}}));
    // As ever, the newer control has the number.
    EXPECT_EQ(controlWindow(7), kSecond);
    EXPECT_EQ(controlText(7), "zwei");
}

TEST_F(Numbers, ReusingOnesOwnOrAClosedWindowsNumberIsNoClash) {
    // A window built anew on top of itself.
    button(kFirst, 7, 0, 0, 50, 20, "eins");
    button(kFirst, 7, 0, 0, 50, 20, "wieder");
    EXPECT_EQ(controlText(7), "wieder");
    openWindow(kFirst, 0, 0, 200, 100, "Erstes", 0);
    button(kFirst, 7, 0, 0, 50, 20, "neu");
    // The number of a control that went with its window.
    button(kSecond, 8, 0, 0, 50, 20, "weg");
    closeWindow(kSecond);
    openWindow(kAnyId, 0, 0, 200, 100, "Drittes", 0);
    button(kFirst, 8, 0, 0, 50, 20, "acht");
    freeControl(8);
    button(kAnyId, 8, 0, 0, 50, 20, "kein Fenster");  // no window: nothing made
    // Fresh numbers are never held.
    const int a = button(kFirst, kAnyId, 0, 0, 50, 20, "a");
    const int b = button(windowTitled("Drittes"), kAnyId, 0, 0, 50, 20, "b");
    EXPECT_NE(a, b);
    EXPECT_TRUE(clashes->empty());
}

TEST(NumbersUnreported, ABuildWithAssertionsEndsAtAClash) {
#ifdef NDEBUG
    GTEST_SKIP() << "built without assertions: a clash is written to stderr";
#else
    EXPECT_DEATH(
        {
            openWindow(kFirst, 0, 0, 200, 100, "Erstes", 0);
            openWindow(kSecond, 0, 0, 200, 100, "Zweites", 0);
            button(kFirst, 7, 0, 0, 50, 20, "eins");
            button(kSecond, 7, 0, 0, 50, 20, "zwei");
        },
        "control 7 of window 40 \"Erstes\" is made again by window 41 \"Zweites\"");
#endif
}

TEST_F(Numbers, WindowsAreFoundByTitleAndOwner) {
    const int ownedByFirst = openWindow(kAnyId, 0, 0, 100, 50, "Paster", 0, kFirst);
    const int ownedBySecond = openWindow(kAnyId, 0, 0, 100, 50, "Paster", 0, kSecond);
    const int ampersand = openWindow(kAnyId, 0, 0, 100, 50, "R&B \xE4", 0);
    struct Row {
        const char* title;
        int parent;
        int found;
    } rows[] = {
        {"Erstes", -1, kFirst},
        {"Zweites", -1, kSecond},
        {"Paster", kFirst, ownedByFirst},
        {"Paster", kSecond, ownedBySecond},
        {"Paster", -1, std::min(ownedByFirst, ownedBySecond)},
        {"Paster", ownedByFirst, -1},
        {"R&B \xE4", -1, ampersand},
        {"Drittes", -1, -1},
        {"", -1, -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.title);
        EXPECT_EQ(windowTitled(r.title, r.parent), r.found) << r.parent;
    }
    setWindowTitle(ampersand, "Anders");
    EXPECT_EQ(windowTitled("Anders"), ampersand);
    closeWindow(kFirst);  // and with it the window it owns
    EXPECT_EQ(windowTitled("Erstes"), -1);
    EXPECT_EQ(windowTitled("Paster"), ownedBySecond);
}

TEST_F(Numbers, ControlsAreFoundByAccessibleNameInTheirWindow) {
    const int first = button(kFirst, kAnyId, 0, 0, 50, 20, "Abbrechen");
    const int second = button(kSecond, kAnyId, 0, 0, 50, 20, "Abbrechen");
    const int field = textField(kFirst, kAnyId, 0, 30, 50, 20, "");
    const int named = textField(kFirst, kAnyId, 0, 60, 50, 20, "");
    setAccessibleName(named, "Name des Codes");
    struct Row {
        int window;
        const char* name;
        int found;
    } rows[] = {
        {kFirst, "Abbrechen", first},      {kSecond, "Abbrechen", second},
        {kFirst, "Eingabefeld", field},  // a field nobody named has its kind's name
        {kFirst, "Name des Codes", named}, {kSecond, "Name des Codes", -1},
        {kFirst, "abbrechen", -1},         {-1, "Abbrechen", -1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(controlNamed(r.window, r.name), r.found) << r.window;
    }
    freeControl(first);
    EXPECT_EQ(controlNamed(kFirst, "Abbrechen"), -1);
}

}  // namespace
