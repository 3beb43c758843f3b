// The unread marker of a room: placed above the first line that arrives
// while the room's window is not the active one, kept when the user comes
// back, moved by the next absence; painted only, never part of the text.
#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <filesystem>

#include "support/file_io.h"
#include "support/qt_wait.h"
#include "support/room_window.h"
#include "ui/room_fixture.h"

namespace kavel::testing {
namespace {

class UnreadMarker : public RoomTest {
  protected:
    void SetUp() override {
        RoomTest::SetUp();
        room = newChatRoom("Lobby");
        frame = platform::windowFrame(test::roomWindow(room).window);
        elsewhere.resize(100, 100);
        elsewhere.show();
    }

    void activate(QWidget* window) {
        window->activateWindow();
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(test::pumpUntil([&] { return window->isActiveWindow(); }));
    }
    void comeBack() { activate(frame); }
    void leave() { activate(&elsewhere); }
    void lines(int from, int to) {
        for (int i = from; i <= to; ++i)
            roomPrint(room, "bob: Zeile " + std::to_string(i));
    }
    platform::ChatLogView* view() { return viewOf(room); }
    QString description() {
        return QAccessible::queryAccessibleInterface(view())->text(QAccessible::Description);
    }

    ChatRoom* room = nullptr;
    QWidget* frame = nullptr;
    QWidget elsewhere;
};

TEST_F(UnreadMarker, FirstLineOfEachAbsence) {
    struct Step {
        enum { Leave, ComeBack, Lines } what;
        int from = 0, to = 0;
        int marker;  // the marked line afterwards
    };
    // Line n of the log is "Zeile n"; line 0 is the first printed.
    const Step steps[] = {
        {Step::ComeBack, 0, 0, -1}, {Step::Lines, 0, 2, -1},    // read as they came
        {Step::Leave, 0, 0, -1},    {Step::Lines, 3, 5, 3},     // the first unread
        {Step::ComeBack, 0, 0, 3},                              // stays to be seen
        {Step::Lines, 6, 7, 3},                                 // read as they came
        {Step::Leave, 0, 0, 3},     {Step::ComeBack, 0, 0, 3},  // nothing arrived
        {Step::Leave, 0, 0, 3},     {Step::Lines, 8, 9, 8},     // the second round
        {Step::Lines, 10, 10, 8},                               // same absence
    };
    for (const Step& s : steps) {
        if (s.what == Step::Leave) leave();
        if (s.what == Step::ComeBack) comeBack();
        if (s.what == Step::Lines) lines(s.from, s.to);
        EXPECT_EQ(view()->unreadLine(), s.marker) << "after step to " << s.to;
    }
    EXPECT_EQ(view()->log().lineText(8), "bob: Zeile 8");
}

TEST_F(UnreadMarker, NoneInAWindowNeverActiveNorAboveTheFirstLine) {
    leave();
    lines(0, 3);
    EXPECT_EQ(view()->unreadLine(), -1);
    EXPECT_TRUE(description().isEmpty());

    // Seen while still empty: nothing read lies above line 0.
    ChatRoom* fresh = newChatRoom("Technik");
    activate(platform::windowFrame(test::roomWindow(fresh).window));
    leave();
    roomPrint(fresh, "bob: eins");
    EXPECT_EQ(viewOf(fresh)->unreadLine(), -1);
}

TEST_F(UnreadMarker, ScreenReadersAreToldTheLineByTheDescription) {
    comeBack();
    lines(0, 2);
    leave();
    lines(3, 4);
    EXPECT_EQ(description(), "Ungelesen ab Zeile 4");
    comeBack();
    lines(5, 5);
    leave();
    lines(6, 6);
    EXPECT_EQ(description(), "Ungelesen ab Zeile 7");
}

TEST_F(UnreadMarker, IsPaintedAboveTheLineAndNowhereElse) {
    comeBack();
    lines(0, 2);
    leave();
    lines(3, 4);
    ASSERT_EQ(view()->unreadLine(), 3);
    const QImage shot = view()->viewport()->grab().toImage();
    const int x = view()->viewport()->width() / 2;
    auto redRows = [&] {
        std::vector<int> rows;
        for (int y = 0; y < shot.height(); ++y)
            if (shot.pixelColor(x, y) == QColor(0xD0, 0x20, 0x20)) rows.push_back(y);
        return rows;
    };
    const int top = view()->characterRect(view()->log().position(3, 0)).top();
    EXPECT_THAT(redRows(), ::testing::ElementsAre(top - 1, top));
}

TEST_F(UnreadMarker, NeverInFindCopyOrLogs) {
    comeBack();
    lines(0, 2);
    leave();
    lines(3, 4);
    ASSERT_EQ(view()->unreadLine(), 3);
    std::string expected;
    for (int i = 0; i <= 4; ++i)
        expected += "bob: Zeile " + std::to_string(i) + "\n";
    EXPECT_EQ(viewText(room), expected);

    view()->select(0, view()->log().length());
    EXPECT_EQ(view()->selectedText(), expected);
    EXPECT_FALSE(view()->find("Ungelesen", true));
    EXPECT_TRUE(view()->find("Zeile 3", true));
    EXPECT_EQ(view()->selectedText(), "Zeile 3");

    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    menu(room, 0);
    menu(room, 1);
    std::vector<std::string> saved;
    for (const auto& e : std::filesystem::directory_iterator("logs"))
        saved.push_back(test::slurp(e.path().string()));
    QDir::setCurrent(previous);
    ASSERT_EQ(saved.size(), 2u);
    for (const std::string& log : saved) {
        EXPECT_NE(log.find("bob: Zeile 4"), std::string::npos);
        EXPECT_EQ(log.find("Ungelesen"), std::string::npos);
    }
}

TEST_F(UnreadMarker, ALongAbsenceLaysOutOnlyWhatIsInSight) {
    comeBack();
    lines(0, 9);
    leave();
    lines(10, 5009);
    view()->viewport()->repaint();
    EXPECT_EQ(view()->unreadLine(), 10);
    EXPECT_LT(view()->laidOutLines(), 200u);
}

}  // namespace
}  // namespace kavel::testing
