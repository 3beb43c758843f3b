// The crash handler: the dump file's text, and real faults in child
// processes (crash_child) with the dump they leave, the question and what
// its answers do.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "common/data.h"
#include "core/OnError.h"
#include "crash/crash_child_process.h"
#include "support/file_io.h"
#include "support/kavel_process.h"
#include "support/latin1.h"
#include "support/local_time.h"
#include "support/script_server.h"

namespace kavel {
namespace {

using platform::FaultKind;
using test::Child;
using test::exitedWith;
using test::kQuestion;
using test::markedLine;
using testing::w1252;

// --- the report's text ------------------------------------------------------

std::tm at(int hour, int minute, int second) {
    return test::at(2026, 12, 7, hour, minute, second);
}

const void* address(uint64_t value) {
    return reinterpret_cast<const void*>(static_cast<uintptr_t>(value));
}

TEST(DumpText, WithoutPluginsItEndsAfterTheHeading) {
    EXPECT_EQ(dumpFileName(at(21, 45, 3)), "07_12_26__21_45_03.dump.txt");
    EXPECT_EQ(formatDump(at(21, 45, 3), "NET_Methods", 214, FaultKind::IntegerDivideByZero, {}),
              "Fehler von [21:45:03]\r\n"
              "Aufgetreten in NET_Methods Zeile 214\r\n"
              "\r\n"
              "Beschreibung: Attempted division by zero\r\n"
              "\r\n" +
                  w1252("Weiterführende Informationen:\r\n"));
}

TEST(DumpText, PluginsWithTheirEntryPointsAtFullWidth) {
    DumpPlugin half;
    half.name = "Tauschwerk.so";
    half.entries[0] = address(0x00007F0012345678);  // outgoing text
    half.entries[4] = address(0x1000);              // setup
    half.handle = address(0xFFFF800000001234);
    half.loaded = true;
    DumpPlugin gone;
    gone.name = "alt.so";
    gone.entries[1] = address(42);
    gone.entries[2] = address(43);
    gone.entries[3] = address(44);
    gone.handle = address(7);
    const std::string dump =
        formatDump(at(1, 2, 3), "", 0, FaultKind::AccessViolation, {half, gone});
    const std::string plugins = dump.substr(dump.find("Informationen:\r\n") + 16);
    EXPECT_EQ(plugins, w1252("Plugin Tauschwerk.so aktiv\r\n"
                             "Unterstützt TransmittedIn (ADR 139638282147448)\r\n"
                             "Unterstützt Setup (ADR 4096)\r\n"
                             "Ist korrekt geladen (-140737488350668)\r\n"
                             "\r\n"
                             "Plugin alt.so aktiv\r\n"
                             "Unterstützt ReceivedIn (ADR 42)\r\n"
                             "Unterstützt TransmittedCmd (ADR 43)\r\n"
                             "Unterstützt ReceivedCmd (ADR 44)\r\n"
                             "Ist falsch geladen (7)\r\n"
                             "\r\n"));
    // No position of ours on the stack.
    EXPECT_NE(dump.find("Aufgetreten in ? Zeile 0\r\n"), std::string::npos);
}

TEST(DumpText, UnitsAndDescriptions) {
    EXPECT_EQ(unitName("/src/core/KAVEL.cpp"), "Main Module");
    EXPECT_EQ(unitName("/src/net/NET_Methods.cpp"), "NET_Methods");
    EXPECT_EQ(unitName("src/ui/CLASS_ChatRoom_Paster.cpp"), "CLASS_ChatRoom_Paster");
    EXPECT_EQ(unitName("main.h"), "main");
    EXPECT_STREQ(faultDescription(FaultKind::None), "No Error");
    EXPECT_STREQ(faultDescription(FaultKind::Unknown), "UNKNOWN Error");
    EXPECT_STREQ(faultDescription(FaultKind::FloatUnderflow),
                 "FLT_UNDERFLOW The result was too small to represent");
    // Library headers inlined into our code, and the C library's own
    // relative names, do not count as ours.
    const std::vector<platform::SourcePosition> stack = {
        {"/usr/include/c++/12/bits/basic_string.h", 400},
        {"../sysdeps/nptl/libc_start_call_main.h", 58},
        {std::string(KAVEL_TEST_DIR) + "/../src/ui/misc.cpp", 12},
        {std::string(KAVEL_TEST_DIR) + "/../src/core/KAVEL.cpp", 99}};
    ASSERT_NE(ownPosition(stack), nullptr);
    EXPECT_EQ(ownPosition(stack)->line, 12);
    EXPECT_EQ(ownPosition({stack[0], stack[1]}), nullptr);
}

// --- real faults ------------------------------------------------------------

// The dump's head with the time replaced by "hh:ii:ss".
std::string headOf(const std::string& dump) {
    static const std::regex time(R"(^Fehler von \[\d\d:\d\d:\d\d\]\r\n)");
    return std::regex_replace(dump, time, "Fehler von [hh:ii:ss]\r\n",
                              std::regex_constants::format_first_only);
}

std::string expectedHead(const std::string& unit, int line, FaultKind kind) {
    return "Fehler von [hh:ii:ss]\r\nAufgetreten in " + unit + " Zeile " + std::to_string(line) +
           "\r\n\r\nBeschreibung: " + faultDescription(kind) + "\r\n\r\n" +
           w1252("Weiterführende Informationen:\r\n");
}

struct FaultCase {
    const char* scenario;
    FaultKind kind;
};

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, WriteTheDumpAskAndGoOn) {
    const FaultCase& c = GetParam();
#if !defined(__x86_64__)
    if (c.kind == FaultKind::PrivilegedInstruction || c.kind == FaultKind::Breakpoint)
        GTEST_SKIP() << "x86-64 instructions";
#endif
    Child child({c.scenario, "yes"});
    const int status = child.finish();
    EXPECT_TRUE(exitedWith(status, 0)) << status << "\n" << child.output << child.errors();
    EXPECT_TRUE(child.hasLine(kQuestion)) << child.output;
    EXPECT_TRUE(child.hasLine("continued")) << child.output;
    EXPECT_FALSE(child.hasLine("not faulted"));

    std::string name;
    const std::string dump = child.dump(&name);
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(\d\d_\d\d_\d\d__\d\d_\d\d_\d\d\.dump\.txt)")))
        << name;
    if (std::string(c.scenario) == "stack") {
        // Where the stack runs out depends on the frame; any line of the
        // recursing function is right.
        const int from = markedLine("crash_child.cpp", "stack from");
        const int to = markedLine("crash_child.cpp", "stack to");
        std::smatch m;
        const std::string head = headOf(dump);
        ASSERT_TRUE(
            std::regex_search(head, m, std::regex(R"(Aufgetreten in crash_child Zeile (\d+))")))
            << head;
        const int line = std::stoi(m[1]);
        EXPECT_TRUE(line >= from && line <= to) << line;
        EXPECT_EQ(head, expectedHead("crash_child", line, c.kind));
    } else {
        EXPECT_EQ(headOf(dump),
                  expectedHead("crash_child", markedLine("crash_child.cpp", c.scenario), c.kind));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, Faults,
                         ::testing::Values(FaultCase{"segv", FaultKind::AccessViolation},
                                           FaultCase{"intdiv", FaultKind::IntegerDivideByZero},
                                           FaultCase{"stack", FaultKind::StackOverflow},
                                           FaultCase{"illegal", FaultKind::IllegalInstruction},
                                           FaultCase{"breakpoint", FaultKind::Breakpoint},
                                           FaultCase{"privileged",
                                                     FaultKind::PrivilegedInstruction},
                                           FaultCase{"floatdiv", FaultKind::FloatDivideByZero}),
                         [](const auto& info) { return std::string(info.param.scenario); });

TEST(Answers, NoEndsAtOnceWithoutWritingTheSettings) {
    Child child({"no-prefs", "no"});
    ASSERT_TRUE(child.waitFor("ready")) << child.output << child.errors();
    const int status = child.finish();
    EXPECT_TRUE(exitedWith(status, 1)) << status << child.output << child.errors();
    EXPECT_TRUE(child.hasLine(kQuestion));
    EXPECT_FALSE(child.hasLine("continued"));
    EXPECT_FALSE(child.hasLine("ended"));
    EXPECT_FALSE(std::filesystem::exists(child.folder + "/prefs.ini"));
    EXPECT_NE(child.dump(), "");
}

TEST(Answers, YesKeepsTheLoopAnsweringTheServer) {
    kavel_test::ScriptServer server;
    Child child({"loop", "yes", std::to_string(server.port())});
    ASSERT_TRUE(server.accept(30000)) << child.output << child.errors();
    ASSERT_TRUE(child.waitFor("ready"));
    server.send("CRASH\r");
    ASSERT_TRUE(child.waitFor("dialog yesno")) << child.output << child.errors();
    server.send("PING\r");
    EXPECT_TRUE(server.readUntil("PONG\r", 30000)) << child.output << child.errors();
    server.send("BYE\r");
    EXPECT_TRUE(exitedWith(child.finish(), 0)) << child.output << child.errors();
    EXPECT_TRUE(child.hasLine("ended"));
    EXPECT_EQ(headOf(child.dump()),
              expectedHead("crash_child", markedLine("crash_child.cpp", "segv"),
                           FaultKind::AccessViolation));
}

TEST(Answers, WithoutADumpFileTheBoxComesAndTheProgramEnds) {
    Child child({"nodump", "yes"});
    const int status = child.finish();
    EXPECT_TRUE(exitedWith(status, 1)) << status << child.output << child.errors();
    EXPECT_EQ(child.linesStartingWith("dialog "),
              std::vector<std::string>{"message FEHLER|Es ist ein schwerwiegender Fehler "
                                       "aufgetreten, die dump.txt konnte nicht erstellt werden."});
    EXPECT_FALSE(child.hasLine("continued"));
}

TEST(EndSignals, SigtermEndsInOrderAndWritesTheSettings) {
    Child child({"sigterm", "yes"});
    ASSERT_TRUE(child.waitFor("ready")) << child.output << child.errors();
    ::kill(child.pid, SIGTERM);
    const int status = child.finish();
    EXPECT_TRUE(exitedWith(status, 0)) << status << child.output << child.errors();
    EXPECT_TRUE(child.hasLine("ended"));
    EXPECT_EQ(kavel::test::slurp(child.folder + "/prefs.ini").rfind("[General]\r\n", 0), 0u);
    EXPECT_EQ(child.dump(), "");
}

// --- a third party's plug-in faulting in the real program -------------------

using testing::KavelProcess;

const QString kMain = QStringLiteral("KAVEL - Client Program");
const QString kFault = QStringLiteral("FEHLER");
const QString kStatus = QStringLiteral("Statusmeldungen");

// The built kavel in a folder of its own, the fault plug-in active, told
// where to fault, a script server as its chat server.
class RealProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!KavelProcess::available()) GTEST_SKIP() << "kavel or the hook is not built";
        ASSERT_TRUE(folder.isValid() && runtime.isValid());
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir(folder.path()).mkpath(QStringLiteral("plugins"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(FAULT_PLUGIN), path("plugins/fault_plugin.so")));
        testing::writeClientFolder(folder.path(), QStringLiteral("anna"),
                                   static_cast<uint16_t>(server.port()),
                                   QStringLiteral("fault_plugin.so"));
        prefsAtStart = test::slurp(path("prefs.ini").toStdString());
    }

    QString path(const char* name) const { return folder.path() + "/" + name; }
    void start(const char* faultAt) {
        QProcessEnvironment env;
        env.insert(QStringLiteral("KAVEL_FAULT_AT"), QString::fromLatin1(faultAt));
        kavel = std::make_unique<KavelProcess>(folder.path(), runtime.path(), env);
    }
    // Connected, with the plug-in in the Tools menu.
    void startConnected(const char* faultAt) {
        start(faultAt);
        ASSERT_TRUE(kavel->until({"windows"}, kMain));
        ASSERT_TRUE(kavel->ok({"menu", kMain, "Verbinden"}));
        ASSERT_TRUE(server.accept(30000));
        ASSERT_TRUE(server.readUntil("LOGIN anna", 30000));
    }
    std::string dump() const {
        const QStringList dumps =
            QDir(folder.path()).entryList({QStringLiteral("*.dump.txt")}, QDir::Files);
        return dumps.size() == 1 ? test::slurp(path(dumps[0].toUtf8().constData()).toStdString())
                                 : "dumps: " + std::to_string(dumps.size());
    }
    // The question, answered as told, and what the status log says after it.
    void answerTheQuestion(const char* answer) {
        ASSERT_TRUE(kavel->until({"windows"}, kFault)) << dump();
        EXPECT_TRUE(kavel->ask({"text", kFault}).endsWith("Soll das Programm fortgesetzt werden?"));
        ASSERT_TRUE(kavel->ok({"answer", kFault, QString::fromLatin1(answer)}));
    }

    QTemporaryDir folder, runtime;
    kavel_test::ScriptServer server;
    std::unique_ptr<KavelProcess> kavel;
    std::string prefsAtStart;
};

// The dump's plug-in part for the fault plug-in, addresses as patterns.
const std::string kListed =
    "Plugin fault_plugin\\.so aktiv\r\n"
    "Unterst\xFCtzt ReceivedCmd \\(ADR -?\\d+\\)\r\n"
    "Unterst\xFCtzt Setup \\(ADR -?\\d+\\)\r\n"
    "Ist (korrekt|falsch) geladen \\(-?\\d+\\)\r\n\r\n";

bool dumpNames(const std::string& dump, const char* mark, const std::string& plugins) {
    const std::string head =
        std::regex_replace(expectedHead("fault_plugin", markedLine("fault_plugin.c", mark),
                                        FaultKind::AccessViolation),
                           std::regex(R"([\[\]().?])"), R"(\$&)");
    return std::regex_match(headOf(dump), std::regex(head + plugins));
}

const QString kBlamedLine = QStringLiteral(
    "Der Fehler trat im Plugin fault_plugin.so auf - schalte es im Plugin Manager ab.");

TEST_F(RealProgram, AFaultInAChainEntryIsAskedAboutBlamedAndSurvived) {
    startConnected("receive");
    server.send("CRASH\r");
    answerTheQuestion("Ja");  // Qt's own button, in German
    EXPECT_TRUE(kavel->until({"read", kMain, kStatus}, kBlamedLine));
    EXPECT_TRUE(dumpNames(dump(), "receive", kListed)) << dump();
    // The client goes on reading the server.
    server.send("[3]-\r");
    EXPECT_TRUE(kavel->until({"read", kMain, kStatus}, QStringLiteral("Login erfolgreich")));
    ASSERT_EQ(kavel->ask({"close", kMain}), "") << dump();
    EXPECT_EQ(kavel->exitCode(), 0);
}

TEST_F(RealProgram, AFaultOnTheSetupThreadIsAskedAboutOnTheMainThread) {
    start("setup");
    ASSERT_TRUE(kavel->until({"windows"}, kMain));
    ASSERT_TRUE(kavel->ok({"menu", kMain, "fault_plugin.so"}));
    answerTheQuestion("Ja");
    EXPECT_TRUE(kavel->until({"read", kMain, kStatus}, kBlamedLine));
    EXPECT_TRUE(dumpNames(dump(), "setup", kListed)) << dump();
    EXPECT_TRUE(kavel->running());
    ASSERT_EQ(kavel->ask({"close", kMain}), "") << dump();
    EXPECT_EQ(kavel->exitCode(), 0);
}

TEST_F(RealProgram, AFaultWhileLoadingEndsTheProgramAndTheNextStartGoesWithout) {
    start("load");
    ASSERT_TRUE(kavel->until({"windows"}, kFault));
    EXPECT_TRUE(kavel->ask({"text", kFault})
                    .startsWith(QStringLiteral("Das Plugin fault_plugin.so hat beim Laden")));
    ASSERT_TRUE(kavel->ok({"answer", kFault, "OK"}));
    EXPECT_EQ(kavel->exitCode(), 1);
    EXPECT_TRUE(dumpNames(dump(), "load",
                          "Plugin fault_plugin\\.so aktiv\r\nIst falsch geladen \\(0\\)\r\n\r\n"))
        << dump();

    // Started again, still told to fault: the plug-in stays out, says so,
    // and can be chosen again in the plug-in manager.
    start("load");
    ASSERT_TRUE(kavel->until({"read", kMain, kStatus},
                             QStringLiteral("Das Plugin fault_plugin.so wurde nicht geladen")));
    ASSERT_TRUE(kavel->ok({"menu", kMain, "Plugin Manager"}));
    EXPECT_TRUE(kavel->until({"read", "KAVEL > Plugin Manager", "Verfügbar"}, "fault_plugin.so"));
    ASSERT_EQ(kavel->ask({"close", kMain}), "") << dump();
    EXPECT_EQ(kavel->exitCode(), 0);
    // Said once: the settings no longer name it.
    EXPECT_EQ(test::slurp(path("prefs.ini").toStdString()).find("fault_plugin"), std::string::npos);
}

TEST_F(RealProgram, AFaultWhileFreeingEndsWithCodeOne) {
    start("unload");
    ASSERT_TRUE(kavel->until({"windows"}, kMain));
    ASSERT_TRUE(kavel->ok({"close", kMain}));
    ASSERT_TRUE(kavel->until({"windows"}, kFault));
    EXPECT_TRUE(kavel->ask({"text", kFault})
                    .startsWith(QStringLiteral("Das Plugin fault_plugin.so hat beim Freigeben")));
    ASSERT_TRUE(kavel->ok({"answer", kFault, "OK"}));
    EXPECT_EQ(kavel->exitCode(), 1);
    EXPECT_TRUE(dumpNames(dump(), "unload", kListed)) << dump();
}

// One signal is enough, whatever dialog is open: during the fault question
// it counts as "No", during any other it is the dialog's cancel and the
// program ends in order.
TEST_F(RealProgram, ASignalDuringTheFaultQuestionCountsAsNo) {
    startConnected("receive");
    server.send("CRASH\r");
    ASSERT_TRUE(kavel->until({"windows"}, kFault));
    // Read at the start; only a shutdown in order would write it again.
    ASSERT_TRUE(QFile::remove(path("prefs.ini")));
    ::kill(static_cast<pid_t>(kavel->pid()), SIGTERM);
    EXPECT_EQ(kavel->exitCode(3000), 1);
    EXPECT_FALSE(QFile::exists(path("prefs.ini")));
    EXPECT_TRUE(dumpNames(dump(), "receive", kListed)) << dump();
}

TEST_F(RealProgram, ASignalDuringAnyOtherDialogEndsInOrder) {
    start("none");
    ASSERT_TRUE(kavel->until({"windows"}, kMain));
    ASSERT_TRUE(kavel->ok({"menu", kMain, "Profil"}));
    ASSERT_TRUE(kavel->until({"windows"}, "KAVEL > Profil"));
    ASSERT_TRUE(kavel->ok({"answer", "KAVEL > Profil", "warum registrieren?"}));
    ASSERT_TRUE(kavel->until({"windows"}, "Info"));
    ASSERT_TRUE(QFile::remove(path("prefs.ini")));
    ::kill(static_cast<pid_t>(kavel->pid()), SIGINT);
    EXPECT_EQ(kavel->exitCode(3000), 0);
    // The shutdown in order wrote the settings again, as they were read.
    EXPECT_EQ(test::slurp(path("prefs.ini").toStdString()), prefsAtStart);
    EXPECT_EQ(dump(), "dumps: 0");
}

}  // namespace
}  // namespace kavel
