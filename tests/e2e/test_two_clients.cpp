// Two real kavel processes (offscreen) and one quarnd, driven from outside
// through the preloaded test hook, which the shipped program does not have:
// each client sees the other's lines, a private chat opens on both sides,
// and a shock reaches the other side and is reported there.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "support/kavel_process.h"
#include "support/quarnd_process.h"

namespace kavel::testing {
namespace {

const QString kMain = QStringLiteral("KAVEL - Client Program");

// One client: its own folder with prefs.ini and a profile, the program
// started there with the hook. The folder comes first, so that it exists
// before the program starts in it.
struct ClientFolder {
    QTemporaryDir folder;
};

class Client : private ClientFolder, public KavelProcess {
  public:
    Client(const QString& name, uint16_t chatPort, const QString& runtime)
        : KavelProcess(prepared(name, chatPort), runtime), name_(name) {}

    void say(const QString& room, const QString& text) {
        ASSERT_TRUE(ok({"type", room, "Eingabe", text}));
        ASSERT_TRUE(ok({"key", room, "Return"}));
    }
    const QString& name() const { return name_; }

  private:
    QString prepared(const QString& name, uint16_t chatPort) {
        writeClientFolder(folder.path(), name, chatPort);
        return folder.path();
    }
    QString name_;
};

class TwoClients : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!KavelProcess::available()) GTEST_SKIP() << "kavel or the hook is not built";
        ASSERT_TRUE(runtime.isValid());
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        anna = std::make_unique<Client>("anna", server.chatPort(), runtime.path());
        bert = std::make_unique<Client>("bert", server.chatPort(), runtime.path());
        for (Client* c : {anna.get(), bert.get()}) {
            ASSERT_TRUE(c->until({"windows"}, kMain)) << c->name().toStdString();
            ASSERT_TRUE(c->ok({"menu", kMain, "Verbinden"}));
            ASSERT_TRUE(c->until({"read", kMain, "Statusmeldungen"}, c->name()));
            // The room list, then the room from it.
            ASSERT_TRUE(c->ok({"menu", kMain, "Liste der verfügbaren Räume"}));
            ASSERT_TRUE(eventually([c] { return c->ok({"menu", kMain, "Lobby -> "}); }));
            ASSERT_TRUE(c->until({"windows"}, "Lobby"));
        }
    }

    quarnd_test::QuarndProcess server;
    QTemporaryDir runtime;
    std::unique_ptr<Client> anna, bert;
};

TEST_F(TwoClients, LinesPrivateChatAndShockReachTheOtherSide) {
    // Both are in the room, each sees the other's line.
    ASSERT_TRUE(anna->until({"read", "Lobby", "Benutzer"}, "bert"));
    anna->say("Lobby", "Hallo bert, siehe www.quarn.test");
    bert->say("Lobby", "Hallo anna");
    EXPECT_TRUE(bert->until({"read", "Lobby", "Chat"}, "anna: Hallo bert, siehe www.quarn.test"));
    EXPECT_TRUE(anna->until({"read", "Lobby", "Chat"}, "bert: Hallo anna"));
    EXPECT_TRUE(bert->until({"read", "Lobby", "Links"}, "www.quarn.test"));

    // A private chat from anna's user list opens on both sides.
    ASSERT_TRUE(anna->ok({"click", "Lobby", "Benutzer", "bert"}));
    ASSERT_TRUE(eventually([this] { return anna->ok({"menu", "Lobby", "Privatchat eröffnen"}); }));
    EXPECT_TRUE(anna->until({"windows"}, "Privatchat:"));
    EXPECT_TRUE(bert->until({"windows"}, "Privatchat:"));

    // A shock from anna is reported in bert's status log.
    ASSERT_TRUE(anna->ok({"click", "Lobby", "Benutzer", "bert"}));
    ASSERT_TRUE(eventually([this] { return anna->ok({"menu", "Lobby", "Benutzer erschrecken"}); }));
    EXPECT_TRUE(
        bert->until({"read", kMain, "Statusmeldungen"}, "Du wurdest vom Benutzer anna erschreckt"));

    // Neither client fell over on the way.
    EXPECT_TRUE(anna->running());
    EXPECT_TRUE(bert->running());
}

}  // namespace
}  // namespace kavel::testing
