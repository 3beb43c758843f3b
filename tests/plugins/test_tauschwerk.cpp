// Tauschwerk.so as the client loads it: macro.dat read at load and written
// at unload, ProcessTOut on real bytes, and the rule editor driven
// offscreen through Setup.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <thread>

#include "common/data.h"
#include "desktop/encoding.h"
#include "objects/CLASS_Agents.h"
#include "objects/agent_chain.h"
#include "support/plugin_folder.h"
#include "support/qt_wait.h"

namespace kavel::testing {
namespace {

using test::PluginFolder;
using test::pumpUntil;
const std::string VT = "\x0b";

class Tauschwerk : public ::testing::Test {
  protected:
    void SetUp() override {
        loadUiTexts();
        dir.add(TAUSCHWERK_SO, "Tauschwerk.so");
        clientState.textColour = 0x0000FF;  // pure red
    }
    void TearDown() override {
        unloadAllAgents();
        // A Setup thread's hold on the library goes back through the event
        // queue; the next test must get a fresh copy, not this one.
        EXPECT_TRUE(pumpUntil([] { return !mapped(); }));
    }
    static bool mapped() { return test::pluginMapped("Tauschwerk.so"); }
    Agent* load() { return loadPlugin("plugins/Tauschwerk.so"); }
    void unload() {
        unloadAllAgents();
        ASSERT_TRUE(pumpUntil([] { return !mapped(); }));
    }

    PluginFolder dir;
};

struct RewriteCase {
    const char* name;
    std::string file;
    std::string text;
    std::string expected;
};

TEST_F(Tauschwerk, RewritesWholeWordsOnly) {
    const std::string hallo = "hallo" + VT + "Hi";
    const RewriteCase cases[] = {
        {"plain", hallo, "hallo welt", "Hi[c=FF0000 welt"},
        {"every occurrence", hallo, "hallo hallo", "Hi[c=FF0000 Hi[c=FF0000"},
        {"comma after", hallo, "hallo, welt", "Hi[c=FF0000, welt"},
        {"in parentheses", hallo, "(hallo)", "(Hi[c=FF0000)"},
        {"part of a word", hallo, "hallowelt hallo-welt Hallo", "hallowelt hallo-welt Hallo"},
        {"after a colon", hallo, "x:hallo x;hallo x.hallo", "x:hallo x;hallo x.hallo"},
        {"after bold markup", hallo, "[bhallo", "[bhallo"},
        {"command line", hallo, "/cmd hallo", "/cmd Hi"},
        {"replaced into a command", "hallo" + VT + "/cmd kick", "hallo du", "/cmd kick du"},
        {"empty text", hallo, "", ""},
        {"first rule wins", "hallo" + VT + "A" + VT + "hallo" + VT + "B", "hallo", "A[c=FF0000"},
        {"no replacement", "hallo", "hallo x", "[c=FF0000 x"},
        {"umlauts belong to words", "sch\xF6n" + VT + "toll", "sch\xF6n! sch\xF6ner",
         "toll[c=FF0000! sch\xF6ner"},
        {"first line only", hallo + "\r\nwelt" + VT + "World", "hallo welt", "Hi[c=FF0000 welt"},
        {"empty first word", VT + hallo, "hallo", "hallo"},
        {"empty file", "", "hallo", "hallo"},
        {"URL parts are words", "www" + VT + "W", "www.hallo.de", "W[c=FF0000.hallo.de"},
    };
    for (const RewriteCase& c : cases) {
        dir.write("plugins/macro.dat", c.file);
        ASSERT_TRUE(load()) << c.name;
        EXPECT_EQ(runProcessTOut(c.text), c.expected) << c.name;
        unload();
    }
}

TEST_F(Tauschwerk, WithoutAFileTheOutputIsTheInputByteForByte) {
    ASSERT_TRUE(load());
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    EXPECT_EQ(runProcessTOut(all), all);
    unload();
    EXPECT_EQ(dir.read("plugins/macro.dat"), "");  // written, empty
}

TEST_F(Tauschwerk, TheColourCodeIsTheUsersTextColour) {
    dir.write("plugins/macro.dat", "a" + VT + "b");
    ASSERT_TRUE(load());
    const std::pair<int32_t, const char*> colours[] = {
        {0x000000, "000000"}, {0x00FF00, "00FF00"}, {0xFF0000, "0000FF"}, {0x563412, "123456"}};
    for (const auto& [colour, hex] : colours) {
        clientState.textColour = colour;
        EXPECT_EQ(runProcessTOut("a"), std::string("b[c=") + hex);
    }
}

TEST_F(Tauschwerk, UnloadWritesWhatWasRead) {
    const std::pair<std::string, std::string> files[] = {
        {"hallo" + VT + "Hi" + VT + "welt" + VT + "World",
         "hallo" + VT + "Hi" + VT + "welt" + VT + "World"},
        {"hallo" + VT + "Hi\r\nrest", "hallo" + VT + "Hi"},
        {"hallo" + VT + "Hi" + VT, "hallo" + VT + "Hi"},
        {"hallo", "hallo" + VT},
        {VT + "hallo" + VT + "Hi", ""},
        {"", ""},
        {std::string("a\0b", 3), "a" + VT},
    };
    for (const auto& [before, after] : files) {
        dir.write("plugins/macro.dat", before);
        ASSERT_TRUE(load());
        unload();
        EXPECT_EQ(dir.read("plugins/macro.dat"), after);
    }
}

TEST_F(Tauschwerk, TheFileIsReplacedByRenameNotOverwritten) {
    dir.write("plugins/macro.dat", "hallo" + VT + "Hi\r\nzweite Zeile");
    ASSERT_EQ(::link("plugins/macro.dat", "plugins/old.dat"), 0);
    ASSERT_TRUE(load());
    unload();
    EXPECT_EQ(dir.read("plugins/macro.dat"), "hallo" + VT + "Hi");
    // Written in place, the old file would show the new content too.
    EXPECT_EQ(dir.read("plugins/old.dat"), "hallo" + VT + "Hi\r\nzweite Zeile");
    // Nothing temporary is left behind.
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator("plugins"))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"Tauschwerk.so", "macro.dat", "old.dat"}));
}

// --- the rule editor ---

QWidget* editorWindow() {
    return test::visibleWindow("KAVEL > Makro Editor");
}

template <typename T>
T* named(QWidget* window, const std::string& name) {
    return test::named<T>(window, platform::toQString(name));
}

struct Fragment {
    std::string text;
    bool bold;
    bool italic;
    bool underline;
    QColor colour;
};

std::vector<Fragment> fragments(QTextEdit* edit) {
    std::vector<Fragment> out;
    for (QTextBlock b = edit->document()->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const QTextCharFormat c = f.charFormat();
            out.push_back({platform::fromQString(f.text()), c.fontWeight() == QFont::Bold,
                           c.fontItalic(), c.fontUnderline(), c.foreground().color()});
        }
    }
    return out;
}

class RuleEditor : public Tauschwerk {
  protected:
    void SetUp() override {
        Tauschwerk::SetUp();
        owner = new QWidget;
        owner->show();
        clientState.mainWindow = owner;
    }
    void TearDown() override {
        if (QWidget* e = editorWindow()) e->close();
        pumpUntil([] { return runningSetups() == 0; });
        delete owner;
        Tauschwerk::TearDown();
    }

    QWidget* open() {
        agentSetup(AgentList.front());
        QWidget* window = nullptr;
        pumpUntil([&] { return (window = editorWindow()) != nullptr; });
        return window;
    }
    void type(QLineEdit* field, const QString& text) {
        for (QChar ch : text) {
            const auto key = static_cast<int>(ch.toUpper().unicode());
            QKeyEvent press(QEvent::KeyPress, key,
                            ch.isUpper() ? Qt::ShiftModifier : Qt::NoModifier, QString(ch));
            QApplication::sendEvent(field, &press);
        }
    }
    void press(QWidget* window, const std::string& button) {
        auto* b = named<QPushButton>(window, button);
        ASSERT_NE(b, nullptr) << button;
        b->click();
    }
    QTreeWidget* list(QWidget* window) { return window->findChild<QTreeWidget*>(); }
    std::vector<std::pair<std::string, std::string>> rows(QWidget* window) {
        std::vector<std::pair<std::string, std::string>> out;
        QTreeWidget* l = list(window);
        for (int i = 0; i < l->topLevelItemCount(); ++i)
            out.emplace_back(platform::fromQString(l->topLevelItem(i)->text(0)),
                             platform::fromQString(l->topLevelItem(i)->text(1)));
        return out;
    }
    void selectRow(QWidget* window, int row) {
        QTreeWidget* l = list(window);
        l->setCurrentItem(l->topLevelItem(row));
    }
    bool finished() {
        return pumpUntil([] { return !editorWindow() && runningSetups() == 0; });
    }

    QWidget* owner = nullptr;
};

using Rows = std::vector<std::pair<std::string, std::string>>;

TEST_F(RuleEditor, OpensWithEveryControlAndTheCurrentRules) {
    dir.write("plugins/macro.dat", "hallo" + VT + "Hi" + VT + "welt" + VT + "World");
    ASSERT_TRUE(load());
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(484, 363));
    EXPECT_EQ(window->parentWidget(), owner);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(rows(window), (Rows{{"hallo", "Hi"}, {"welt", "World"}}));
    for (const char* name : {"Regel hinzuf\xFCgen", "Regel ersetzen",
                             "Ausgew\xE4hlte Regel l\xF6schen", "Abbrechen", "Speichern und Ende"})
        EXPECT_NE(named<QPushButton>(window, name), nullptr) << name;
    EXPECT_NE(named<QLineEdit>(window, "Wort"), nullptr);
    EXPECT_NE(named<QLineEdit>(window, "Ersetzung"), nullptr);
    EXPECT_NE(named<QTextEdit>(window, "Vorschau"), nullptr);
    QTreeWidget* l = list(window);
    EXPECT_EQ(l->headerItem()->text(0), "Wort");
    EXPECT_EQ(l->headerItem()->text(1), "Ersetzung");
    EXPECT_EQ(l->columnWidth(0), 55);
    EXPECT_EQ(l->columnWidth(1), 90);
}

TEST_F(RuleEditor, AddReplaceDeleteAndSave) {
    dir.write("plugins/macro.dat", "alt" + VT + "old");
    ASSERT_TRUE(load());
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    auto* word = named<QLineEdit>(window, "Wort");
    auto* replacement = named<QLineEdit>(window, "Ersetzung");

    type(word, "Hallo");
    EXPECT_EQ(word->text(), "hallo");  // typed letters become lower case
    press(window, "Regel hinzuf\xFCgen");
    EXPECT_EQ(rows(window), (Rows{{"alt", "old"}}));  // no replacement yet
    replacement->setText("Hi");
    press(window, "Regel hinzuf\xFCgen");
    press(window, "Regel hinzuf\xFCgen");  // duplicates are allowed
    EXPECT_EQ(rows(window), (Rows{{"alt", "old"}, {"hallo", "Hi"}, {"hallo", "Hi"}}));

    press(window, "Regel ersetzen");  // nothing selected: nothing happens
    selectRow(window, 0);
    word->setText("welt");
    replacement->setText("World");
    press(window, "Regel ersetzen");
    selectRow(window, 2);
    press(window, "Ausgew\xE4hlte Regel l\xF6schen");
    EXPECT_EQ(rows(window), (Rows{{"welt", "World"}, {"hallo", "Hi"}}));

    // A double click brings a row back into the fields.
    QTreeWidget* l = list(window);
    emit l->itemDoubleClicked(l->topLevelItem(1), 0);
    EXPECT_EQ(word->text(), "hallo");
    EXPECT_EQ(replacement->text(), "Hi");

    EXPECT_EQ(runProcessTOut("alt hallo"), "old[c=FF0000 hallo");  // not saved yet
    press(window, "Speichern und Ende");
    ASSERT_TRUE(finished());
    EXPECT_EQ(runProcessTOut("alt hallo welt"), "alt Hi[c=FF0000 World[c=FF0000");
    unload();
    EXPECT_EQ(dir.read("plugins/macro.dat"), "welt" + VT + "World" + VT + "hallo" + VT + "Hi");
}

TEST_F(RuleEditor, CancelAndTheCloseRequestKeepTheRules) {
    dir.write("plugins/macro.dat", "hallo" + VT + "Hi");
    ASSERT_TRUE(load());
    for (bool viaClose : {false, true}) {
        QWidget* window = open();
        ASSERT_NE(window, nullptr);
        selectRow(window, 0);
        press(window, "Ausgew\xE4hlte Regel l\xF6schen");
        EXPECT_TRUE(rows(window).empty());
        if (viaClose)
            window->close();
        else
            press(window, "Abbrechen");
        ASSERT_TRUE(finished());
        EXPECT_EQ(runProcessTOut("hallo"), "Hi[c=FF0000");
    }
}

TEST_F(RuleEditor, SavingAnEmptyListEmptiesTheRulesAndTheFile) {
    dir.write("plugins/macro.dat", "hallo" + VT + "Hi");
    ASSERT_TRUE(load());
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    selectRow(window, 0);
    press(window, "Ausgew\xE4hlte Regel l\xF6schen");
    press(window, "Speichern und Ende");
    ASSERT_TRUE(finished());
    EXPECT_EQ(runProcessTOut("hallo"), "hallo");
    unload();
    EXPECT_EQ(dir.read("plugins/macro.dat"), "");
}

TEST_F(RuleEditor, ASecondSetupRaisesTheOpenEditor) {
    ASSERT_TRUE(load());
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    agentSetup(AgentList.front());
    EXPECT_TRUE(pumpUntil([] { return runningSetups() == 1; }));
    EXPECT_EQ(test::visibleWindows("KAVEL > Makro Editor").size(), 1);
    EXPECT_EQ(editorWindow(), window);
}

TEST_F(RuleEditor, AMainWindowAddressThatIsNoWindowIsNotUsed) {
    ASSERT_TRUE(load());
    clientState.mainWindow = reinterpret_cast<void*>(0x1000);
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), nullptr);
}

TEST_F(RuleEditor, ThePreviewShowsAReplacementAsTheChatWould) {
    dir.write("plugins/macro.dat", "a" + VT + "[bfett b] normal" + VT + "b" + VT + "[c=FF0000rot" +
                                       VT + "c" + VT + "www.example.org/x?y=1 [iku" + VT + "d" +
                                       VT + "[c=12 rest");
    ASSERT_TRUE(load());
    QWidget* window = open();
    ASSERT_NE(window, nullptr);
    auto* preview = named<QTextEdit>(window, "Vorschau");
    QTreeWidget* l = list(window);
    auto show = [&](int row) {
        emit l->itemClicked(l->topLevelItem(row), 0);
        return fragments(preview);
    };

    auto f = show(0);
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].text, "fett ");
    EXPECT_TRUE(f[0].bold);
    EXPECT_EQ(f[1].text, " normal");
    EXPECT_FALSE(f[1].bold);

    f = show(1);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].text, "rot");
    EXPECT_EQ(f[0].colour, QColor(255, 0, 0));

    f = show(2);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].text, "www.example.org/x?y=1");
    EXPECT_TRUE(f[0].bold && f[0].underline);
    EXPECT_EQ(f[0].colour, QColor(Qt::black));
    EXPECT_EQ(f[1].text, " ");
    EXPECT_FALSE(f[1].bold || f[1].underline);
    EXPECT_EQ(f[2].text, "ku");
    EXPECT_TRUE(f[2].italic);

    // A hex run shorter than six is swallowed and the colour stays.
    f = show(3);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].text, " rest");
    EXPECT_EQ(f[0].colour, QColor(Qt::black));
    EXPECT_EQ(preview->document()->begin().begin().fragment().charFormat().fontPointSize(), 10);
}

}  // namespace
}  // namespace kavel::testing
