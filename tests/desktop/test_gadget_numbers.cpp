// The numbers of windows and controls: found by title and accessible name
// as a screen reader finds them.
#include <gtest/gtest.h>

#include <algorithm>

#include "desktop/gadgets.h"

using namespace kavel::platform;

namespace {

constexpr int kFirst = 40;
constexpr int kSecond = 41;

class Numbers : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(openWindow(kFirst, 0, 0, 200, 100, "Erstes", 0), kFirst);
        ASSERT_EQ(openWindow(kSecond, 0, 0, 200, 100, "Zweites", 0), kSecond);
    }
};

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
