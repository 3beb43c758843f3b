// The client's main thread against plug-in threads: the rule editor saving
// on Setup's thread while ProcessTOut runs, a Setup thread reading the nick
// while the user is renamed, and the request bit set from another thread.
// `make tsan` runs these under ThreadSanitizer.
#include <gtest/gtest.h>
#include <kavel/plugin.h>

#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <thread>

#include "common/data.h"
#include "objects/CLASS_Agents.h"
#include "objects/agent_chain.h"
#include "support/plugin_folder.h"
#include "support/qt_wait.h"

namespace kavel::testing {
namespace {

using test::named;
using test::pluginData;
using test::PluginFolder;
using test::pumpUntil;
const std::string VT = "\x0b";

// The heap blocks of one size made with new[] (as texts are kept) while a
// MarkedBlocks is alive, and whether they were given back: what a text
// costs, seen from outside.
constexpr std::size_t kMarkedSize = 4001;  // 4000 characters and the NUL
std::atomic<bool> marking{false};
std::mutex markedLock;
std::array<void*, 64> marked{};

class MarkedBlocks {
  public:
    MarkedBlocks() {
        marked.fill(nullptr);
        marking = true;
    }
    ~MarkedBlocks() { marking = false; }
    MarkedBlocks(const MarkedBlocks&) = delete;
    MarkedBlocks& operator=(const MarkedBlocks&) = delete;
    int live() const {
        const std::lock_guard<std::mutex> hold(markedLock);
        return static_cast<int>(std::count_if(marked.begin(), marked.end(),
                                              [](const void* p) { return p != nullptr; }));
    }
};

QWidget* editorWindow() {
    return test::visibleWindow("KAVEL > Makro Editor");
}

class PluginThreads : public ::testing::Test {
  protected:
    void SetUp() override { loadUiTexts(); }
    void TearDown() override {
        unloadAllAgents();
        EXPECT_TRUE(pumpUntil([] { return runningSetups() == 0; }));
    }
    PluginFolder dir;
};

TEST_F(PluginThreads, TheEditorSavesOnSetupsThreadWhileTheMainThreadRewrites) {
    dir.add(TAUSCHWERK_SO, "Tauschwerk.so");
    dir.write("plugins/macro.dat", "hallo" + VT + "Hi");
    ASSERT_TRUE(loadPlugin("plugins/Tauschwerk.so"));
    clientState.textColour = 0x0000FF;

    const std::string before = "Hi[c=FF0000 welt";
    for (int round = 0; round < 3; ++round) {
        agentSetup(AgentList.front());
        QWidget* window = nullptr;
        ASSERT_TRUE(pumpUntil([&] { return (window = editorWindow()) != nullptr; }));
        named<QLineEdit>(window, "Wort")->setText(QString("w%1").arg(round));
        named<QLineEdit>(window, "Ersetzung")->setText("x");
        named<QPushButton>(window, QString::fromLatin1("Regel hinzuf\xFCgen"))->click();
        named<QPushButton>(window, "Speichern und Ende")->click();
        // The save lands on Setup's thread at a moment of its choosing;
        // the main thread keeps sending lines meanwhile.
        std::string line;
        ASSERT_TRUE(pumpUntil([&] {
            line = runProcessTOut("hallo welt w" + std::to_string(round));
            return runningSetups() == 0 && line != before + " w" + std::to_string(round);
        }));
        EXPECT_EQ(line, before + " x[c=FF0000");
    }
}

TEST_F(PluginThreads, ASetupThreadReadsTheNickWhileTheUserIsRenamed) {
    dir.add("tp_reader");
    ASSERT_TRUE(loadPlugin("plugins/tp_reader.so"));
    setText(&ClientState::nick, "anna");
    agentSetup(AgentList.front());
    int* stop = pluginData<int>("tp_reader.so", "reader_stop");
    int* done = pluginData<int>("tp_reader.so", "reader_done");
    auto* reads = pluginData<unsigned long>("tp_reader.so", "reader_reads");
    ASSERT_TRUE(stop && done && reads);
    // Renaming starts once the reader is reading.
    ASSERT_TRUE(pumpUntil([&] { return __atomic_load_n(reads, __ATOMIC_SEQ_CST) > 0; }));

    const char* names[] = {"anna", "anna|weg", "anna|essen", "bob"};
    std::set<const char*> handedOut{clientState.nick};
    for (int i = 0; i < 20000; ++i) {
        setText(&ClientState::nick, names[i % 4]);
        handedOut.insert(clientState.nick);
    }
    __atomic_store_n(stop, 1, __ATOMIC_SEQ_CST);
    ASSERT_TRUE(pumpUntil([&] { return __atomic_load_n(done, __ATOMIC_SEQ_CST) == 1; }));
    // Twenty thousand renames among four names hand plug-ins four texts, not
    // more: a name that comes back is the text it was.
    EXPECT_EQ(handedOut.size(), 4u);
}

TEST_F(PluginThreads, ARequestSetFromAnotherThreadIsNeverLost) {
    constexpr int kRequests = 2000;
    std::thread plugin([] {
        for (int i = 0; i < kRequests; ++i) {
            kavel_request_command(&clientState);
            while (kavel_options(&clientState) & KAVEL_PLUGIN_COMMAND_REQUEST)
                std::this_thread::yield();
        }
    });
    int taken = 0;
    while (taken < kRequests) {
        // The main thread changes other bits of the same word meanwhile.
        setOptionBits(opt::Sound);
        clearOptionBits(opt::Sound);
        if (takeOptionBits(opt::PluginCommandRequest)) ++taken;
    }
    plugin.join();
    EXPECT_EQ(taken, kRequests);
    EXPECT_EQ(options(), 0);
}

TEST_F(PluginThreads, AReplacedTextStaysReadableAndComesBackAsTheSameBuffer) {
    setText(&ClientState::nick, "anna");
    const char* first = clientState.nick;
    setText(&ClientState::nick, "anna|weg");
    EXPECT_STREQ(first, "anna");  // a reader holding it still sees its text
    setText(&ClientState::nick, "anna");
    EXPECT_EQ(clientState.nick, first);
    EXPECT_STREQ(KAVEL_TEXT(&clientState, nick), "anna");
    EXPECT_STREQ(KAVEL_TEXT(&clientState, lastLogin), "");

    // Once nothing can hold them any more, the old texts go; the current
    // ones stay.
    setText(&ClientState::lastLogin, "01.02.03");
    setText(&ClientState::lastLogin, "04.05.06");
    releaseRetiredTexts();
    EXPECT_STREQ(clientState.nick, "anna");
    EXPECT_STREQ(KAVEL_TEXT(&clientState, lastLogin), "04.05.06");

    // They are given back to the heap, not merely forgotten.
    const MarkedBlocks blocks;
    for (char c = 'a'; c <= 'z'; ++c)
        setText(&ClientState::lastLogin, std::string(kMarkedSize - 1, c));
    EXPECT_EQ(blocks.live(), 26);
    releaseRetiredTexts();
    EXPECT_EQ(blocks.live(), 1);  // the current one
    EXPECT_EQ(text(clientState.lastLogin), std::string(kMarkedSize - 1, 'z'));
}

}  // namespace
}  // namespace kavel::testing

// Every new[] and delete[] of this program, so that MarkedBlocks sees them;
// otherwise the ordinary heap.
void* operator new[](std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    using namespace kavel::testing;
    if (size == kMarkedSize && marking) {
        const std::lock_guard<std::mutex> hold(markedLock);
        if (const auto free = std::find(marked.begin(), marked.end(), nullptr);
            free != marked.end())
            *free = p;
    }
    return p;
}

void operator delete[](void* p) noexcept {
    using namespace kavel::testing;
    if (p && marking) {
        const std::lock_guard<std::mutex> hold(markedLock);
        std::replace(marked.begin(), marked.end(), p, static_cast<void*>(nullptr));
    }
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    operator delete[](p);
}
