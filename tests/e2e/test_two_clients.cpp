// Two real kavel processes (offscreen) and one quarnd, driven from outside
// through the preloaded test hook, which the shipped program does not have:
// each client sees the other's lines, a private chat opens on both sides,
// and a shock reaches the other side and is reported there.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <filesystem>
#include <functional>
#include <memory>

#include "common/data.h"
#include "support/quarnd_process.h"
#include "ui/profile.h"

namespace kavel::testing {
namespace {

namespace fs = std::filesystem;

const QString kMain = QStringLiteral("KAVEL - Client Program");

fs::path buildFolder() {
    return fs::canonical("/proc/self/exe").parent_path().parent_path();
}

bool eventually(const std::function<bool()>& condition, int limitMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs) return false;
        QThread::msleep(50);
    }
    return true;
}

// One client: its own folder with prefs.ini and a profile, the program
// started there with the hook, and the line to the hook.
class Client {
  public:
    Client(const QString& name, uint16_t chatPort, const QString& runtime) : name_(name) {
        const QString dir = folder_.path();
        QDir(dir).mkpath(QStringLiteral("profile"));
        ProfileRecord profile;
        profile.name = name.toStdString();
        profile.textColour = 0x800000;
        profile.backgroundColour = 0xFFFFFF;
        profile.options = opt::ColourFirst | opt::MarkUrls;
        QFile prof(dir + QStringLiteral("/profile/") + name + QStringLiteral(".prof"));
        prof.open(QIODevice::WriteOnly);
        prof.write(QByteArray::fromStdString(encodeProfile(profile)));
        prof.close();
        QFile prefs(dir + QStringLiteral("/prefs.ini"));
        prefs.open(QIODevice::WriteOnly);
        prefs.write(QStringLiteral("[General]\r\nprofile = %1\r\nactivePlugins = \r\n"
                                   "server = 127.0.0.1:%2\r\n")
                        .arg(name)
                        .arg(chatPort)
                        .toUtf8());
        prefs.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(
            QStringLiteral("LD_PRELOAD"),
            QString::fromStdString((buildFolder() / "tests/hook/kavel_test_hook.so").string()));
        env.insert(QStringLiteral("KAVEL_HOOK_SOCKET"), dir + QStringLiteral("/hook"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent"));
        const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0"));
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(dir);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QString::fromStdString((buildFolder() / "src/kavel").string()), {});
        process_.waitForStarted(30000);
    }
    ~Client() {
        process_.kill();
        process_.waitForFinished(10000);
    }

    // One command to the hook; the answer after "ok\t", or "err\t..." as is.
    QString ask(const QStringList& fields) {
        if (socket_.state() != QLocalSocket::ConnectedState) {
            eventually([this] {
                socket_.connectToServer(folder_.path() + QStringLiteral("/hook"));
                return socket_.waitForConnected(1000);
            });
        }
        socket_.write(fields.join(QLatin1Char('\t')).toUtf8() + '\n');
        socket_.waitForBytesWritten(5000);
        while (!socket_.canReadLine())
            if (!socket_.waitForReadyRead(10000)) return QStringLiteral("err\tno answer");
        QString line = QString::fromUtf8(socket_.readLine()).chopped(1);
        if (!line.startsWith(QStringLiteral("ok\t"))) return line;
        return line.mid(3).replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    }
    bool ok(const QStringList& fields) { return !ask(fields).startsWith(QStringLiteral("err\t")); }
    // Waits until the command succeeds and its answer contains `part`.
    bool until(const QStringList& fields, const QString& part = {}) {
        return eventually([&] {
            const QString answer = ask(fields);
            return !answer.startsWith(QStringLiteral("err\t")) && answer.contains(part);
        });
    }

    void say(const QString& room, const QString& text) {
        ASSERT_TRUE(ok({"type", room, "Eingabe", text}));
        ASSERT_TRUE(ok({"key", room, "Return"}));
    }

    bool running() {
        process_.waitForFinished(0);  // takes note of an end
        return process_.state() == QProcess::Running;
    }
    const QString& name() const { return name_; }

  private:
    QString name_;
    QTemporaryDir folder_;
    QProcess process_;
    QLocalSocket socket_;
};

class TwoClients : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* part : {"src/kavel", "tests/hook/kavel_test_hook.so"})
            if (!fs::exists(buildFolder() / part)) GTEST_SKIP() << part << " is not built";
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
