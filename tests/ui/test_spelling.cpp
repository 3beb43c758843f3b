// Spell checking of a room's input line: which parts of a line are words,
// the marks on a real line, the context menu, the personal word list across
// a restart, and a machine without the dictionary.
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <filesystem>
#include <memory>

#include "common/reset.h"
#include "desktop/input_line.h"
#include "desktop/spell.h"
#include "support/file_io.h"
#include "support/qt_wait.h"
#include "support/room_window.h"
#include "support/work_folder.h"
#include "ui/room_fixture.h"
#include "ui/spelling_words.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace kavel::testing {
namespace {

using platform::WordSpan;

// The words as text, so a failure reads as a sentence.
std::vector<std::string> words(const std::string& line, const IsUserName& isName = {}) {
    std::vector<std::string> out;
    for (const WordSpan& w : wordsToCheck(line, isName))
        out.push_back(line.substr(w.start, w.length));
    return out;
}

TEST(SpellingWords, LinksSmiliesMarkersAndNamesAreNoWords) {
    const auto anna = [](std::string_view w) { return w == "anna"; };
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"Hallo Welt", {"Hallo", "Welt"}},
        {"  zwei  Leerzeichen ", {"zwei", "Leerzeichen"}},
        {"siehe http://example.org/seite dort", {"siehe", "dort"}},
        {"www.heise.de und ftp.gnu.org", {"und"}},
        {"lol :D super :p ;P", {"lol", "super", "P"}},  // ";P" is no smiley
        {"Ende.Danach gut:)", {"Ende", "Danach", "gut"}},
        {"[bfett b] und [Ikursiv I]", {"fett", "und", "kursiv"}},
        {"[c=FF0000rot", {"rot"}},
        {"/me winkt", {"winkt"}},
        {"/cmd ROOMLIST", {}},
        {"anna: hallo @anna, du", {"hallo", "du"}},
        {"E-Mail Geht's", {"E-Mail", "Geht's"}},
        {"abc123 x2 Straße", {"Straße"}},
        {"Gr\xFC\xDF"
         "e",
         {"Gr\xFC\xDF"
          "e"}},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(words(line, anna), expected) << line;
}

class SpellingTest : public RoomTest {
  protected:
    ChatRoom* joined() {
        ChatRoom* room = newChatRoom("lobby");
        roomAddUser(room, "anna");
        roomAddUser(room, "Xqzlbrt");
        return room;
    }
    static platform::InputLine* line(ChatRoom* room) {
        return dynamic_cast<platform::InputLine*>(
            platform::controlWidget(test::roomWindow(room).input));
    }
    static std::vector<std::string> marked(ChatRoom* room) {
        const std::string text = platform::controlText(test::roomWindow(room).input);
        std::vector<std::string> out;
        for (const WordSpan& w : platform::misspeltWords(test::roomWindow(room).input))
            out.push_back(text.substr(w.start, w.length));
        return out;
    }
    static void setLine(ChatRoom* room, const std::string& text) {
        platform::setControlText(test::roomWindow(room).input, text);
    }
    // The context menu over the first character of word.
    static std::unique_ptr<QMenu> menuOn(ChatRoom* room, const std::string& word) {
        QLineEdit* edit = line(room);
        const int at =
            static_cast<int>(platform::controlText(test::roomWindow(room).input).find(word));
        edit->setCursorPosition(at + 1);
        const QPoint point = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        return std::unique_ptr<QMenu>(line(room)->createSpellingMenu(point));
    }
    static QAction* action(QMenu& menu, const std::string& text) {
        for (QAction* a : menu.actions())
            if (a->text() == platform::toQString(text)) return a;
        return nullptr;
    }

    test::WorkFolder folder;
};

TEST_F(SpellingTest, AMisspeltWordIsMarkedNamesLinksAndSmiliesAreNot) {
    ASSERT_TRUE(platform::spellingAvailable()) << platform::spellingUnavailableReason();
    ChatRoom* room = joined();
    setLine(room, "Das ist ein Fehlr hier");
    EXPECT_THAT(marked(room), ElementsAre("Fehlr"));
    setLine(room,
            "Xqzlbrt: sieh http://xqzlbrt.example/wlet :P und XQZLBRT Stra\xDF"
            "e");
    EXPECT_THAT(marked(room), IsEmpty());
    setLine(room,
            "Wlet und Maedchen, gr\xFC\xDF"
            "e");
    EXPECT_THAT(marked(room), ElementsAre("Wlet", "Maedchen"));
}

// Red pixels in the line as drawn: the wavy underline is the only red.
int redPixels(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            // Drawn smoothed: a red blended into the white background.
            if (c.red() > 150 && c.red() - c.green() > 60 && c.red() - c.blue() > 60) ++red;
        }
    return red;
}

TEST_F(SpellingTest, TheMarkIsDrawnAndStaysWhileTypingElsewhere) {
    ChatRoom* room = joined();
    setLine(room, "Fehlr");
    line(room)->setCursorPosition(0);
    const int drawn = redPixels(line(room));
    EXPECT_GT(drawn, 5);
    setLine(room, "Fehler");
    EXPECT_EQ(redPixels(line(room)), 0);
    // Keys typed after the word: the mark keeps its place.
    setLine(room, "Fehlr");
    line(room)->setFocus();
    line(room)->end(false);
    for (const char* key : {" ", "u", "n", "d"}) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromLatin1(key));
        QApplication::sendEvent(line(room), &press);
    }
    EXPECT_EQ(platform::controlText(test::roomWindow(room).input), "Fehlr und");
    EXPECT_THAT(marked(room), ElementsAre("Fehlr"));
    EXPECT_GE(redPixels(line(room)), drawn);
}

TEST_F(SpellingTest, TheWordAtTheCaretWaitsWhileTyping) {
    ChatRoom* room = joined();
    line(room)->setFocus();
    setLine(room, "ein Fehlr");
    EXPECT_THAT(marked(room), IsEmpty());
    line(room)->setCursorPosition(0);
    EXPECT_THAT(marked(room), ElementsAre("Fehlr"));
}

TEST_F(SpellingTest, ASuggestionFromTheMenuReplacesTheWord) {
    ChatRoom* room = joined();
    setLine(room, "ein Fehlr hier");
    std::unique_ptr<QMenu> menu = menuOn(room, "Fehlr");
    QAction* fix = action(*menu, "Fehler");
    ASSERT_NE(fix, nullptr);
    fix->trigger();
    EXPECT_EQ(platform::controlText(test::roomWindow(room).input), "ein Fehler hier");
    EXPECT_THAT(marked(room), IsEmpty());
    // A correct word gets Qt's menu only.
    EXPECT_EQ(action(*menuOn(room, "hier"), "Zum W\xF6rterbuch hinzuf\xFCgen"), nullptr);
}

TEST_F(SpellingTest, ThePersonalListIsKeptAcrossARestart) {
    ChatRoom* room = joined();
    setLine(room, "ein Wlet und Krzbl");
    std::unique_ptr<QMenu> menu = menuOn(room, "Wlet");
    QAction* add = action(*menu, "Zum W\xF6rterbuch hinzuf\xFCgen");
    ASSERT_NE(add, nullptr);
    add->trigger();
    EXPECT_THAT(marked(room), ElementsAre("Krzbl"));
    EXPECT_EQ(test::slurp((folder.path() / platform::kPersonalWordsFile).string()), "Wlet\r\n");

    // The next start: everything of this run is forgotten, the file is not.
    menu.reset();  // it belongs to the line
    TearDown();
    resetAll();
    SetUp();
    room = joined();
    setLine(room, "ein Wlet und Krzbl");
    EXPECT_THAT(marked(room), ElementsAre("Krzbl"));
    EXPECT_TRUE(platform::addToPersonalWords("Krzbl"));
    EXPECT_THAT(marked(room), IsEmpty());
    EXPECT_EQ(test::slurp((folder.path() / platform::kPersonalWordsFile).string()),
              "Wlet\r\nKrzbl\r\n");
}

TEST_F(SpellingTest, TheOptionTurnsMarksOffAndOn) {
    ChatRoom* room = joined();
    setLine(room, "ein Fehlr hier");
    platform::setSpellingWanted(false);
    EXPECT_THAT(marked(room), IsEmpty());
    EXPECT_THAT(action(*menuOn(room, "Fehlr"), "Fehler"), nullptr);
    platform::setSpellingWanted(true);
    EXPECT_THAT(marked(room), ElementsAre("Fehlr"));
}

// A dictionary of two words in the given encoding, in its own folder.
std::string tinyDictionary(const std::filesystem::path& folder, const std::string& encoding,
                           const std::string& umlautWord) {
    const std::filesystem::path dir = folder / encoding;
    std::filesystem::create_directories(dir);
    test::spit((dir / "de_DE.aff").string(), "SET " + encoding + "\n");
    test::spit((dir / "de_DE.dic").string(), "2\nHaus\n" + umlautWord + "\n");
    return dir.string();
}

TEST_F(SpellingTest, WordsAreConvertedToTheDictionarysEncoding) {
    const std::string latin1 =
        "Gr\xFC\xDF"
        "e";  // the same bytes as Windows-1252
    test::setService(&platform::Services::dictionaryFolder,
                     tinyDictionary(folder.path(), "ISO8859-1", latin1));
    ChatRoom* room = joined();
    setLine(room, "Haus " + latin1 + " Gruesse");
    EXPECT_THAT(marked(room), ElementsAre("Gruesse"));
    EXPECT_TRUE(platform::addToPersonalWords("Gruesse"));
    EXPECT_THAT(marked(room), IsEmpty());
}

TEST_F(SpellingTest, ADictionaryInAnUnknownEncodingIsNotUsed) {
    test::setService(&platform::Services::dictionaryFolder,
                     tinyDictionary(folder.path(), "NONSENSE-9", "Haus"));
    EXPECT_FALSE(platform::spellingAvailable());
    EXPECT_THAT(platform::spellingUnavailableReason(), ::testing::HasSubstr("NONSENSE-9"));
}

TEST_F(SpellingTest, WithoutTheDictionaryTheLineWorksAsBefore) {
    test::setService(&platform::Services::dictionaryFolder,
                     (folder.path() / "kein-woerterbuch").string());
    ChatRoom* room = joined();
    setLine(room, "ein Fehlr hier");
    EXPECT_THAT(marked(room), IsEmpty());
    EXPECT_FALSE(platform::spellingAvailable());
    EXPECT_THAT(platform::spellingUnavailableReason(), ::testing::HasSubstr("hunspell-de-de"));
    EXPECT_EQ(action(*menuOn(room, "Fehlr"), "Fehler"), nullptr);
    EXPECT_FALSE(platform::addToPersonalWords("Fehlr"));
    menu(room, 111);
    EXPECT_EQ(sent(),
              "CHAT lobby \x0b"
              "CFF0000ein Fehlr hier\r");
}

}  // namespace
}  // namespace kavel::testing
