// The plug-in host with real libraries built by the tests: loading, the
// entry-point patterns, the four chains with their null rules, Setup on its
// own thread, the command poll on the wire and activePlugins.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "common/data.h"
#include "core/KAVEL.h"
#include "core/OnError.h"
#include "core/prefs.h"
#include "desktop/gadgets.h"
#include "net/NET_Methods.h"
#include "objects/CLASS_Agents.h"
#include "objects/CLASS_Object.h"
#include "objects/agent_chain.h"
#include "support/plugin_folder.h"
#include "support/qt_wait.h"
#include "support/script_server.h"
#include "support/services.h"
#include "system/clock.h"
#include "system/library.h"
#include "system/socket.h"
#include "ui/GUI.h"

namespace kavel::testing {
namespace {

using test::agentNames;
using test::pluginData;
using test::PluginFolder;
using test::pluginMapped;

// Lets queued jobs run (a finished Setup's release) while waiting. Deferred
// deletions are left for later.
bool waitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class PluginHost : public ::testing::Test {
  protected:
    void SetUp() override {
        loadUiTexts();
        kavel::test::setService(&kavel::platform::Services::dialogs,
                                [this](const platform::DialogRequest& request) {
                                    dialogs.push_back(request);
                                    return platform::DialogAnswer{};
                                });
    }
    void TearDown() override { unloadAllAgents(); }

    Agent* load(const std::string& name) { return loadPlugin("plugins/" + dir.add(name)); }

    PluginFolder dir;
    std::vector<platform::DialogRequest> dialogs;
};

TEST_F(PluginHost, WithoutAgentsEveryChainReturnsItsInput) {
    EXPECT_EQ(runProcessTOut("hallo welt"), "hallo welt");
    EXPECT_EQ(runProcessRIn("hallo welt"), "hallo welt");
    EXPECT_EQ(runProcessTCmd("x"), "x");
    EXPECT_EQ(runProcessRCmd("CHAT a b"), "CHAT a b");
    setOptionBits(opt::PluginCommandRequest);
    EXPECT_FALSE(takePluginCommand());
    EXPECT_FALSE(hasOption(opt::PluginCommandRequest));
}

TEST_F(PluginHost, EveryChainCallsTheAgentsInLoadOrder) {
    ASSERT_TRUE(load("tp_a"));
    ASSERT_TRUE(load("tp_b"));
    EXPECT_EQ(agentNames(), (std::vector<std::string>{"tp_a.so", "tp_b.so"}));
    EXPECT_EQ(runProcessTOut("x"), "xAB");
    EXPECT_EQ(runProcessRIn("x"), "xAB");
    EXPECT_EQ(runProcessTCmd("x"), "xAB");
    EXPECT_EQ(runProcessRCmd("x"), "xAB");

    unloadAllAgents();
    ASSERT_TRUE(load("tp_b"));
    ASSERT_TRUE(load("tp_a"));
    EXPECT_EQ(runProcessTOut("x"), "xBA");
}

TEST_F(PluginHost, NullResultsEmptyTheTextExceptForReceivedData) {
    ASSERT_TRUE(load("tp_null"));
    ASSERT_TRUE(load("tp_a"));
    EXPECT_EQ(runProcessTOut("x"), "A");
    EXPECT_EQ(runProcessRIn("x"), "A");
    EXPECT_EQ(runProcessTCmd("x"), "A");
    EXPECT_EQ(runProcessRCmd("CHAT a b"), "CHAT a bA");
    int* calls = pluginData<int>("tp_null.so", "nulls_rcmd_calls");
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(*calls, 1);

    // Empty data reaches no plug-in at all.
    EXPECT_EQ(runProcessRCmd(""), "");
    EXPECT_EQ(*calls, 1);
}

TEST_F(PluginHost, DecoratedNamesAreFoundByPattern) {
    ASSERT_TRUE(load("tp_decorated"));
    EXPECT_EQ(runProcessTOut("x"), "x+tout");
    // "SetupProcessRIn" holds both patterns; PROCESSRIN is tried first.
    EXPECT_EQ(runProcessRIn("x"), "x+rin");
    agentSetup(AgentList.front());
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Information");
    EXPECT_EQ(dialogs[0].text,
              "Das Plugin tp_decorated.so bietet nicht die M\xF6glichkeit, es zu konfigurieren.");

    // Of two exports for one entry point, the later in the table counts.
    std::string later;
    for (const std::string& name : platform::exportedFunctions("plugins/tp_decorated.so"))
        if (entryKind(name) == 2) later = name;
    ASSERT_FALSE(later.empty());
    EXPECT_EQ(runProcessTCmd("x"), "x" + later);
    EXPECT_EQ(runProcessRCmd("x"), "x");
}

TEST_F(PluginHost, EntryPatternsAreTriedInSlotOrder) {
    const std::pair<const char*, int> cases[] = {
        {"ProcessTOut", 0},     {"_Z11processtoutP16KavelClientStatePKc", 0},
        {"ProcessRIn", 1},      {"SetupProcessRIn", 1},
        {"x_PROCESSTCMD", 2},   {"ProcessRCmd", 3},
        {"Setup", 4},           {"my_setup_dialog", 4},
        {"ProcessRInSetup", 1}, {"ProcessT0ut", -1},
        {"helper", -1},         {"", -1},
    };
    for (const auto& [name, kind] : cases)
        EXPECT_EQ(entryKind(name), kind) << name;
}

TEST_F(PluginHost, ALibraryListedTwiceBecomesTwoAgents) {
    ASSERT_TRUE(load("tp_a"));
    ASSERT_TRUE(loadPlugin("plugins/tp_a.so"));
    ASSERT_EQ(AgentList.size(), 2u);
    EXPECT_EQ(runProcessTOut("x"), "xAA");
    EXPECT_EQ(agentListPosition(AgentList[1]), 1);
    agentDestroy(AgentList.front());
    EXPECT_EQ(runProcessTOut("x"), "xA");
}

TEST_F(PluginHost, WhatCannotBeOpenedIsSkippedWithoutAMessage) {
    dir.write("plugins/notes.so", "this is not a library\n");
    dir.write("plugins/empty.so", "");
    EXPECT_EQ(loadPlugin("plugins/notes.so"), nullptr);
    EXPECT_EQ(loadPlugin("plugins/empty.so"), nullptr);
    EXPECT_EQ(loadPlugin("plugins/missing.so"), nullptr);
    EXPECT_EQ(loadPlugin("plugins"), nullptr);
    EXPECT_TRUE(AgentList.empty());
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(PluginHost, AgentsAreObjectsOfTheClassAgent) {
    Agent* agent = load("tp_a");
    ASSERT_TRUE(agent);
    auto* object = reinterpret_cast<Object*>(agent);
    EXPECT_EQ(methodCount(object), agent_slot::Count);
    EXPECT_EQ(callSlot<std::string>(object, slot::GetClassName), "Agent");
    EXPECT_EQ(callSlot<std::string>(object, agent_slot::GetName), "tp_a.so");
    EXPECT_EQ(toString(object).rfind("Agent@", 0), 0u);
    // The setters are real slots: clearing the text-out entry makes the
    // agent transparent for that chain only.
    callSlot<void, KavelProcessTOut>(object, agent_slot::SetProcessTOut, nullptr);
    EXPECT_EQ(runProcessTOut("x"), "x");
    EXPECT_EQ(runProcessRIn("x"), "xA");
}

// What the crash report lists: every agent with its library and the five
// entry points in their order.
TEST_F(PluginHost, TheCrashReportListsEveryAgentWithItsEntryPoints) {
    ASSERT_TRUE(load("tp_a"));
    ASSERT_TRUE(load("tp_null"));
    const std::vector<platform::LoadedPlugin> listed = loadedPlugins();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "tp_a.so");
    EXPECT_EQ(listed[1].name, "tp_null.so");
    for (std::size_t i = 0; i < kPluginEntryCount; ++i) {
        const std::string name(kPluginEntries[i].exportName);
        EXPECT_EQ(listed[0].entries[i],
                  platform::librarySymbol(const_cast<void*>(listed[0].handle), name))
            << name;
    }
    EXPECT_TRUE(platform::libraryLoaded(listed[0].handle));
    agentDestroy(AgentList.front());
    EXPECT_EQ(loadedPlugins().size(), 1u);
}

// The whole way from a library's exports to the dump file's lines: a
// plug-in offering every entry point of the table gets a line for each, in
// the table's order, at the address the loader gives.
TEST_F(PluginHost, TheDumpNamesEveryEntryPointOfTheTable) {
    ASSERT_TRUE(load("tp_a"));
    const std::vector<platform::LoadedPlugin> listed = loadedPlugins();
    ASSERT_EQ(listed.size(), 1u);
    auto decimal = [](const void* address) {
        return std::to_string(static_cast<int64_t>(reinterpret_cast<uintptr_t>(address)));
    };
    std::string expected = "Plugin tp_a.so aktiv\r\n";
    for (const PluginEntry& entry : kPluginEntries) {
        const void* address = platform::librarySymbol(const_cast<void*>(listed[0].handle),
                                                      std::string(entry.exportName));
        ASSERT_NE(address, nullptr) << "probe.c should export " << entry.exportName;
        expected += "Unterst\xFCtzt " + std::string(entry.reportName) + " (ADR " +
                    decimal(address) + ")\r\n";
    }
    expected += "Ist korrekt geladen (" + decimal(listed[0].handle) + ")\r\n\r\n";
    const std::string dump =
        formatDump(std::tm{}, "", 0, platform::FaultKind::AccessViolation, dumpPlugins(listed));
    EXPECT_EQ(dump.substr(dump.find("Informationen:\r\n") + 16), expected);
}

TEST_F(PluginHost, TheFileNameRuleTakesThePartAfterTheLastSeparator) {
    EXPECT_EQ(pluginFileName("plugins/Tauschwerk.so"), "Tauschwerk.so");
    EXPECT_EQ(pluginFileName("plugins\\Tauschwerk.so"), "Tauschwerk.so");
    EXPECT_EQ(pluginFileName("plugins/\"Tausch werk.so\" extra"), "Tausch werk.so");
    EXPECT_EQ(pluginFileName("a.so"), "a.so");
    EXPECT_EQ(pluginFileName("plugins/"), "");
}

TEST_F(PluginHost, SetupRunsOnItsOwnThreadWithTheClientState) {
    ASSERT_TRUE(load("tp_a"));
    int* calls = pluginData<int>("tp_a.so", "probe_setup_calls");
    auto** seen = pluginData<KavelClientState*>("tp_a.so", "probe_setup_state");
    ASSERT_TRUE(calls && seen);
    agentSetup(AgentList.front());
    ASSERT_TRUE(waitFor([&] { return __atomic_load_n(calls, __ATOMIC_SEQ_CST) == 1; }));
    EXPECT_EQ(__atomic_load_n(seen, __ATOMIC_SEQ_CST), &clientState);
    ASSERT_TRUE(waitFor([] { return runningSetups() == 0; }));
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(PluginHost, ALibraryStaysMappedUntilItsSetupReturns) {
    ASSERT_TRUE(load("tp_reader"));
    setText(&ClientState::nick, "anna");
    agentSetup(AgentList.front());
    int* stop = pluginData<int>("tp_reader.so", "reader_stop");
    int* done = pluginData<int>("tp_reader.so", "reader_done");
    ASSERT_TRUE(stop && done);

    agentDestroy(AgentList.front());  // the user switched it off meanwhile
    EXPECT_TRUE(AgentList.empty());
    EXPECT_TRUE(pluginMapped("tp_reader.so"));
    __atomic_store_n(stop, 1, __ATOMIC_SEQ_CST);
    // No events while reading the plug-in's variable: the library is
    // released by a job on this thread, which must not run between the
    // thread's last write and our read.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (__atomic_load_n(done, __ATOMIC_SEQ_CST) != 1 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(__atomic_load_n(done, __ATOMIC_SEQ_CST), 1);
    EXPECT_TRUE(pluginMapped("tp_reader.so"));
    ASSERT_TRUE(waitFor([] { return runningSetups() == 0; }));
    EXPECT_TRUE(waitFor([] { return !pluginMapped("tp_reader.so"); }));
}

TEST_F(PluginHost, ActivePluginsKeepsOnlyWhatLoaded) {
    dir.add("tp_a");
    dir.add("tp_b");
    dir.write("plugins/junk.so", "junk");
    dir.write("prefs.ini",
              "[General]\r\nprofile = anna\r\n"
              "activePlugins = tp_b.so,missing.so,junk.so,tp_a.so,tp_b.so\r\n");
    loadSettings();
    EXPECT_EQ(agentNames(), (std::vector<std::string>{"tp_b.so", "tp_a.so", "tp_b.so"}));
    EXPECT_EQ(runProcessTOut(""), "BAB");
    ASSERT_TRUE(saveSettings());
    EXPECT_EQ(dir.read("prefs.ini"),
              "[General]\r\nprofile = anna\r\nactivePlugins = tp_b.so,tp_a.so,tp_b.so\r\n");
}

TEST_F(PluginHost, ThePluginFolderListsLibraryFilesOnly) {
    dir.add("tp_a");
    dir.write("plugins/readme.txt", "");
    dir.write("plugins/.hidden.so", "");
    dir.write("plugins/b.so", "");
    dir.write("plugins/b.so.bak", "");
    std::vector<std::string> files = listPluginFiles(kPluginFolder);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"b.so", "tp_a.so"}));
    EXPECT_TRUE(listPluginFiles("no-such-folder").empty());
}

// The command poll, as one pass of the main loop sends it to the server.
class CommandPoll : public PluginHost {
  protected:
    void SetUp() override {
        PluginHost::SetUp();
        platform::initNetwork();
        ASSERT_TRUE(session().connect("127.0.0.1", server.port()));
        ASSERT_TRUE(server.accept());
        session().restartKeepAlive();
        // One pass each, whether or not it has anything to do: an idle pass
        // polls instead of waiting for the keep-alive (IdleLoop waits).
        kavel::test::setService(&kavel::platform::Services::sleep, [](uint32_t) {});
    }
    void TearDown() override {
        session().disconnect();
        PluginHost::TearDown();
    }
    std::string passAndRead() {
        mainLoopPass();
        return server.read(100);
    }
    kavel_test::ScriptServer server;
};

TEST_F(CommandPoll, APluginsRequestSendsItsCommandAndACarriageReturn) {
    ASSERT_TRUE(load("tp_command"));
    EXPECT_EQ(passAndRead(), "");  // nobody asked yet
    EXPECT_EQ(runProcessTOut("/ask"), "/ask");
    EXPECT_TRUE(hasOption(opt::PluginCommandRequest));
    EXPECT_EQ(passAndRead(), "LEAVE lobby\r");
    EXPECT_FALSE(hasOption(opt::PluginCommandRequest));
    EXPECT_EQ(passAndRead(), "");
}

TEST_F(CommandPoll, CommandsOfSeveralPluginsLeaveInOneWrite) {
    ASSERT_TRUE(load("tp_command"));
    ASSERT_TRUE(loadPlugin("plugins/tp_command.so"));
    setOptionBits(opt::PluginCommandRequest);
    EXPECT_EQ(passAndRead(), "LEAVE lobby|LEAVE lobby\r");
}

TEST_F(CommandPoll, AOneCharacterResultSendsAnEmptyLine) {
    ASSERT_TRUE(load("tp_single"));
    setOptionBits(opt::PluginCommandRequest);
    EXPECT_EQ(passAndRead(), "\r");
}

TEST_F(CommandPoll, TheExamplePluginWorksAsItsCommentSays) {
    ASSERT_TRUE(loadPlugin("plugins/" + dir.add(EXAMPLE_SO)));
    EXPECT_EQ(runProcessTOut("/zeit").rfind("Es ist ", 0), 0u);
    EXPECT_EQ(runProcessTOut("hallo"), "hallo");
    EXPECT_EQ(runProcessTOut("/raeume"), "");
    EXPECT_EQ(passAndRead(), "ROOMLIST\r");
    EXPECT_EQ(runProcessRCmd("CHAT a b"), "CHAT a b");
}

TEST_F(CommandPoll, WithoutAgentsTheRequestIsClearedAndNothingSent) {
    setOptionBits(opt::PluginCommandRequest | opt::Sound);
    EXPECT_EQ(passAndRead(), "");
    EXPECT_EQ(options(), opt::Sound);
}

// The connected loop with nothing to do waits; what it must not miss while
// waiting ends the wait by itself. A watchdog wakes a wait nothing ended, so
// a missed deadline fails instead of hanging.
class IdleLoop : public CommandPoll {
  protected:
    void SetUp() override {
        CommandPoll::SetUp();
        kavel::test::setService(&kavel::platform::Services::sleep, nullptr);
    }
    // Runs passes under the watchdog.
    void watched(const std::function<void()>& passes) {
        std::atomic<bool> done{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 500 && !done; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!done) {
                watchdogWoke = true;
                platform::wakeMainLoop();
            }
        });
        passes();
        done = true;
        watchdog.join();
    }
    std::atomic<bool> watchdogWoke{false};
};

TEST_F(IdleLoop, TheKeepAliveProbeEndsTheWait) {
    setText(&ClientState::nick, "anna");
    // The period began nearly thirty seconds ago.
    const uint32_t now = platform::tickCount();
    kavel::test::setService(&kavel::platform::Services::ticks,
                            [now] { return now - KeepAliveInterval + 20; });
    session().restartKeepAlive();
    kavel::test::setService(&kavel::platform::Services::ticks, nullptr);
    // The server answers the probe, as any does; the answer ends the wait
    // of the pass that sent it.
    std::thread peer([this] {
        if (server.readUntil("P\r", 3000)) server.send("x\r");
    });
    watched([] {
        mainLoopPass();  // waits for the keep-alive to fall due
        mainLoopPass();  // sends the probe
    });
    peer.join();
    EXPECT_EQ(server.received(), "DIRECT anna P\r");
    EXPECT_FALSE(watchdogWoke);
}

TEST_F(IdleLoop, ARequestFromAPluginsOwnThreadIsServedWhileTheLoopWaits) {
    ASSERT_TRUE(load("tp_command"));
    std::thread own([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        setOptionBits(opt::PluginCommandRequest);
    });
    std::string sent;
    watched([&] {
        for (int i = 0; i < 20 && sent.empty(); ++i) {
            mainLoopPass();
            sent = server.read(50);
        }
    });
    own.join();
    EXPECT_EQ(sent, "LEAVE lobby\r");
    EXPECT_FALSE(watchdogWoke);
}

}  // namespace
}  // namespace kavel::testing
