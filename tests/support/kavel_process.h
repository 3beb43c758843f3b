#pragma once
// The built kavel program, started the way users start it (offscreen) in a
// working folder of its own, with the preloaded test hook to drive it from
// outside through its real windows (see tests/hook/hook_commands.cpp).
//
//   writeClientFolder(dir, "anna", server.chatPort());
//   KavelProcess kavel(dir);
//   kavel.until({"windows"}, "KAVEL - Client Program");
//   kavel.ok({"menu", "KAVEL - Client Program", "Verbinden"});

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <functional>

#include "common/data.h"
#include "ui/profile.h"

namespace kavel::testing {

inline std::filesystem::path buildFolder() {
    return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path();
}

inline bool eventually(const std::function<bool()>& condition, int limitMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs) return false;
        QThread::msleep(50);
    }
    return true;
}

// A profile for `name` and a prefs.ini that logs in to 127.0.0.1:chatPort
// with the given plug-ins active.
inline void writeClientFolder(const QString& dir, const QString& name, uint16_t chatPort,
                              const QString& activePlugins = {}) {
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
    prefs.write(QStringLiteral("[General]\r\nprofile = %1\r\nactivePlugins = %3\r\n"
                               "server = 127.0.0.1:%2\r\n")
                    .arg(name)
                    .arg(chatPort)
                    .arg(activePlugins)
                    .toUtf8());
    prefs.close();
}

class KavelProcess {
  public:
    // True when the program and the hook are built (the package build has
    // neither).
    static bool available() {
        for (const char* part : {"src/kavel", "tests/hook/kavel_test_hook.so"})
            if (!std::filesystem::exists(buildFolder() / part)) return false;
        return true;
    }

    KavelProcess(const QString& folder, const QString& runtime,
                 const QProcessEnvironment& extra = {})
        : folder_(folder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(
            QStringLiteral("LD_PRELOAD"),
            QString::fromStdString((buildFolder() / "tests/hook/kavel_test_hook.so").string()));
        env.insert(QStringLiteral("KAVEL_HOOK_SOCKET"), folder + QStringLiteral("/hook"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent"));
        // Under the sanitizers the hook comes before their runtime. What Qt
        // keeps until the process ends is no leak of ours, and a leak report
        // would change the exit code the tests read; the leak checks run on
        // the in-process tests.
        const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   asan + (asan.isEmpty() ? "" : ":") +
                       QStringLiteral("verify_asan_link_order=0:detect_leaks=0"));
        env.insert(extra);
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(folder);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QString::fromStdString((buildFolder() / "src/kavel").string()), {});
        process_.waitForStarted(30000);
    }
    ~KavelProcess() {
        process_.kill();
        process_.waitForFinished(10000);
    }
    KavelProcess(const KavelProcess&) = delete;
    KavelProcess& operator=(const KavelProcess&) = delete;

    // One command to the hook; the answer after "ok\t", or "err\t..." as is.
    QString ask(const QStringList& fields) {
        if (socket_.state() != QLocalSocket::ConnectedState) {
            eventually([this] {
                socket_.connectToServer(folder_ + QStringLiteral("/hook"));
                return socket_.waitForConnected(1000) || !running();
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
    bool until(const QStringList& fields, const QString& part = {}, int limitMs = 30000) {
        return eventually(
            [&] {
                const QString answer = ask(fields);
                return !answer.startsWith(QStringLiteral("err\t")) && answer.contains(part);
            },
            limitMs);
    }

    bool running() {
        process_.waitForFinished(0);  // takes note of an end
        return process_.state() == QProcess::Running;
    }
    // Waits for the end; the exit code, or -1 when the program did not end
    // by itself in time or was killed by a signal.
    int exitCode(int limitMs = 30000) {
        if (!process_.waitForFinished(limitMs) && running()) return -1;
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    qint64 pid() const { return process_.processId(); }

  private:
    QString folder_;
    QProcess process_;
    QLocalSocket socket_;
};

}  // namespace kavel::testing
