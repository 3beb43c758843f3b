// One client per working folder: a later start in the same folder hands
// over to the running one, which comes to the front; other folders and
// stray connections change nothing.
#include <gtest/gtest.h>

#include <QDir>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QWidget>

#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/instance.h"
#include "support/private_bus.h"

namespace kavel::platform {
namespace {

using kavel_test::pumpUntil;

class Instance : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QDir::setCurrent(folder.path()));
        main = openWindow(0, 0, 0, 300, 200, "KAVEL - Client Program", 0);
        showWindow(main);
    }
    void TearDown() override {
        closeWindow(main);
        QDir::setCurrent(start);
    }
    // Another window is in front of the main window.
    int frontWindow() {
        const int w = openWindow(kAnyId, 0, 0, 100, 100, "vorne", 0);
        showWindow(w);
        windowFrame(w)->activateWindow();
        pumpUntil([w] { return isForegroundWindow(w); }, 5000);
        return w;
    }

    QString start = QDir::currentPath();
    QTemporaryDir folder;
    int main = -1;
};

TEST_F(Instance, SecondStartInTheSameFolderHandsOverAndTheFirstComesForward) {
    ASSERT_TRUE(claimWorkingFolder(main));
    const int other = frontWindow();
    EXPECT_FALSE(claimWorkingFolder(main));  // what a second process would do
    EXPECT_TRUE(pumpUntil([this] { return isForegroundWindow(main); }));
    EXPECT_TRUE(windowFrame(main)->isVisible());
    closeWindow(other);
}

TEST_F(Instance, MinimisedClientIsRestored) {
    ASSERT_TRUE(claimWorkingFolder(main));
    windowFrame(main)->showMinimized();
    EXPECT_FALSE(claimWorkingFolder(main));
    EXPECT_TRUE(pumpUntil([this] { return !windowFrame(main)->isMinimized(); }));
}

TEST_F(Instance, AnotherFolderIsAnotherClient) {
    ASSERT_TRUE(claimWorkingFolder(main));
    windowFrame(main)->showMinimized();
    const std::string first = workingFolderSocket();
    QTemporaryDir second;
    ASSERT_TRUE(QDir::setCurrent(second.path()));
    EXPECT_NE(workingFolderSocket(), first);
    EXPECT_TRUE(claimWorkingFolder(main));
    pumpUntil([] { return false; }, 200);
    EXPECT_TRUE(windowFrame(main)->isMinimized());
}

TEST_F(Instance, StrayConnectionsRaiseNothing) {
    ASSERT_TRUE(claimWorkingFolder(main));
    windowFrame(main)->showMinimized();
    for (const QByteArray& junk : {QByteArray("hallo\n"), QByteArray(4096, 'x'), QByteArray()}) {
        QLocalSocket peer;
        peer.connectToServer(QString::fromStdString(workingFolderSocket()));
        ASSERT_TRUE(peer.waitForConnected(5000));
        peer.write(junk);
        peer.waitForBytesWritten(5000);
        peer.disconnectFromServer();
    }
    pumpUntil([] { return false; }, 300);
    EXPECT_TRUE(windowFrame(main)->isMinimized());
    // The owner still answers a real second start.
    EXPECT_FALSE(claimWorkingFolder(main));
    EXPECT_TRUE(pumpUntil([this] { return !windowFrame(main)->isMinimized(); }));
}

}  // namespace
}  // namespace kavel::platform
