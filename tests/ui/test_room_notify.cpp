// Desktop notifications of new messages, against a private bus: what the
// notification service is asked to show, a click bringing the room forward,
// and no delay when there is no service or no bus at all.
#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include <memory>

#include "desktop/desktop.h"
#include "desktop/notify.h"
#include "support/private_bus.h"
#include "support/room_window.h"
#include "support/services.h"
#include "ui/room_fixture.h"

namespace kavel::testing {
namespace {

using kavel_test::PrivateBus;
using kavel_test::pumpUntil;
using kavel_test::RecordingNotifications;

const QStringList kMarkupServer{"body", "actions", "body-markup"};

// What became of the notifications, counted from the services record.
// Answers may still come in after the test, until the next reset puts the
// record back, so the counts live as long as the recorder.
struct Steps {
    int sent = 0;
    int shown = 0;
    int failed = 0;
    int clicked = 0;
};
std::shared_ptr<const Steps> countSteps() {
    auto steps = std::make_shared<Steps>();
    kavel::test::setService(&platform::Services::notificationSteps,
                            [steps](int, platform::NotificationStep step) {
                                using S = platform::NotificationStep;
                                ++(step == S::Sent     ? steps->sent
                                   : step == S::Shown  ? steps->shown
                                   : step == S::Failed ? steps->failed
                                                       : steps->clicked);
                            });
    return steps;
}

class NotifyTest : public RoomTest {
  protected:
    void SetUp() override {
        if (bus.address().isEmpty()) GTEST_SKIP() << "no dbus-daemon";
        RoomTest::SetUp();
        kavel::test::setService(&kavel::platform::Services::notificationBus,
                                bus.address().toStdString());
        steps = countSteps();
    }
    void TearDown() override {
        if (other >= 0) platform::closeWindow(other);
        RoomTest::TearDown();
    }
    // Another window comes to the front, so that the rooms are behind it.
    int frontWindow() {
        other = platform::openWindow(platform::kAnyId, 0, 0, 200, 100, "anderes", 0);
        platform::showWindow(other);
        platform::raiseWindow(other);
        if (!pumpUntil([this] { return platform::isForegroundWindow(other); }, 5000))
            ADD_FAILURE() << "the platform brings no window to the front";
        return other;
    }
    PrivateBus bus;
    int other = -1;
    std::shared_ptr<const Steps> steps;
};

TEST_F(NotifyTest, NewMessageInABackgroundRoomIsShownAndAClickBringsTheRoomForward) {
    RecordingNotifications service(bus.address(), kMarkupServer);
    setOptions(opt::ColourFirst | opt::Flash);
    ChatRoom* room = newChatRoom("Lobby");
    frontWindow();
    static int alerts;  // outlives the test: the service stays until the next reset
    alerts = 0;
    kavel::test::setService(&platform::Services::attention, [](int) { ++alerts; });
    roomPrint(room, "bob: Treffen um <8> & dann?");
    ASSERT_TRUE(pumpUntil([&] { return steps->shown == 1; }));
    EXPECT_EQ(alerts, 1);  // the attention request stays
    ASSERT_EQ(service.shown.size(), 1u);
    const auto& n = service.shown[0];
    EXPECT_EQ(n.app, "KAVEL");
    EXPECT_EQ(n.summary, "Lobby");
    // The service reads markup, so the text must not be taken for it.
    EXPECT_EQ(n.body, "bob: Treffen um &lt;8&gt; &amp; dann?");
    EXPECT_EQ(n.replaces, 0u);
    EXPECT_TRUE(n.actions.contains("default"));
    EXPECT_EQ(n.hints.value("desktop-entry").toString(), "net.quarn.Kavel");

    // A second message replaces the room's notification instead of piling up.
    roomPrint(room, "bob: hallo?");
    ASSERT_TRUE(pumpUntil([&] { return steps->shown == 2; }));
    EXPECT_EQ(service.shown[1].replaces, 1u);

    // Another action than the default one does nothing; the default one
    // brings the room forward.
    QWidget* frame = platform::windowFrame(test::roomWindow(room).window);
    service.invoke(1, "dismiss");
    service.invoke(1, "default");
    ASSERT_TRUE(pumpUntil([&] { return steps->clicked == 1; }));
    EXPECT_TRUE(pumpUntil([&] { return frame->isActiveWindow(); }));
    EXPECT_FALSE(platform::isForegroundWindow(other));
}

TEST_F(NotifyTest, PlainTextServiceGetsTheTextAsItIs) {
    RecordingNotifications service(bus.address(), {"body", "actions"});
    setOptions(opt::ColourFirst | opt::Flash);
    ChatRoom* room = newChatRoom("Technik");
    frontWindow();
    // The capabilities are asked once the bus is connected; let them arrive.
    roomPrint(room, "eins");
    ASSERT_TRUE(pumpUntil([&] { return steps->shown == 1; }));
    roomPrint(room, "a <b> c");
    ASSERT_TRUE(pumpUntil([&] { return steps->shown == 2; }));
    EXPECT_EQ(service.shown[1].body, "a <b> c");
}

TEST_F(NotifyTest, NoNotificationWithoutBlinkenOrForAClosedRoom) {
    RecordingNotifications service(bus.address(), kMarkupServer);
    setOptions(opt::ColourFirst | opt::Sound);
    ChatRoom* room = newChatRoom("Lobby");
    frontWindow();
    roomPrint(room, "bob: still");
    platform::notifyDesktop(12345, "weg", "kein Fenster");
    pumpUntil([] { return false; }, 200);
    EXPECT_EQ(steps->sent, 0);
    EXPECT_TRUE(service.shown.empty());
}

TEST_F(NotifyTest, ClickAfterTheRoomClosedIsIgnored) {
    RecordingNotifications service(bus.address(), kMarkupServer);
    setOptions(opt::ColourFirst | opt::Flash);
    ChatRoom* room = newChatRoom("Lobby");
    frontWindow();
    roomPrint(room, "bob: gleich weg");
    ASSERT_TRUE(pumpUntil([&] { return steps->shown == 1; }));
    roomDestroy(room);
    service.invoke(1, "default");
    pumpUntil([] { return false; }, 300);
    EXPECT_EQ(steps->clicked, 0);
}

TEST_F(NotifyTest, WithoutAServiceNothingWaits) {
    setOptions(opt::ColourFirst | opt::Flash);
    ChatRoom* room = newChatRoom("Lobby");
    frontWindow();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 20; ++i)
        roomPrint(room, "bob: niemand zeigt das");
    // D-Bus would wait 25 s for an answer; the printing waits for none.
    EXPECT_LT(timer.elapsed(), 5000);
    ASSERT_TRUE(pumpUntil([&] { return steps->failed == 20; }));
    EXPECT_EQ(steps->shown, 0);
}

TEST(NotifyWithoutBus, NoBusMeansNoNotificationAndNoWait) {
    const auto steps = countSteps();
    const int w = platform::openWindow(platform::kAnyId, 0, 0, 200, 100, "Raum", 0);
    kavel::test::setService(&kavel::platform::Services::notificationBus,
                            "unix:path=/nonexistent/kavel-test-bus");
    QElapsedTimer timer;
    timer.start();
    platform::notifyDesktop(w, "Raum", "Text");
    platform::notifyDesktop(w, "Raum", "Text");
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(steps->sent, 0);
    platform::closeWindow(w);
}

TEST(NotifyWithoutBus, OffscreenProgramSendsNothingToTheSessionBus) {
    const auto steps = countSteps();
    const int w = platform::openWindow(platform::kAnyId, 0, 0, 200, 100, "Raum", 0);
    platform::notifyDesktop(w, "Raum", "Text");
    EXPECT_EQ(steps->sent, 0);
    platform::closeWindow(w);
}

}  // namespace
}  // namespace kavel::testing
