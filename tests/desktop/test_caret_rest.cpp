#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>

#include "desktop/caret.h"
#include "desktop/gadgets.h"

namespace {

namespace pf = kavel::platform;

// Runs Qt for a while, as the waiting main loop would.
void runFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

class CaretRest : public ::testing::Test {
  protected:
    void SetUp() override {
        int argc = 1;
        char name[] = "test";
        char* argv[] = {name, nullptr};
        // The program's own start-up installs the rest; the test only
        // shortens it.
        pf::startDesktop(argc, argv);
        blinking_ = QApplication::cursorFlashTime();
        ASSERT_GT(blinking_, 0);
        pf::letCaretRest(40);
        line_.show();
        line_.setFocus();
    }
    void TearDown() override {
        pf::letCaretRest(pf::kCaretRestMs);
        QApplication::setCursorFlashTime(blinking_);
    }
    void type() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(&line_, &press);
    }

    int blinking_ = 0;
    QLineEdit line_;
};

TEST_F(CaretRest, StopsBlinkingWithoutInputAndStartsAgainWithTheNextKey) {
    runFor(150);
    EXPECT_EQ(QApplication::cursorFlashTime(), 0);
    type();
    EXPECT_EQ(QApplication::cursorFlashTime(), blinking_);
    EXPECT_EQ(line_.text(), QStringLiteral("a"));
    runFor(150);
    EXPECT_EQ(QApplication::cursorFlashTime(), 0);
}

TEST_F(CaretRest, TypingKeepsItBlinking) {
    for (int i = 0; i < 6; ++i) {
        runFor(15);
        type();
    }
    EXPECT_EQ(QApplication::cursorFlashTime(), blinking_);
}

TEST_F(CaretRest, AClickOrAFocusChangeWakesItToo) {
    runFor(150);
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(2, 2), line_.mapToGlobal(QPointF(2, 2)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&line_, &click);
    EXPECT_EQ(QApplication::cursorFlashTime(), blinking_);
    runFor(150);
    QFocusEvent focus(QEvent::FocusIn);
    QApplication::sendEvent(&line_, &focus);
    EXPECT_EQ(QApplication::cursorFlashTime(), blinking_);
}

}  // namespace
