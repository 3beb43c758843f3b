// Messages that need the user (the flood question, the reason of a kick):
// the dispatch stops at them, the question is asked once it has returned,
// and the rest of the read follows the answer in its order.
#include "net/dispatch_fixture.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace kavel::testing {
namespace {

const std::string kKicked = "status:Du wurdest vom Server geschmissen";
const std::string kOffline = "status:Verbindung getrennt";
const std::string kBanRemoved = "status:BAN erfolgreich entfernt";
const std::string kAdmin = "status:Admin Switch durchgeführt";
const std::string kShieldsUp = "status:Wir werden angegriffen - Schilde sind oben";

std::string floodQuestion(const std::string& sender) {
    return "ask:Info|Es sieht so aus, als würde gerade ein Floodangriff von " + sender +
           " stattfinden.\rSollen die Schilde hochgefahren werden?";
}
std::string shocked(const std::string& sender) {
    return "status:Du wurdest vom Benutzer " + sender + " erschreckt";
}

class QuestionTest : public DispatchTest {
  protected:
    // Three quick DIRECTs: the next one raises the flood question.
    void primeFlood() {
        for (int i = 0; i < 3; ++i) {
            now += 1;
            read({"DIRECT P", " bert"});
        }
        log.clear();
        now += 1;
    }
};

struct Case {
    const char* name;
    bool primed;  // the read brings the fourth quick DIRECT
    bool yes;
    bool stops;  // the dispatch stops at a question
    std::vector<std::string> read;
    std::vector<std::string> expected;
    int directCount;
};

TEST_F(QuestionTest, TheRestOfTheReadFollowsTheAnswerInOrder) {
    const std::vector<Case> cases = {
        {"kick with a reason, more lines after it",
         false,
         false,
         true,
         {"KICKED weg hier", "BAN_REMOVED", "[6]-"},
         {kKicked, kOffline, "box:Nachricht|weg hier", kBanRemoved, kAdmin},
         0},
        {"kick without a reason asks nothing",
         false,
         false,
         false,
         {"KICKED", "BAN_REMOVED"},
         {kKicked, kOffline, kBanRemoved},
         0},
        {"flood answered No, more DIRECTs after it",
         true,
         false,
         true,
         {"DIRECT SHOCK", " bert", "DIRECT SHOCK", " carl", "BAN_REMOVED"},
         {floodQuestion("bert"), "sound:3", shocked("bert"), floodQuestion("carl"), "sound:3",
          shocked("carl"), kBanRemoved},
         5},
        {"flood answered Yes: the rest goes unseen",
         true,
         true,
         true,
         {"DIRECT SHOCK", " bert", "DIRECT SHOCK", " carl", "BAN_REMOVED"},
         {floodQuestion("bert"), kShieldsUp},
         4},
        {"a kick, then the flood",
         true,
         false,
         true,
         {"KICKED weg", "DIRECT SHOCK", " bert", "BAN_REMOVED"},
         {kKicked, kOffline, "box:Nachricht|weg", floodQuestion("bert"), "sound:3", shocked("bert"),
          kBanRemoved},
         4},
        {"the flood, then a kick",
         true,
         false,
         true,
         {"DIRECT SHOCK", " bert", "KICKED weg", "BAN_REMOVED"},
         {floodQuestion("bert"), "sound:3", shocked("bert"), kKicked, kOffline, "box:Nachricht|weg",
          kBanRemoved},
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!session->connection()) connectPeer();
        now += 10;  // a quiet spell: the count starts afresh, the shields go down
        read({"SOMETHING"});
        if (c.primed) primeFlood();
        log.clear();
        answerYes = c.yes;

        dispatchOnly(c.read);
        // Nothing is asked while the dispatch runs.
        EXPECT_EQ(askedInsideDispatch, 0);
        EXPECT_EQ(session->questionPending(), c.stops);
        session->askPending();
        takeSent();

        EXPECT_THAT(log, ElementsAreArray(c.expected));
        EXPECT_FALSE(session->questionPending());
        EXPECT_EQ(session->flood().directCount, c.directCount);
    }
}

TEST_F(QuestionTest, AReadDispatchedWhileAQuestionWaitsComesAfterIt) {
    primeFlood();
    answerYes = true;
    dispatchOnly({"DIRECT SHOCK", " bert", "BAN_REMOVED"});
    dispatchOnly({"[6]-"});
    EXPECT_THAT(log, IsEmpty());
    session->askPending();
    // Yes drops the rest of the first read only.
    EXPECT_THAT(log, ElementsAre(floodQuestion("bert"), kShieldsUp, kAdmin));
}

TEST_F(QuestionTest, ADisconnectDropsAnUnaskedFloodQuestionWithItsRead) {
    primeFlood();
    dispatchOnly({"DIRECT SHOCK", " bert", "CHAT lobby x"});
    dispatchOnly({"BAN_REMOVED"});
    ASSERT_TRUE(session->questionPending());
    session->disconnect();
    log.clear();
    session->askPending();
    EXPECT_THAT(log, IsEmpty());
    EXPECT_EQ(room("lobby"), nullptr);
    EXPECT_FALSE(session->questionPending());
    // A fresh connection starts with nothing of the old one.
    connectPeer();
    read({"[6]-"});
    EXPECT_THAT(log, ElementsAre(kAdmin));
}

TEST_F(QuestionTest, AKicksReasonOutlivesTheDisconnectItCaused) {
    dispatchOnly({"KICKED weg", "BAN_REMOVED"});
    EXPECT_THAT(log, ElementsAre(kKicked, kOffline));
    session->disconnect();  // offline already: nothing to drop
    session->askPending();
    EXPECT_THAT(log, ElementsAre(kKicked, kOffline, "box:Nachricht|weg", kBanRemoved));
}

}  // namespace
}  // namespace kavel::testing
