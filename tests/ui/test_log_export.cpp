// Saving a room's log: file names, the plain text and RTF of the view, the
// RTF writer against golden files, and what word processors make of it.
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/file_io.h"
#include "support/local_time.h"
#include "support/room_window.h"
#include "support/services.h"
#include "ui/CLASS_ChatRoom_Paster.h"
#include "ui/GUI_Methods_Display.h"
#include "ui/room_fixture.h"
#include "ui/rtf_writer.h"
#include "ui/view_export.h"

using ::testing::ElementsAre;

namespace kavel::testing {
namespace {

const std::string VT = "\x0b";
using test::at;

TEST(LogFileName, RoomAndLocalTimeWithTheEnding) {
    const std::tm when = at(2026, 12, 7, 21, 30, 5);
    EXPECT_EQ(logFilePath("Lobby", 0, &when), "logs/Lobby_07_12_26__21_30_05.txt");
    EXPECT_EQ(logFilePath("Lobby", 1, &when), "logs/Lobby_07_12_26__21_30_05.rtf");
    // Only the date is a mask.
    EXPECT_EQ(logFilePath("%dd", 0, &when), "logs/%dd_07_12_26__21_30_05.txt");
}

TEST(LogFileName, RoomNamesFromTheServerStayInsideLogs) {
    struct Case {
        std::string name, safe;
    };
    const Case cases[] = {
        {"Lobby", "Lobby"},
        {"Privatchat:bob_anna", "Privatchat:bob_anna"},
        {"a.b", "a.b"},
        {"../../etc/passwd", "______etc_passwd"},
        {"..\\x", "___x"},
        {".hidden", "_hidden"},
        {"a..b", "a__b"},
        {"...", "___"},
        {"x\x01y\x7Fz\r", "x_y_z_"},
        {"M\xFC"
         "nchen",
         "M\xFC"
         "nchen"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(safeFileName(c.name), c.safe) << utf8(c.name);
    EXPECT_EQ(safeFileName(std::string(300, 'r')).size(), 200u);
}

// --- the RTF writer on fixed content ----------------------------------------

ViewRun text(std::string t, int style = 0, int32_t colour = kBlack) {
    ViewRun r;
    r.text = std::move(t);
    r.style = style;
    r.colour = colour;
    return r;
}
ViewRun lineBreak() {
    ViewRun r;
    r.kind = ViewRun::LineBreak;
    return r;
}
ViewRun picture(std::string alt, std::string png) {
    ViewRun r;
    r.kind = ViewRun::Picture;
    r.text = std::move(alt);
    r.width = 15;
    r.height = 15;
    r.png = std::move(png);
    return r;
}

struct GoldenCase {
    const char* name;
    ViewContent content;
};

std::vector<GoldenCase> goldenCases() {
    using namespace textstyle;
    std::vector<GoldenCase> cases;
    cases.push_back(
        {"plain", {kWhite, "Sans Serif", {text("Hallo Welt"), lineBreak(), text("zwei")}}});
    cases.push_back(
        {"styles",
         {kWhite,
          "DejaVu Sans",
          {text("anna: ", Bold, 0x0000FF), text("sch\xF6n ", Italic, 0x00AA00),
           text("www.x.de/a?b={1}", Bold | Underline, 0xAA0000), text(" \\ tab\there"), lineBreak(),
           text("\x80 \xE4\xF6\xFC\xDF", Bold | Italic | Underline, 0x0000FF), lineBreak()}}});
    cases.push_back(
        {"pictures",
         {0x202020,
          "Sans Serif",
          {text("a ", 0, kWhite), picture(":)", std::string("\x89PNG\r\n\x1a\n\0\x01", 10)),
           text(" b", 0, kWhite), picture(";)", ""), lineBreak()}}});
    return cases;
}

std::string goldenPath(const std::string& name) {
    return std::string(KAVEL_TEST_DIR) + "/ui/golden/" + name + ".rtf";
}

TEST(RtfWriter, MatchesTheGoldenFiles) {
    // KAVEL_UPDATE_GOLDEN=1 writes the files anew after a deliberate change.
    const bool update = std::getenv("KAVEL_UPDATE_GOLDEN") != nullptr;
    for (const GoldenCase& c : goldenCases()) {
        const std::string rtf = rtfDocument(c.content);
        if (update) kavel::test::spit(goldenPath(c.name), rtf);
        EXPECT_EQ(rtf, kavel::test::slurp(goldenPath(c.name))) << c.name;
    }
}

TEST(RtfWriter, IsOneBalancedGroupOfAsciiText) {
    for (const GoldenCase& c : goldenCases()) {
        const std::string rtf = rtfDocument(c.content);
        int depth = 0;
        for (std::size_t i = 0; i < rtf.size(); ++i) {
            const auto u = static_cast<unsigned char>(rtf[i]);
            ASSERT_TRUE(u < 0x80 && (u >= 0x20 || rtf[i] == '\n')) << c.name << " at " << i;
            if (rtf[i] == '\\') {
                ++i;  // an escaped brace does not count
                continue;
            }
            if (rtf[i] == '{') ++depth;
            if (rtf[i] == '}') --depth;
            ASSERT_TRUE(depth > 0 || i + 2 >= rtf.size()) << c.name << " closes early at " << i;
        }
        EXPECT_EQ(depth, 0) << c.name;
    }
}

TEST(PlainText, PicturesShowTheirCharacters) {
    const ViewContent c = goldenCases()[2].content;
    EXPECT_EQ(plainText(c), "a :) b;)\r\n");
}

// --- exporting a real room --------------------------------------------------

int runCommand(const std::string& command, std::string* output = nullptr) {
    std::FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!p) return -1;
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int status = ::pclose(p);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTool(const char* name) {
    return runCommand(std::string("command -v ") + name) == 0;
}

class LogExport : public RoomTest {
  protected:
    void SetUp() override {
        RoomTest::SetUp();
        ASSERT_TRUE(folder.isValid());
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(folder.path()));
    }
    void TearDown() override {
        QDir::setCurrent(previous);
        RoomTest::TearDown();
    }

    std::vector<std::string> logs() {
        std::vector<std::string> out;
        if (!std::filesystem::is_directory("logs")) return out;
        for (const auto& e : std::filesystem::directory_iterator("logs"))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string exportOnce(ChatRoom* room, int format) {
        menu(room, format == 1 ? 1 : 0);
        const auto files = logs();
        for (const std::string& f : files)
            if (f.size() > 4 && f.substr(f.size() - 4) == (format == 1 ? ".rtf" : ".txt"))
                return "logs/" + f;
        return {};
    }
    // A room with colours, bold, italic, underline (the link), umlauts and
    // two smileys.
    ChatRoom* colourfulRoom() {
        ChatRoom* room = newChatRoom("Lobby");
        roomPrint(room, "bob: " + VT + "C0000FFrot " + VT + "Bfett" + VT + "B " + VT + "Ikursiv" +
                            VT + "I");
        roomPrint(room, "carl: siehe www.example.org/x?y=1 und :) sch\xF6n");
        roomPrint(room, "dora: Gr\xFC\xDF" + VT + "C00AA00e ;) {x} \\ Ende");
        return room;
    }
    // The view's own text: pictures as the characters they replaced.
    static std::string viewTextWithSmileys(ChatRoom* room) {
        platform::ChatLogView* view = viewOf(room);
        std::string out;
        for (int line = 0; line < view->log().lineCount(); ++line) {
            if (line > 0) out += "\r\n";
            const int64_t from = view->log().position(line, 0);
            for (int64_t p = from; p < from + int64_t(view->log().lineText(line).size()); ++p) {
                const QTextCharFormat cf = view->formatAt(p);
                out += cf.isImageFormat() ? platform::fromQString(cf.toolTip())
                                          : platform::fromQString(view->plainText(p, p + 1));
            }
        }
        return out;
    }

    QTemporaryDir folder;
    QString previous;
};

TEST_F(LogExport, TextIsTheViewWithTheSmileyCharacters) {
    ChatRoom* room = colourfulRoom();
    const std::string path = exportOnce(room, 0);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.substr(0, 11), "logs/Lobby_");
    const std::string saved = kavel::test::slurp(path);
    EXPECT_EQ(saved, viewTextWithSmileys(room));
    EXPECT_NE(saved.find(":) sch\xF6n"), std::string::npos) << utf8(saved);
    EXPECT_NE(saved.find("e ;) {x}"), std::string::npos) << utf8(saved);
    EXPECT_THAT(statusLines(), ElementsAre());
}

TEST_F(LogExport, AHostileRoomNameWritesInsideLogs) {
    // A name of its own, so that nothing else in the shared folder above the
    // work folder can pass for an escaped log.
    const std::string escape = "kavel-escape-" + std::to_string(::getpid());
    ChatRoom* room = newChatRoom("../../" + escape);
    roomPrint(room, "hallo");
    menu(room, 0);
    const auto files = logs();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].substr(0, 7 + escape.size()), "______" + escape + "_");
    EXPECT_FALSE(std::filesystem::exists("../" + escape));
    EXPECT_FALSE(std::filesystem::exists("../../" + escape));
}

TEST_F(LogExport, AFolderThatCannotBeWrittenIsReported) {
    ChatRoom* room = newChatRoom("Lobby");
    roomPrint(room, "hallo");
    kavel::test::spit("logs", "a file where the folder should be");
    menu(room, 0);
    menu(room, 1);
    EXPECT_THAT(statusLines(),
                ElementsAre(utf8("Fehler: Logdatei konnte nicht als Text gespeichert werden - "
                                 "ungen\xFCgende Schreibrechte."),
                            utf8("Fehler: Logdatei konnte nicht als RichText gespeichert werden - "
                                 "ungen\xFCgende Schreibrechte.")));
}

TEST_F(LogExport, TimeStampsReachBothLogsOnlyForLinesPrintedWithThemOn) {
    test::UtcZone utc;
    uint32_t now = 1796679005;  // 7 December 2026, 21:30:05
    test::setService(&platform::Services::seconds, [&now] { return now; });
    ChatRoom* room = newChatRoom("Lobby");
    roomPrint(room, "bob: vorher");
    displayOptions().timeStamps = true;
    roomPrint(room, "bob: eins");
    now += 60;
    roomPrint(room, "carl: " + VT + "Bzwei" + VT + "B");
    displayOptions().timeStamps = false;
    roomPrint(room, "bob: danach");

    const std::string lines =
        "bob: vorher\r\n[21:30] bob: eins\r\n[21:31] carl: zwei\r\nbob: danach\r\n";
    EXPECT_EQ(viewTextWithSmileys(room), lines);
    EXPECT_EQ(kavel::test::slurp(exportOnce(room, 0)), lines);
    const std::string rtf = kavel::test::slurp(exportOnce(room, 1));
    EXPECT_NE(rtf.find("[21:30] bob: eins"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("[21:31] carl: "), std::string::npos) << rtf;
    EXPECT_EQ(rtf.find("] bob: vorher"), std::string::npos) << rtf;
    EXPECT_EQ(rtf.find("] bob: danach"), std::string::npos) << rtf;
}

// unrtf prints a header of its own before the text, and a note and a file
// name where it found a picture; the pictures become "<picture>".
std::string unrtfText(const std::string& out) {
    const auto rule = out.find("-----------------\n");
    std::string text = rule == std::string::npos ? out : out.substr(rule + 18);
    const std::string note = "### picture data found";
    for (auto at = text.find(note); at != std::string::npos; at = text.find(note, at)) {
        const auto end = text.find(".png", at);
        if (end == std::string::npos) break;
        text.replace(at, end + 4 - at, "<picture>");
    }
    return text;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

// The view's text, Windows-1252, each picture shown as picture.
std::string viewTextShowing(ChatRoom* room, const char* picture) {
    const platform::ChatLogView* view = platform::chatLogViewOf(test::roomWindow(room).view);
    QString t = view->plainText(0, view->log().length());
    t.replace(QChar::ObjectReplacementCharacter, QString::fromLatin1(picture));
    return platform::fromQString(t);
}

TEST_F(LogExport, UnrtfReadsTheTextAndBothPictures) {
    if (!haveTool("unrtf")) GTEST_SKIP() << "unrtf is not installed";
    ChatRoom* room = colourfulRoom();
    const std::string path = exportOnce(room, 1);
    ASSERT_FALSE(path.empty());
    std::string text, html;
    ASSERT_EQ(runCommand("unrtf --text " + path, &text), 0);
    EXPECT_EQ(trimmed(unrtfText(text)), trimmed(viewTextShowing(room, "<picture>"))) << text;
    // unrtf writes the pictures it finds as files beside the page.
    ASSERT_EQ(runCommand("unrtf --html " + path, &html), 0);
    std::size_t images = 0;
    for (auto at = html.find("<img"); at != std::string::npos; at = html.find("<img", at + 1))
        ++images;
    EXPECT_EQ(images, 2u) << html;
}

TEST_F(LogExport, LibreOfficeReadsTheText) {
    if (!haveTool("soffice")) GTEST_SKIP() << "LibreOffice is not installed";
    ChatRoom* room = colourfulRoom();
    const std::string path = exportOnce(room, 1);
    ASSERT_FALSE(path.empty());
    // A profile of its own, so that no running LibreOffice is disturbed.
    const std::string profile = "file://" + folder.path().toStdString() + "/lo-profile";
    ASSERT_EQ(runCommand("soffice -env:UserInstallation=" + profile +
                         " --headless --convert-to 'txt:Text (encoded):UTF8' --outdir out " + path),
              0);
    const std::string name = std::filesystem::path(path).stem().string() + ".txt";
    std::string converted = kavel::test::slurp("out/" + name);
    if (converted.rfind("\xEF\xBB\xBF", 0) == 0) converted.erase(0, 3);  // byte order mark
    // A text export has no place for pictures.
    EXPECT_EQ(trimmed(w1252(converted)), trimmed(viewTextShowing(room, "")));
}

}  // namespace
}  // namespace kavel::testing
