// The chat view against what any room member can send or do: smileys in
// ever new colours, links clicked while lines arrive or the wheel turns,
// bytes that look like pictures, and screen-reader queries far outside
// the text.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"

namespace kavel::testing {
namespace {

using platform::ChatLog;
using platform::ChatLogView;

// A smiley-like picture: background outside, black rim, face colour inside.
Picture face(int32_t colour, const char* text = ":)") {
    Picture p;
    p.width = p.height = 15;
    p.text = text;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x) {
            const int d = (x - 7) * (x - 7) + (y - 7) * (y - 7);
            p.pixels.push_back(d > 49 ? kWhite : d > 36 ? kBlack : colour);
        }
    return p;
}

TEST(ChatLogPictures, TenThousandColoursKeepOnePictureAndEachItsOwnColour) {
    ChatLogView view(-1);
    for (int32_t c = 0; c < 10000; ++c) {
        view.insertImage(face(c * 1597 % 0xFFFFFF));
        if (c % 100 == 99) view.appendLineBreak();
    }
    view.insertImage(face(0x00FF00, ";)"));
    // One per shape (a black face, like its rim, makes one more): the
    // colours live with each place, not as pictures.
    EXPECT_LE(view.log().pictures().size(), 3u);
    int checked = 0;
    for (const ViewRun& r : view.content().runs) {
        if (r.kind != ViewRun::Picture) continue;
        const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(r.png.data()),
                                              static_cast<int>(r.png.size()));
        const int32_t expected = checked < 10000 ? checked * 1597 % 0xFFFFFF : 0x00FF00;
        ASSERT_EQ(platform::fromQColor(image.pixelColor(7, 7)), expected) << checked;
        EXPECT_EQ(r.text, checked < 10000 ? ":)" : ";)");
        ++checked;
    }
    EXPECT_EQ(checked, 10001);
    // What a picture stands for and its size stay with it.
    EXPECT_EQ(view.log().text(0, 3, {}), ":):):)");
    EXPECT_TRUE(view.formatAt(5).isImageFormat());
    EXPECT_EQ(view.formatAt(5).toImageFormat().width(), 15);
}

TEST(ChatLogPictures, EveryPictureComesBackExactlyAndEqualOnesShareTheirShape) {
    Picture many;  // more colours than a place keeps: the rest stay in the shape
    many.width = 12;
    many.height = 2;
    many.text = "*";
    for (int i = 0; i < 24; ++i)
        many.pixels.push_back(i % 12 * 0x010203);
    Picture otherTail = many;
    otherTail.pixels.back() = 0x123456;
    Picture odd = face(0x00FF00);
    odd.width = 9;
    odd.height = 25;
    const Picture pictures[] = {face(0xFF0000), face(0xFF0000, ":-)"), face(kWhite), many,
                                otherTail,      face(0x0000FF),        odd,          many};
    ChatLog log;
    for (const Picture& p : pictures)
        log.insertPicture(p);
    // Many texts, each its own shape, all found again by their hash.
    for (int i = 0; i < 1000; ++i)
        log.insertPicture(face(i + 1, std::to_string(i).c_str()));
    for (int i = 0; i < 1000; ++i)
        log.insertPicture(face(i + 8, std::to_string(i).c_str()));
    EXPECT_EQ(log.pictures().size(), 6u + 2000u / 2);
    const auto& spots = log.pictureSpots();
    ASSERT_EQ(spots.size(), std::size(pictures) + 2000);
    for (std::size_t i = 0; i < spots.size(); ++i) {
        const Picture expected =
            i < std::size(pictures)
                ? pictures[i]
                : face(static_cast<int32_t>((i - 8) % 1000 + (i >= 1008 ? 8 : 1)),
                       std::to_string((i - 8) % 1000).c_str());
        const Picture back = log.picture(spots[i].picture);
        EXPECT_EQ(back.pixels, expected.pixels) << i;
        EXPECT_EQ(std::make_tuple(back.width, back.height, back.text),
                  std::make_tuple(expected.width, expected.height, expected.text))
            << i;
    }
}

// Links are opened here instead of on the desktop.
class LinkView : public ChatLogView {
  public:
    LinkView() : ChatLogView(-1) {}
    std::vector<std::string> opened;

  protected:
    void openLink(std::string_view link) override { opened.emplace_back(link); }
};

// Each line a different length before a different link.
std::string linkOf(int i) {
    return "http://example.org/" + std::string(static_cast<std::size_t>(i % 7), 'x') +
           std::to_string(i);
}
void addLinkLine(ChatLogView& view, int i) {
    view.append("Zeile " + std::string(static_cast<std::size_t>(i % 5) * 3, '-') + " ");
    view.appendLink(linkOf(i));
    view.appendLineBreak();
}

class LinkClicks : public ::testing::Test {
  protected:
    void SetUp() override {
        view.resize(400, 200);
        view.show();
        for (int i = 0; i < 100; ++i)
            addLinkLine(view, i);
        view.grab();
    }
    // A point on the middle of a link's fourth character.
    QPoint onLink(int line) {
        const ChatLog& log = view.log();
        const auto column = static_cast<uint32_t>(log.lineText(line).find("http") + 3);
        return view.characterRect(log.position(line, column)).center();
    }
    // The link of the line under a point, or none.
    std::optional<std::string> linkUnder(QPoint point) {
        const int line = view.log().lineOfPosition(view.positionAt(point));
        const std::string_view text = view.log().lineText(line);
        const std::size_t at = text.find("http");
        if (at == std::string_view::npos) return std::nullopt;
        const QRect first = view.characterRect(view.log().position(line, uint32_t(at)));
        if (point.x() < first.left()) return std::nullopt;
        return std::string(text.substr(at));
    }
    void mouse(QEvent::Type type, QPoint at) {
        QMouseEvent e(type, at, view.viewport()->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &e);
    }
    void wheel(int angle, QPoint at) {
        QWheelEvent e(at, view.viewport()->mapToGlobal(at), QPoint(), QPoint(0, angle),
                      Qt::LeftButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &e);
    }

    LinkView view;
};

TEST_F(LinkClicks, ReleaseTakesTheLinkUnderThePointerWhateverMovedMeanwhile) {
    struct Case {
        const char* what;
        int newLines;  // arriving while the button is held
        int wheel;     // turned while the button is held (angle)
    };
    const Case cases[] = {
        {"still", 0, 0},         {"lines arrive", 30, 0},      {"wheel up", 0, 240},
        {"wheel down", 0, -120}, {"lines and wheel", 40, 360}, {"many lines", 500, 0},
    };
    int next = 100;
    for (const Case& c : cases) {
        view.scrollToEnd();
        view.grab();
        view.opened.clear();
        const int line = view.log().lineCount() - 4;
        const QPoint at = onLink(line);
        ASSERT_FALSE(at.isNull()) << c.what;
        mouse(QEvent::MouseButtonPress, at);
        for (int i = 0; i < c.newLines; ++i, ++next)
            addLinkLine(view, next);
        if (c.wheel != 0) wheel(c.wheel, at);
        view.grab();
        const std::optional<std::string> expected = linkUnder(at);
        EXPECT_NO_THROW(mouse(QEvent::MouseButtonRelease, at)) << c.what;
        if (expected) {
            EXPECT_EQ(view.opened, std::vector<std::string>{*expected}) << c.what;
        } else {
            EXPECT_TRUE(view.opened.empty()) << c.what;
        }
        // Without the wheel nothing moved under the pointer: the link pressed.
        if (c.wheel == 0) {
            EXPECT_EQ(view.opened, std::vector<std::string>{linkOf(line)}) << c.what;
        }
    }
}

TEST_F(LinkClicks, AHeldButtonHoldsTheViewWhichFollowsTheEndAgainAfterwards) {
    ASSERT_TRUE(view.atEnd());
    const int top = view.topLine();
    const QPoint at = onLink(view.log().lineCount() - 3);
    mouse(QEvent::MouseButtonPress, at);
    for (int i = 100; i < 150; ++i)
        addLinkLine(view, i);
    view.grab();
    EXPECT_EQ(view.topLine(), top);
    mouse(QEvent::MouseButtonRelease, at);
    view.grab();
    EXPECT_TRUE(view.atEnd());
    EXPECT_GT(view.topLine(), top + 40);
    // A release that never came (a dialog took it) ends with the next move.
    mouse(QEvent::MouseButtonPress, at);
    QMouseEvent move(QEvent::MouseMove, at, view.viewport()->mapToGlobal(at), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    const int held = view.topLine();
    for (int i = 150; i < 160; ++i)
        addLinkLine(view, i);
    view.grab();
    EXPECT_GT(view.topLine(), held);
}

TEST_F(LinkClicks, PointsAndWheelTurnsFarOffTheViewAreHarmless) {
    const double far = 1e12, nan = std::nan("");
    const QPointF points[] = {{-far, -far}, {far, far}, {nan, nan}, {2147483647.0, -2147483648.0}};
    for (const QPointF& at : points) {
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseMove,
                                  QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick}) {
            QMouseEvent e(type, at, at, Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
            EXPECT_NO_THROW(QApplication::sendEvent(view.viewport(), &e));
        }
    }
    for (const QPoint at : {QPoint(2147483647, -2147483647 - 1), QPoint(-2147483647 - 1, 0)}) {
        QHelpEvent tip(QEvent::ToolTip, at, at);
        EXPECT_NO_THROW(QApplication::sendEvent(view.viewport(), &tip));
    }
    for (int angle : {2147483647, -2147483647 - 1}) {
        for (bool pixels : {false, true}) {
            const QPoint delta(0, angle);
            QWheelEvent e(QPointF(5, 5), QPointF(5, 5), pixels ? delta : QPoint(),
                          pixels ? QPoint() : delta, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
            EXPECT_NO_THROW(QApplication::sendEvent(view.viewport(), &e));
            view.grab();
        }
    }
    EXPECT_TRUE(view.opened.empty());
    // The view still works: at the end, a link there opens.
    view.scrollToEnd();
    view.grab();
    const int line = view.log().lineCount() - 3;
    mouse(QEvent::MouseButtonPress, onLink(line));
    mouse(QEvent::MouseButtonRelease, onLink(line));
    EXPECT_EQ(view.opened, std::vector<std::string>{linkOf(line)});
}

TEST(ChatLogText, OnlyPicturesReadAsTheReplacementCharacter) {
    ChatLogView view(-1);
    view.append("a\x1A b");
    view.insertImage(face(kBlack));
    view.append("\x1A");
    EXPECT_EQ(view.plainText(0, view.log().length()), QStringLiteral("a\u001A b\uFFFC\u001A"));
    EXPECT_EQ(view.log().text(0, view.log().length(), {}), "a\x1A b:)\x1A");
}

TEST(ChatLogFind, TextWindows1252CannotHoldFindsNothing) {
    ChatLogView view(-1);
    view.append("was? wo? \x80 \xE4\r");
    view.select(1, 2);
    for (const char16_t* needle : {u"\u2192", u"wo\u2192", u"\u4E2D", u"?\U0001F600"}) {
        EXPECT_FALSE(view.find(QString::fromUtf16(needle), true));
        EXPECT_FALSE(view.find(QString::fromUtf16(needle), false));
        EXPECT_EQ(std::make_pair(view.anchor(), view.cursor()), std::make_pair(int64_t{1}, 2L));
    }
    // What Windows-1252 holds is still found.
    EXPECT_TRUE(view.find(QStringLiteral("\u20AC \u00C4"), true));
    EXPECT_EQ(view.selectedText(), "\x80 \xE4");
}

TEST(ChatLogAccessibility, OffsetsOutsideTheTextGiveNothing) {
    ChatLogView view(-1);
    view.resize(300, 200);
    view.show();
    view.append("erste Zeile\rzweite ");
    view.insertImage(face(kBlack));
    view.grab();
    QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(&view)->textInterface();
    ASSERT_NE(text, nullptr);
    const int length = text->characterCount();
    ASSERT_EQ(length, 20);
    const QAccessible::TextBoundaryType kinds[] = {
        QAccessible::CharBoundary, QAccessible::WordBoundary, QAccessible::LineBoundary,
        QAccessible::NoBoundary};
    for (int offset : {-100, -1, length + 1, length + 5, 1 << 30}) {
        SCOPED_TRACE(offset);
        EXPECT_TRUE(text->characterRect(offset).isEmpty());
        int start = 7, end = 7;
        EXPECT_TRUE(text->attributes(offset, &start, &end).isEmpty());
        for (QAccessible::TextBoundaryType kind : kinds) {
            EXPECT_TRUE(text->textAtOffset(offset, kind, &start, &end).isEmpty()) << kind;
            EXPECT_EQ(start, end);
            EXPECT_TRUE(text->textBeforeOffset(offset, kind, &start, &end).isEmpty()) << kind;
            EXPECT_TRUE(text->textAfterOffset(offset, kind, &start, &end).isEmpty()) << kind;
        }
        EXPECT_TRUE(text->text(offset, length).isEmpty());
        EXPECT_TRUE(text->text(0, offset).isEmpty());
        text->setCursorPosition(offset);
        text->setSelection(0, offset, 3);
        text->addSelection(3, offset);
        EXPECT_EQ(text->cursorPosition(), 0);
        EXPECT_EQ(text->selectionCount(), 0);
        text->scrollToSubstring(offset, offset + 2);
    }
    // The end is a place for the caret, not a character.
    int start = 0, end = 0;
    EXPECT_TRUE(text->characterRect(length).isEmpty());
    EXPECT_TRUE(text->attributes(length, &start, &end).isEmpty());
    EXPECT_TRUE(text->textAtOffset(length, QAccessible::CharBoundary, &start, &end).isEmpty());
    // Inside, everything still answers.
    EXPECT_FALSE(text->characterRect(0).isEmpty());
    EXPECT_FALSE(text->characterRect(length - 1).isEmpty());
    EXPECT_EQ(text->text(0, length), QStringLiteral("erste Zeile\nzweite \uFFFC"));
    EXPECT_EQ(text->textAtOffset(length, QAccessible::LineBoundary, &start, &end),
              QStringLiteral("zweite \uFFFC"));
    EXPECT_EQ(text->offsetAtPoint(QPoint(-5000, -5000)), -1);
}

}  // namespace
}  // namespace kavel::testing
