// The facade's numbered pictures, the text question that can be cancelled,
// greying out one menu item, and listing a folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "desktop/gadgets.h"
#include "desktop/help.h"
#include "support/qt_wait.h"
#include "support/services.h"
#include "support/work_folder.h"
#include "system/folders.h"

using namespace kavel::platform;

namespace {

constexpr int kWin = 41;
constexpr int32_t kRed = 0x0000FF;
constexpr int32_t kBlue = 0xFF0000;

class Images : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(openWindow(kWin, 0, 0, 200, 200, "Bilder", kSystemMenu), kWin);
    }
};

TEST_F(Images, FillPointsAndReadBack) {
    ASSERT_TRUE(createImage(3, 10, 8));
    EXPECT_EQ(imageWidth(3), 10);
    EXPECT_EQ(imageHeight(3), 8);
    EXPECT_EQ(imagePixel(3, 0, 0), 0x000000);  // new images are black
    fillImage(3, kRed);
    drawPoints(3, {{0, 0}, {9, 7}, {-1, 0}, {10, 7}, {0, 8}, {4, -3}}, kBlue);
    EXPECT_EQ(imagePixel(3, 0, 0), kBlue);
    EXPECT_EQ(imagePixel(3, 9, 7), kBlue);
    EXPECT_EQ(imagePixel(3, 5, 5), kRed);
    for (auto [x, y] : {std::pair{-1, 0}, {10, 0}, {0, 8}, {0, -1}})
        EXPECT_EQ(imagePixel(3, x, y), -1) << x << "," << y;
    EXPECT_EQ(imagePixel(99, 0, 0), -1);

    // The same size keeps the picture, another size makes it anew.
    EXPECT_TRUE(createImage(3, 10, 8));
    EXPECT_EQ(imagePixel(3, 5, 5), kRed);
    EXPECT_TRUE(createImage(3, 4, 4));
    EXPECT_EQ(imagePixel(3, 1, 1), 0x000000);
    EXPECT_FALSE(createImage(4, 0, 5));
    EXPECT_FALSE(imageExists(4));
    freeImage(3);
    EXPECT_FALSE(imageExists(3));
}

TEST_F(Images, TextIsUnsmoothedAndKeepsTheBackground) {
    ASSERT_TRUE(createImage(5, 100, 30));
    fillImage(5, kBlue);
    const int32_t colour = 0x40C0FF;
    drawText(5, 2, 3, "KAVEL", colour);
    const int width = textWidth("KAVEL");
    EXPECT_GT(width, 10);
    EXPECT_EQ(textWidth(""), 0);
    int inText = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 100; ++x) {
            const int32_t p = imagePixel(5, x, y);
            ASSERT_TRUE(p == kBlue || p == colour) << x << "," << y << ": " << std::hex << p;
            if (p == colour) {
                ++inText;
                EXPECT_GE(x, 2);
                EXPECT_LE(x, 2 + width);
                EXPECT_GE(y, 3);  // the top of the text is at y
            }
        }
    }
    EXPECT_GT(inText, 20);
}

TEST_F(Images, ControlsShowACopyOfTheImage) {
    const int picture = imageControl(kWin, kAnyId, 0, 0, 20, 20, true);
    const int swatch = imageButton(kWin, kAnyId, 30, 0, 20, 20);
    EXPECT_EQ(shownPixel(picture, 1, 1), -1);  // nothing shown yet
    ASSERT_TRUE(createImage(0, 20, 20));
    fillImage(0, kRed);
    showImage(picture, 0);
    showImage(swatch, 0);
    EXPECT_EQ(shownPixel(picture, 1, 1), kRed);
    EXPECT_EQ(shownPixel(swatch, 1, 1), kRed);

    fillImage(0, kBlue);  // not shown until asked
    EXPECT_EQ(shownPixel(picture, 1, 1), kRed);
    showImage(picture, 0);
    EXPECT_EQ(shownPixel(picture, 1, 1), kBlue);
    showImage(picture, 77);  // no such image: nothing changes
    EXPECT_EQ(shownPixel(picture, 1, 1), kBlue);
}

TEST_F(Images, AnEmptyAnswerIsNotACancel) {
    struct Row {
        DialogAnswer answer;
        std::optional<std::string> asked;
        std::string input;
    };
    DialogAnswer cancelled;
    cancelled.cancelled = true;
    DialogAnswer typed;
    typed.text = "sesam";
    const Row rows[] = {{DialogAnswer{}, std::string(), ""},
                        {typed, std::string("sesam"), "sesam"},
                        {cancelled, std::nullopt, ""}};
    for (const Row& r : rows) {
        DialogRequest seen{DialogRequest::Message, {}, {}};
        kavel::test::setService(&kavel::platform::Services::dialogs, [&](const DialogRequest& q) {
            seen = q;
            return r.answer;
        });
        EXPECT_EQ(askText("Passwort", "Bitte", ""), r.asked);
        EXPECT_EQ(seen.kind, DialogRequest::Input);
        EXPECT_EQ(seen.title, "Passwort");
        EXPECT_EQ(inputText("Passwort", "Bitte", ""), r.input);
    }
}

TEST_F(Images, OneMenuItemGreyedOutAndBack) {
    beginMenuBar(kWin);
    menuTitle("Aktionen");
    menuItem(0, "Verbinden", true);
    menuItem(1, "Beenden");
    endMenu();
    ASSERT_TRUE(kavel::test::menuItemDisabled(kWin, 0));
    disableMenuItem(kWin, 0, false);
    EXPECT_FALSE(kavel::test::menuItemDisabled(kWin, 0));
    disableMenuItem(kWin, 1, true);
    EXPECT_TRUE(kavel::test::menuItemDisabled(kWin, 1));
    disableMenuItem(kWin, 42, false);  // no such item: nothing happens
    EXPECT_TRUE(kavel::test::menuItemDisabled(kWin, 42));
}

TEST(Folders, OnlyRegularFilesWithTheEnding) {
    kavel::test::WorkFolder folder;
    std::filesystem::create_directory("p");
    for (const char* name : {"a.prof", "b.prof", "c.txt", ".prof", "d.prof.bak"})
        std::ofstream(std::string("p/") + name) << "x";
    std::filesystem::create_directory("p/e.prof");
    auto names = listFiles("p", ".prof");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.prof", "b.prof"}));
    EXPECT_TRUE(listFiles("fehlt", ".prof").empty());
    EXPECT_TRUE(folderExists("p"));
    EXPECT_FALSE(folderExists("p/a.prof"));
    EXPECT_FALSE(folderExists("fehlt"));
}

// As every entry of the facade, the new ones check the thread too.
using ImagesDeathTest = Images;

TEST_F(ImagesDeathTest, NewEntriesEndTheProgramOffTheGuiThread) {
    const int b = imageButton(kWin, kAnyId, 0, 0, 20, 20);
    createImage(1, 4, 4);
    const std::vector<std::pair<const char*, std::function<void()>>> entries = {
        {"createImage", [] { createImage(2, 4, 4); }},
        {"freeImage", [] { freeImage(1); }},
        {"imageExists", [] { imageExists(1); }},
        {"imageWidth", [] { imageWidth(1); }},
        {"fillImage", [] { fillImage(1, 0); }},
        {"drawPoints",
         [] {
             drawPoints(1, {{0, 0}}, 0);
         }},
        {"drawText", [] { drawText(1, 0, 0, "x", 0); }},
        {"textWidth", [] { textWidth("x"); }},
        {"imagePixel", [] { imagePixel(1, 0, 0); }},
        {"showImage", [b] { showImage(b, 1); }},
        {"shownPixel", [b] { shownPixel(b, 0, 0); }},
        {"askText", [] { askText("x", "y", ""); }},
        {"disableMenuItem", [] { disableMenuItem(kWin, 0, true); }},
        {"showHelp", [] { showHelp(kWin, "x", "index.html"); }},
        {"helpShown", [] { helpShown(); }},
        {"helpPage", [] { helpPage(); }},
    };
    for (const auto& [name, call] : entries) {
        SCOPED_TRACE(name);
        EXPECT_DEATH(std::thread(call).join(), "off the GUI thread");
    }
}

}  // namespace
