// Printing into a real room's view: its text, the character format at each
// position and the pictures it holds.
#include "ui/room_fixture.h"

#include "desktop/desktop.h"
#include "desktop/richtext.h"
#include "support/room_window.h"
#include "support/services.h"

#include <QApplication>
#include <QKeyEvent>

using ::testing::ElementsAre;

namespace kavel::testing {
namespace {

const std::string VT = "\x0b";

struct Span {
    std::string text;
    bool bold;
    bool italic;
    QColor colour;
    bool operator==(const Span&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Span& r) {
    return os << '"' << r.text << '"' << (r.bold ? " bold" : "") << (r.italic ? " italic" : "")
              << " " << r.colour.name().toStdString();
}

// The runs of one format in order; a picture shows as "<img>".
std::vector<Span> runs(const platform::ChatLogView* view) {
    std::vector<Span> out;
    for (const ViewRun& r : view->content().runs) {
        if (r.kind == ViewRun::LineBreak)
            out.push_back({"\n", false, false, QColor()});
        else if (r.kind == ViewRun::Picture)
            out.push_back({"<img>", false, false, QColor(0, 0, 0)});
        else
            out.push_back({r.text, (r.style & textstyle::Bold) != 0,
                           (r.style & textstyle::Italic) != 0, platform::toQColor(r.colour)});
    }
    return out;
}

class PrintViewTest : public RoomTest {};

TEST_F(PrintViewTest, FormatsLandOnTheRightCharacters) {
    ChatRoom* room = newChatRoom("lobby");
    roomPrint(room, "Hallo" + VT + "BWelt" + VT + "B!");
    roomPrint(room, VT + "C00FF00gr" + VT + "I\xFCn");
    const QColor black(0, 0, 0), green(0, 255, 0);
    EXPECT_THAT(runs(viewOf(room)),
                ElementsAre(Span{"Hallo", false, false, black}, Span{"Welt", true, false, black},
                            Span{"!", false, false, black}, Span{"\n", false, false, QColor()},
                            Span{"gr", false, false, green}, Span{"\xFCn", false, true, green},
                            Span{"\n", false, false, QColor()}));
    EXPECT_EQ(formatAt(room, 0).fontPointSize(), 10);
    EXPECT_EQ(viewOf(room)->formatAt(6).fontPointSize(), 10);
    EXPECT_EQ(viewText(room), "HalloWelt!\ngr\xFCn\n");
}

TEST_F(PrintViewTest, MarkedUrlAndOwnName) {
    ChatRoom* room = newChatRoom("lobby");
    setOptions(opt::ColourFirst | opt::MarkUrls | opt::OnlyOwn | opt::Flash);
    static int alerts;  // outlives the test: the service stays until the next reset
    alerts = 0;
    kavel::test::setService(&platform::Services::attention, [](int) { ++alerts; });
    roomPrint(room, "Hallo Anna, siehe www.x.de/a?b=1 " + VT + "CFF0000rot");
    EXPECT_THAT(runs(viewOf(room)),
                ElementsAre(Span{"Hallo ", false, false, QColor(0, 0, 0)},
                            Span{"anna", true, false, QColor(0, 0, 0)},
                            Span{", siehe ", false, false, QColor(0, 0, 0)},
                            Span{"www.x.de/a?b=1", true, false, QColor(0, 0xAA, 0)},
                            Span{" ", false, false, QColor(0, 0, 0)},
                            Span{"rot", false, false, QColor(255, 0, 0)},
                            Span{"\n", false, false, QColor()}));
    EXPECT_THAT(items(test::roomWindow(room).urlList), ElementsAre("www.x.de/a?b=1"));
    // The room is not in front (nothing is, offscreen), so it asks for attention.
    EXPECT_EQ(alerts, 1);
}

TEST_F(PrintViewTest, ForegroundRoomIsNotFlashed) {
    setOptions(opt::ColourFirst | opt::Flash);
    ChatRoom* room = newChatRoom("lobby");
    QWidget* frame = platform::windowFrame(test::roomWindow(room).window);
    frame->activateWindow();
    QApplication::setActiveWindow(frame);
    if (!platform::isForegroundWindow(test::roomWindow(room).window))
        GTEST_SKIP() << "this platform cannot bring a window to the front";
    static int alerts;  // outlives the test: the service stays until the next reset
    alerts = 0;
    kavel::test::setService(&platform::Services::attention, [](int) { ++alerts; });
    roomPrint(room, "x");
    EXPECT_EQ(alerts, 0);
}

TEST_F(PrintViewTest, SmileyIsAPictureInTheFaceColour) {
    clientState.backgroundColour = 0x202020;
    ChatRoom* room = newChatRoom("lobby");
    roomPrint(room, "a " + VT + "C0000FF:) b ;) c :-)");
    EXPECT_EQ(viewText(room), "a ? b ? c :-)\n");  // the pictures stand in for the pairs
    std::vector<QImage> images;
    for (const ViewRun& r : viewOf(room)->content().runs)
        if (r.kind == ViewRun::Picture)
            images.push_back(QImage::fromData(reinterpret_cast<const uchar*>(r.png.data()),
                                              static_cast<int>(r.png.size())));
    ASSERT_EQ(images.size(), 2u);
    for (const QImage& img : images) {
        ASSERT_EQ(img.size(), QSize(15, 15));
        EXPECT_EQ(QColor(img.pixel(7, 7)), QColor(0, 0, 255));
        EXPECT_EQ(QColor(img.pixel(0, 0)), QColor(0x20, 0x20, 0x20));
        EXPECT_EQ(QColor(img.pixel(5, 0)), QColor(0, 0, 0));
    }
    EXPECT_EQ(QColor(images[0].pixel(9, 1)), QColor(0, 0, 255));  // smiling: no wink
    EXPECT_EQ(QColor(images[1].pixel(9, 1)), QColor(0, 0, 0));
    EXPECT_EQ(viewOf(room)->palette().color(QPalette::Base), QColor(0x20, 0x20, 0x20));
}

TEST_F(PrintViewTest, AppendedCarriageReturnsBreakLines) {
    ChatRoom* room = newChatRoom("lobby");
    ChatView* view = platform::chatViewOf(test::roomWindow(room).view);
    ASSERT_NE(view, nullptr);
    view->append("\r");
    view->append("a\r");
    view->append("b");
    EXPECT_EQ(viewOf(room)->log().lineCount(), 3);
    EXPECT_EQ(viewText(room), "\na\nb");
}

TEST_F(PrintViewTest, ViewIsReadOnlyAndWrapsAtItsWidth) {
    ChatRoom* room = newChatRoom("lobby");
    platform::ChatLogView* view = viewOf(room);
    roomPrint(room, std::string(300, 'x'));
    const std::string before = viewText(room);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(view, &key);
    EXPECT_EQ(viewText(room), before);
    // The line's last character lies inside the view, on a lower row.
    view->scrollToLine(0);
    const QRect first = view->characterRect(0), last = view->characterRect(299);
    ASSERT_TRUE(first.isValid() && last.isValid());
    EXPECT_LE(last.right(), view->viewport()->width());
    EXPECT_GT(last.top(), first.top());
}

TEST_F(PrintViewTest, SavedContentsAsTextAndRtf) {
    ChatRoom* room = newChatRoom("lobby");
    roomPrint(room, "eins " + VT + "Bfett");
    roomPrint(room, "zw\xE4i {x}");
    auto save = [&](int format) {
        std::FILE* f = std::tmpfile();
        EXPECT_EQ((callSlot<int32_t, std::FILE*, int32_t>(reinterpret_cast<Object*>(room),
                                                          room_slot::SaveLog, f, format)),
                  1);
        std::rewind(f);
        std::string out;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        std::fclose(f);
        return out;
    };
    EXPECT_EQ(save(0), "eins fett\r\nzw\xE4i {x}\r\n");
    const std::string rtf = save(1);
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi", 0), 0u);
    EXPECT_NE(rtf.find("{\\b\\cf1 fett}"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("zw\\'e4i \\{x\\}"), std::string::npos) << rtf;
}

TEST_F(PrintViewTest, FocusGoesBackToTheEnteredRoomWhileItExists) {
    ChatRoom* a = newChatRoom("a");
    ChatRoom* b = newChatRoom("b");
    clientState.focusedInput = static_cast<uint32_t>(test::roomWindow(b).input);
    roomDestroy(b);
    sent();
    clientState.focusedInput = 999999;  // gone
    roomPrint(a, "x");
    EXPECT_EQ(uint32_t{clientState.focusedInput}, 0u);
}

}  // namespace
}  // namespace kavel::testing
