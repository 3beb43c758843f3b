// The flood guard: counting DIRECTs, the question, the shields and their release.
#include "net/dispatch_fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace kavel::testing {
namespace {

const char* const kQuestion =
    "ask:Info|Es sieht so aus, als würde gerade ein Floodangriff von bert stattfinden.\r"
    "Sollen die Schilde hochgefahren werden?";

class FloodTest : public DispatchTest {
  protected:
    // One shock from bert per read, `gap` seconds apart.
    void shock(uint32_t gap = 1) {
        now += gap;
        read({"DIRECT SHOCK", " bert"});
    }
    int asks() const {
        int n = 0;
        for (const auto& l : log)
            n += l.rfind("ask:", 0) == 0;
        return n;
    }
};

TEST_F(FloodTest, TheFourthQuickDirectAsksAndYesRaisesTheShields) {
    answerYes = true;
    for (int i = 0; i < 3; ++i)
        shock();
    EXPECT_EQ(asks(), 0);
    EXPECT_EQ(session->flood().directCount, 3);
    log.clear();
    openRoom("lobby");
    now += 1;
    read({"DIRECT SHOCK", " bert", "CHAT lobby dropped"});
    EXPECT_THAT(log, ElementsAre(kQuestion, "status:Wir werden angegriffen - Schilde sind oben"));
    EXPECT_TRUE(hasFlag(flag::ShieldsUp));
    EXPECT_THAT(room("lobby")->printed, IsEmpty());  // the rest of the read is gone
}

TEST_F(FloodTest, NoKeepsCountingAndAsksAgain) {
    for (int i = 0; i < 4; ++i)
        shock();
    EXPECT_EQ(asks(), 1);
    // Answered No: the shock is carried out.
    EXPECT_EQ(log.back(), "status:Du wurdest vom Benutzer bert erschreckt");
    EXPECT_FALSE(hasFlag(flag::ShieldsUp));
    shock(5);  // exactly 5 s later is still within the window
    EXPECT_EQ(asks(), 2);
    EXPECT_EQ(session->flood().directCount, 5);
}

TEST_F(FloodTest, AQuietSpellResetsTheCounter) {
    for (int i = 0; i < 3; ++i)
        shock();
    shock(6);
    EXPECT_EQ(asks(), 0);
    EXPECT_EQ(session->flood().directCount, 1);
}

TEST_F(FloodTest, EveryDirectCountsWhateverItsKind) {
    for (const char* kind : {"DIRECT P", "DIRECT WAKEUP", "DIRECT PRIVATE x", "DIRECT ??"}) {
        now += 1;
        read({kind, " bert"});
    }
    EXPECT_EQ(session->flood().directCount, 4);
    EXPECT_EQ(asks(), 1);
}

TEST_F(FloodTest, ShieldsHoldWhileDirectsKeepComingAndDropAfterwards) {
    answerYes = true;
    for (int i = 0; i < 4; ++i)
        shock();
    ASSERT_TRUE(hasFlag(flag::ShieldsUp));
    log.clear();

    // Up: directs still count and renew the time, nothing is carried out,
    // no room can be forced open.
    now += 4;
    read({"DIRECT WAKEUP", " bert", "CHAT trap x"});
    EXPECT_THAT(log, ElementsAre("send:LEAVE trap"));
    EXPECT_TRUE(hasFlag(flag::DirectPending));
    EXPECT_EQ(session->flood().directCount, 5);
    now += 5;
    read({"SOMETHING"});
    EXPECT_TRUE(hasFlag(flag::ShieldsUp));

    // More than 5 s after the last DIRECT the next read lowers them, and the
    // first unmatched message of it completes the kept DIRECT.
    log.clear();
    now += 1;
    read({" carl"});
    EXPECT_FALSE(hasFlag(flag::ShieldsUp));
    EXPECT_EQ(session->flood().directCount, 0);
    EXPECT_THAT(log, ElementsAre("status:Angriff scheint beendet zu sein - Schilde gesenkt",
                                 "sound:4", "status:Du wurdest vom Benutzer carl aufgeweckt"));
}

TEST_F(FloodTest, TheQuestionNamesTheSenderAsSent) {
    for (int i = 0; i < 3; ++i)
        shock();
    now += 1;
    read({"DIRECT SHOCK", "  zwei Leerzeichen"});
    ASSERT_EQ(asks(), 1);
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "ask:Info|Es sieht so aus, als würde gerade ein Floodangriff von  zwei "
                        "Leerzeichen stattfinden.\rSollen die Schilde hochgefahren werden?"),
              log.end());
}

}  // namespace
}  // namespace kavel::testing
