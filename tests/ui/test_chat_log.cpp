// The chat log (the view's history) and the view that lays out only the
// lines in sight: finding text, selections over lines never shown, sizes
// that fit no line, and what a screen reader reads.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <algorithm>
#include <string>
#include <vector>

#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"

namespace kavel::testing {
namespace {

using platform::ChatLog;
using platform::ChatLogView;

Picture face(const char* text) {
    Picture p;
    p.width = p.height = 15;
    p.pixels.assign(15 * 15, kBlack);
    p.text = text;
    return p;
}

// "Hallo Welt" / "gr<:)>\xDCN gr\xFCn" / "" / "Ende"
ChatLog sample() {
    ChatLog log;
    log.append("Hallo ");
    log.setStyle(textstyle::Bold);
    log.append("Welt\r\ngr");
    log.insertPicture(face(":)"));
    log.setColour(0x0000FF);
    log.append("\xDCN gr\xFCn\r\rEnde");
    return log;
}

TEST(ChatLogModel, KeepsLinesFormatsAndPictures) {
    const ChatLog log = sample();
    EXPECT_EQ(log.lineCount(), 4);
    EXPECT_EQ(log.text(0, log.length(), "?"), "Hallo Welt\ngr?\xDCN gr\xFCn\n\nEnde");
    EXPECT_EQ(log.text(6, 14, {}), "Welt\ngr:)");  // a picture reads as what it stands for
    // One run per change of format, however many appends: plain, bold,
    // bold and blue.
    ASSERT_EQ(log.runs().size(), 3u);
    EXPECT_EQ(log.runs()[1].start, 6u);
    EXPECT_EQ(ChatLog::styleOf(log.runs()[2].format), textstyle::Bold);
    EXPECT_EQ(ChatLog::colourOf(log.runs()[2].format), 0x0000FF);
    ChatLog twice = sample();
    twice.insertPicture(face(":)"));
    EXPECT_EQ(twice.pictures().size(), 1u);  // the same face is kept once
}

TEST(ChatLogModel, FindsWithoutCaseNeverAcrossLinesOrPictures) {
    const ChatLog log = sample();
    struct Case {
        const char* needle;
        int64_t from;
        bool forward;
        int64_t expected;
    };
    const Case cases[] = {
        {"welt", 0, true, 6},   {"WELT", 7, true, -1},
        {"\xFCn", 0, true, 14}, {"gr\xFCN", 100, false, 17},
        {"gr", 15, false, 11},  {"tgr", 0, true, -1},
        {"r\x1A", 0, true, -1}, {"ende", 0, true, 23},
        {"", 0, true, -1},      {"Hallo Welt\ngr", 0, true, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(log.find(c.needle, c.from, c.forward), c.expected) << c.needle << " " << c.from;
}

class LazyView : public ::testing::Test {
  protected:
    void SetUp() override {
        view.resize(300, 200);
        view.show();
        for (int i = 0; i < 10000; ++i) {
            view.beginMessage();
            view.append("Zeile " + std::to_string(i) + " mit etwas Text zum Umbrechen");
            view.appendLineBreak();
            view.endMessage();
        }
        view.grab();
    }
    std::string line(int i) {
        return "Zeile " + std::to_string(i) + " mit etwas Text zum Umbrechen";
    }
    // Fewer layouts than a page or two would be: the history was not laid out.
    void expectFewLayouts() { EXPECT_LT(view.laidOutLines(), 200u); }

    ChatLogView view{-1};
};

TEST_F(LazyView, SelectionOverLinesNeverShownCopiesThemAll) {
    ASSERT_TRUE(view.atEnd());
    view.select(view.log().position(10, 6), view.log().position(9000, 0));
    view.copy();
    const std::string copied = platform::fromQString(QApplication::clipboard()->text());
    EXPECT_EQ(copied.substr(0, 8), "10 mit e");
    EXPECT_EQ(std::count(copied.begin(), copied.end(), '\n'), 8990);
    EXPECT_EQ(copied.substr(copied.size() - line(8999).size() - 1), line(8999) + "\n");
    expectFewLayouts();
}

TEST_F(LazyView, ResizeInTheMiddleKeepsTheTopLineAndNewLinesDoNotMoveIt) {
    view.scrollToLine(5000);
    view.resize(120, 150);
    view.grab();
    EXPECT_EQ(view.topLine(), 5000);
    EXPECT_FALSE(view.atEnd());
    view.append("neu\r");
    view.grab();
    EXPECT_EQ(view.topLine(), 5000);
    expectFewLayouts();
    // Back at the end the view follows new lines again.
    view.scrollToEnd();
    const int top = view.topLine();
    for (int i = 0; i < 20; ++i)
        view.append("mehr\r");
    view.grab();
    EXPECT_TRUE(view.atEnd());
    EXPECT_GT(view.topLine(), top);
}

TEST_F(LazyView, ALineTallerThanTheViewScrollsThroughItsRows) {
    std::string tall;
    for (int i = 0; i < 400; ++i)
        tall += "Wort" + std::to_string(i) + " ";
    view.append(tall + "\r");
    view.grab();
    const int tallLine = view.log().lineCount() - 2;
    view.scrollToLine(tallLine);
    ASSERT_FALSE(view.atEnd());
    const QRect start = view.characterRect(view.log().position(tallLine, 0));
    ASSERT_TRUE(start.isValid());
    view.scrollByPixels(100);
    EXPECT_EQ(view.topLine(), tallLine);
    EXPECT_EQ(view.characterRect(view.log().position(tallLine, 0)).top(), start.top() - 100);
    // Its last row can be reached: scrolling on ends at the end.
    for (int i = 0; i < 100 && !view.atEnd(); ++i)
        view.scrollByPixels(150);
    EXPECT_TRUE(view.atEnd());
    view.grab();
    expectFewLayouts();
}

TEST_F(LazyView, AViewNarrowerThanOneWordBreaksInsideIt) {
    view.resize(60, 200);
    view.append(std::string(30, 'W') + "\r");
    view.grab();
    const int line = view.log().lineCount() - 2;
    const QRect first = view.characterRect(view.log().position(line, 0));
    const QRect last = view.characterRect(view.log().position(line, 29));
    ASSERT_TRUE(first.isValid() && last.isValid());
    EXPECT_LE(last.right(), view.viewport()->width());
    EXPECT_GT(last.top(), first.top());
}

// The offscreen platform has no accessibility bus: this view hands its
// events to the test instead.
class ListenedView : public ChatLogView {
  public:
    ListenedView() : ChatLogView(-1) {}
    std::vector<QString> inserted;

  protected:
    bool accessibilityListening() const override { return true; }
    void notifyAccessibility(QAccessibleEvent& event) override {
        EXPECT_EQ(event.object(), this);
        if (event.type() == QAccessible::TextInserted)
            inserted.push_back(static_cast<QAccessibleTextInsertEvent&>(event).textInserted());
    }
};

TEST(ChatLogAccessibility, ReadsLikeAReadOnlyTextEdit) {
    ListenedView view;
    view.resize(300, 200);
    view.show();
    view.append("erste Zeile\r");
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(access, nullptr);
    EXPECT_EQ(access->role(), QAccessible::EditableText);
    EXPECT_TRUE(access->state().readOnly);
    QAccessibleTextInterface* text = access->textInterface();
    ASSERT_NE(text, nullptr);

    view.inserted.clear();
    view.beginMessage();
    view.append("zweite ");
    view.insertImage(face(":)"));
    view.appendLineBreak();
    view.endMessage();
    ASSERT_EQ(view.inserted.size(), 1u);  // one message, announced once
    EXPECT_EQ(view.inserted[0], QStringLiteral("zweite \uFFFC\n"));

    EXPECT_EQ(text->characterCount(), 21);
    int start = 0, end = 0;
    EXPECT_EQ(text->textAtOffset(15, QAccessible::LineBoundary, &start, &end),
              QStringLiteral("zweite \uFFFC"));
    EXPECT_EQ(start, 12);
    EXPECT_EQ(text->textBeforeOffset(15, QAccessible::LineBoundary, &start, &end),
              QStringLiteral("erste Zeile"));
    EXPECT_EQ(text->textAtOffset(2, QAccessible::WordBoundary, &start, &end),
              QStringLiteral("erste"));
    text->setSelection(0, 6, 17);
    EXPECT_EQ(text->selectionCount(), 1);
    EXPECT_EQ(view.selectedText(), "Zeile\nzweit");
    text->selection(0, &start, &end);
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(6, 17));
}

}  // namespace
}  // namespace kavel::testing
