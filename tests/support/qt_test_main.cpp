#include <gtest/gtest.h>

#include <QApplication>

#include "common/reset.h"
#include "core/wiring.h"

namespace {

// Every test starts in the program's start-up state, whatever ran before
// it: the one reset of every unit's state, and the real ports.
class FreshWorld : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { kavel::resetAll(); }
};

}  // namespace

// One QApplication for the whole test program, on the offscreen platform
// unless the caller chose another one.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // Names the wiring, so that its reset is linked into every test program.
    kavel::wirePorts();
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshWorld);
    return RUN_ALL_TESTS();
}
