// The find bar of a room: Ctrl+F opens it over the chat view without moving
// a control, Return and Shift+Return (or the buttons) step through the
// matches with wrap-around, Esc closes it and gives the focus back.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "desktop/find_bar.h"
#include "support/room_window.h"
#include "ui/room_fixture.h"

namespace kavel::testing {
namespace {

class FindTest : public RoomTest {
  protected:
    void SetUp() override {
        RoomTest::SetUp();
        room = newChatRoom("Lobby");
        for (const char* line :
             {"bob: eins Treffer", "bob: zwei", "bob: drei Treffer", "bob: vier TREFFER"})
            roomPrint(room, line);
        frame = platform::windowFrame(test::roomWindow(room).window);
    }

    // Ctrl+F typed into the room's input field (it goes up to the window).
    void pressCtrlF() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F, Qt::ControlModifier);
        QApplication::sendEvent(platform::controlWidget(test::roomWindow(room).input), &press);
    }
    QWidget* bar() { return viewOf(room)->findChild<QWidget*>("findBar"); }
    QLineEdit* field() { return bar()->findChild<QLineEdit*>(); }
    // By its caption or accessible name, Windows-1252.
    QPushButton* button(const std::string& name) {
        const QString caption = platform::toQString(name);
        for (QPushButton* b : bar()->findChildren<QPushButton*>())
            if (b->text() == caption || b->accessibleName() == caption) return b;
        return nullptr;
    }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, k, mods);
        QApplication::sendEvent(field(), &press);
    }
    // The line of the current match, -1 without a match.
    int matchLine() {
        const platform::ChatLogView* v = viewOf(room);
        return v->anchor() != v->cursor() ? v->log().lineOfPosition(v->cursor()) : -1;
    }
    std::vector<QRect> layout() {
        const auto c = test::roomWindow(room);
        std::vector<QRect> out;
        for (int id : {c.view, c.userList, c.urlList, c.input, c.clearButton})
            out.push_back(platform::controlWidget(id)->geometry());
        return out;
    }

    ChatRoom* room = nullptr;
    QWidget* frame = nullptr;
};

TEST_F(FindTest, CtrlFOpensTheBarOverTheViewAndMovesNothing) {
    const std::vector<QRect> before = layout();
    EXPECT_FALSE(platform::findBarOpen(test::roomWindow(room).view));
    pressCtrlF();
    ASSERT_TRUE(platform::findBarOpen(test::roomWindow(room).view));
    EXPECT_EQ(layout(), before);
    EXPECT_TRUE(viewOf(room)->rect().contains(bar()->geometry()));
    EXPECT_EQ(frame->focusWidget(), field());
    // Every control has a caption or an accessible name.
    for (QWidget* w : bar()->findChildren<QWidget*>())
        EXPECT_FALSE(
            w->accessibleName().isEmpty() &&
            (qobject_cast<QPushButton*>(w) ? qobject_cast<QPushButton*>(w)->text() : QString())
                .isEmpty())
            << w->metaObject()->className();
}

TEST_F(FindTest, ReturnStepsForwardShiftReturnBackWithWrapAround) {
    pressCtrlF();
    field()->setText("treffer");  // without regard to case
    key(Qt::Key_Return);
    EXPECT_EQ(matchLine(), 0);
    key(Qt::Key_Return);
    EXPECT_EQ(matchLine(), 2);
    key(Qt::Key_Enter);
    EXPECT_EQ(matchLine(), 3);
    EXPECT_EQ(platform::foundText(test::roomWindow(room).view), "TREFFER");
    key(Qt::Key_Return);
    EXPECT_EQ(matchLine(), 0);  // round the end
    key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(matchLine(), 3);  // and back round the start
    button(
        "Zur\xfc"
        "ck")
        ->click();
    EXPECT_EQ(matchLine(), 2);
    button("Weiter")->click();
    EXPECT_EQ(matchLine(), 3);
}

TEST_F(FindTest, MissingTextSaysSoAndKeepsTheMatch) {
    pressCtrlF();
    field()->setText("zwei");
    key(Qt::Key_Return);
    ASSERT_EQ(matchLine(), 1);
    QLabel* status = bar()->findChild<QLabel*>();
    EXPECT_FALSE(status->isVisible());
    field()->setText("Kuchen");
    key(Qt::Key_Return);
    EXPECT_EQ(matchLine(), 1);
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(status->text(), "Nicht gefunden");
}

// "?" stands in for what Windows-1252 cannot hold; it must not be found.
TEST_F(FindTest, TextWindows1252CannotHoldIsNotFound) {
    roomPrint(room, "bob: wohin?");
    pressCtrlF();
    field()->setText("zwei");
    key(Qt::Key_Return);
    ASSERT_EQ(matchLine(), 1);
    QLabel* status = bar()->findChild<QLabel*>();
    for (const char16_t* text : {u"\u2192", u"wohin\u2192"}) {
        field()->setText(QString::fromUtf16(text));
        key(Qt::Key_Return);
        EXPECT_EQ(matchLine(), 1);
        EXPECT_TRUE(status->isVisible());
        EXPECT_EQ(status->text(), "Nicht gefunden");
    }
}

TEST_F(FindTest, EscClosesAndGivesTheFocusBack) {
    QWidget* input = platform::controlWidget(test::roomWindow(room).input);
    input->setFocus();
    pressCtrlF();
    key(Qt::Key_Escape);
    EXPECT_FALSE(platform::findBarOpen(test::roomWindow(room).view));
    EXPECT_EQ(frame->focusWidget(), input);
    // The close button does the same; Ctrl+F opens it again.
    pressCtrlF();
    ASSERT_TRUE(platform::findBarOpen(test::roomWindow(room).view));
    button(
        "Schlie\xdf"
        "en")
        ->click();
    EXPECT_FALSE(platform::findBarOpen(test::roomWindow(room).view));
}

TEST_F(FindTest, TheRoomsKeysStayWithTheFieldWhileTyping) {
    pressCtrlF();
    // Return would send the input line, Up and Down page the history: the
    // field takes these keys before the window's shortcuts see them.
    for (int k : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Up, Qt::Key_Down}) {
        QKeyEvent override(QEvent::ShortcutOverride, k, Qt::NoModifier);
        QApplication::sendEvent(field(), &override);
        EXPECT_TRUE(override.isAccepted()) << k;
    }
    QKeyEvent letter(QEvent::ShortcutOverride, Qt::Key_F, Qt::ControlModifier);
    QApplication::sendEvent(field(), &letter);
    EXPECT_FALSE(letter.isAccepted());
}

TEST_F(FindTest, NewMessagesStillGoToTheEndWhileAMatchIsSelected) {
    pressCtrlF();
    field()->setText("eins");
    key(Qt::Key_Return);
    ASSERT_EQ(matchLine(), 0);
    roomPrint(room, "bob: f\xfcnf");
    EXPECT_EQ(viewText(room),
              "bob: eins Treffer\nbob: zwei\nbob: drei Treffer\nbob: vier TREFFER\nbob: f\xfcnf\n");
    EXPECT_EQ(matchLine(), 0);
}

}  // namespace
}  // namespace kavel::testing
