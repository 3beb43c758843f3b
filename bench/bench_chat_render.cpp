// Chat lines through the session's dispatch into one room (1 000 000 unless a
// count is given), against the plain Qt way of putting the same pieces with
// the same formats into a shown QTextEdit (one edit block per line, undo
// off; at most 100 000 lines, it needs minutes beyond). Then, on the full
// history of each: a resize, the scroll to the top and the jump to the end,
// each timed until the view has painted once (grab()), a search from the
// end for a word near the top, and the RTF export. Last, a hostile room
// member's smileys, each in a colour never seen before, against the same
// lines in one colour: the time until shown and the memory added. Each side
// runs in a child process of its own so that resident memory is measured
// cleanly.
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/LEXER.h"
#include "common/data.h"
#include "common/reset.h"
#include "core/wiring.h"
#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/image.h"
#include "net/NET_Methods.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/GUI_Methods_Display.h"
#include "ui/rtf_writer.h"
#include "ui/view_export.h"

namespace {

int kLines = 1000000;
constexpr int kBaselineLimit = 100000;
int kBlock = 20000;
const std::string VT = "\x0b";

std::vector<std::string> makeLines(int count) {
    static const char* nicks[] = {"bert",  "carla", "dieter", "emma",
                                  "fritz", "gabi",  "hans",   "ilse"};
    static const char* words[] = {
        "hallo",  "wie",    "geht",   "es",     "dir",   "heute",  "ich",    "war",      "gerade",
        "beim",   "Essen",  "und",    "dann",   "noch",  "kurz",   "weg",    "sch\xF6n", "Wetter",
        "morgen", "wieder", "Arbeit", "Kaffee", "genau", "stimmt", "lustig", "echt"};
    static const char* colours[] = {"FF0000", "00AA00", "0000FF", "AA00AA", "008080", "303030"};
    static const char* smileys[] = {":)", ";)", ":D", ":(", ":P"};
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count));
    uint32_t seed = 1998;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int i = 0; i < count; ++i) {
        std::string l = "CHAT lobby ";
        l += nicks[i % 8];
        l += ": " + VT + "C" + colours[(i / 8) % 6];
        const int n = 6 + static_cast<int>(next() % 7);
        for (int w = 0; w < n; ++w) {
            if (w) l += ' ';
            if (w == 2 && i % 7 == 0) l += VT + "B";
            if (w == 4 && i % 13 == 0) l += VT + "I";
            l += words[next() % std::size(words)];
            if (w == 3 && i % 7 == 0) l += VT + "B";
            if (w == 5 && i % 13 == 0) l += VT + "I";
            if (w == 1 && i % 50 == 0) l += " anna";
        }
        if (i % 20 == 0)
            l += " http://www.example.org/seite" + std::to_string(i % 100) +
                 "?id=" + std::to_string(i);
        if (i % 10 == 0) l += std::string(" ") + smileys[(i / 10) % 5];
        if (i == 3) l += " Stecknadel";  // what the search looks for
        lines.push_back(std::move(l));
    }
    return lines;
}

// Reads as the session hands them over: whole messages, about a kilobyte
// a read.
using Read = std::pair<std::vector<std::string>, int>;
std::vector<Read> makeReads(const std::vector<std::string>& lines) {
    std::vector<Read> reads;
    std::vector<std::string> cur;
    std::size_t bytes = 0;
    for (const auto& l : lines) {
        if (!cur.empty() && bytes + l.size() > 1000) {
            reads.emplace_back(cur, static_cast<int>(cur.size()));
            cur.clear();
            bytes = 0;
        }
        cur.push_back(l);
        bytes += l.size() + 1;
    }
    if (!cur.empty()) reads.emplace_back(cur, static_cast<int>(cur.size()));
    return reads;
}

long residentKb() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void setUpState() {
    kavel::wirePorts();
    kavel::resetAll();
    kavel::InitLexTable();
    kavel::setText(&kavel::ClientState::profileName, "anna");
    kavel::setText(&kavel::ClientState::nick, "anna");
    kavel::clientState.textColour = 0x0000FF;
    kavel::clientState.urlColour = 0xAA0000;
    kavel::clientState.backgroundColour = 0xFFFFFF;
    kavel::setOptions(kavel::opt::ColourFirst | kavel::opt::MarkUrls);
    kavel::setFlag(kavel::flag::NoSound);
}

using Clock = std::chrono::steady_clock;

// Milliseconds of the operations on the full history, in this order.
enum Op { Resize, ScrollTop, JumpEnd, Find, ExportRtf, OpCount };

struct Result {
    int lines = 0;
    double total = 0;
    std::vector<double> blocks;
    long rssKb = 0;
    long growthKb = 0;  // resident memory added while the lines went in
    double ops[OpCount] = {};
};

std::string report(const Result& r) {
    std::ostringstream os;
    os << r.lines << ' ' << r.total << ' ' << r.rssKb << ' ' << r.growthKb;
    for (double op : r.ops)
        os << ' ' << op;
    for (double b : r.blocks)
        os << ' ' << b;
    return os.str();
}

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// The slowest of a few resizes, each until the next painted frame.
double timeResizes(QWidget* view) {
    double worst = 0;
    for (int i = 0; i < 4; ++i) {
        const auto t0 = Clock::now();
        view->resize(i % 2 ? 490 : 430, 250);
        view->grab();
        worst = std::max(worst, msSince(t0));
    }
    return worst;
}

template <typename Action>
double timeFrame(QWidget* view, Action action) {
    const auto t0 = Clock::now();
    action();
    view->grab();
    return msSince(t0);
}

template <typename Action>
double timeMs(Action action) {
    const auto t0 = Clock::now();
    action();
    return msSince(t0);
}

template <typename PerRead>
Result timed(const std::vector<Read>& reads, PerRead perRead) {
    Result r;
    const long before = residentKb();
    int done = 0, blockStart = 0;
    auto t0 = Clock::now(), tb = t0;
    for (std::size_t i = 0; i < reads.size(); ++i) {
        perRead(i);
        done += reads[i].second;
        if (done - blockStart >= kBlock || i + 1 == reads.size()) {
            const auto t = Clock::now();
            r.blocks.push_back(std::chrono::duration<double>(t - tb).count());
            tb = t;
            blockStart = done;
        }
    }
    r.total = std::chrono::duration<double>(Clock::now() - t0).count();
    r.rssKb = residentKb();
    r.growthKb = r.rssKb - before;
    return r;
}

// The room's view found as a screen reader finds it; a room without one
// leaves nothing to measure.
kavel::platform::ChatLogView* viewOf(kavel::ChatRoom* room) {
    namespace pf = kavel::platform;
    const int window = pf::windowTitled(kavel::roomGetName(room));
    kavel::platform::ChatLogView* view = pf::chatLogViewOf(pf::controlNamed(window, "Chat"));
    if (!view) {
        std::fprintf(stderr, "no chat view in the room's window\n");
        std::exit(2);
    }
    return view;
}

Result runClient() {
    setUpState();
    const auto reads = makeReads(makeLines(kLines));
    Result r = timed(reads, [&](std::size_t i) {
        kavel::session().dispatch(reads[i].first);
        kavel::platform::pollEvent();
    });
    r.lines = kLines;
    kavel::ChatRoom* room = kavel::joinedRooms.at(0);
    kavel::platform::ChatLogView* view = viewOf(room);
    view->grab();
    r.ops[Resize] = timeResizes(view);
    r.ops[ScrollTop] = timeFrame(view, [&] { view->verticalScrollBar()->setValue(0); });
    r.ops[JumpEnd] = timeFrame(view, [&] { view->scrollToEnd(); });
    r.ops[Find] = timeMs([&] {
        view->select(view->log().length(), view->log().length());
        if (!view->find(QStringLiteral("stecknadel"), false)) std::exit(2);
    });
    std::FILE* out = std::fopen("/dev/null", "wb");
    r.ops[ExportRtf] = timeMs([&] { kavel::saveViewContents(*view, out, 1); });
    std::fclose(out);
    return r;
}

// A hostile room member: lines of smileys each in a colour never seen
// before, against the same lines in one colour.
constexpr int kSmileyLines = 300;
constexpr int kSmileysPerLine = 360;

Result runSmileys(bool manyColours) {
    setUpState();
    kavel::session().dispatch({"CHAT lobby bert: hallo"});  // the room exists before the clock
    kavel::platform::pollEvent();
    std::vector<Read> reads;
    static const char* hex = "0123456789ABCDEF";
    for (int line = 0; line < kSmileyLines; ++line) {
        std::string l = "CHAT lobby bert: ";
        for (int i = 0; i < kSmileysPerLine; ++i) {
            // An odd factor visits every colour once.
            const uint32_t k = static_cast<uint32_t>(line * kSmileysPerLine + i);
            const uint32_t colour = manyColours ? (k * 2654435761u) & 0xFFFFFFu : 0x3060C0u;
            l += VT + "C";
            for (int shift = 20; shift >= 0; shift -= 4)
                l += hex[(colour >> shift) & 0xF];
            l += ":)";
        }
        reads.push_back({{l}, 1});
    }
    kavel::ChatRoom* room = kavel::joinedRooms.at(0);
    kavel::platform::ChatLogView* view = viewOf(room);
    Result r = timed(reads, [&](std::size_t i) {
        kavel::session().dispatch(reads[i].first);
        kavel::platform::pollEvent();
        if (i + 1 == reads.size()) view->grab();
    });
    r.lines = kSmileyLines;
    if (view->log().pictureSpots().size() != std::size_t{kSmileyLines} * kSmileysPerLine)
        std::exit(2);
    return r;
}

// The same pieces the display makes, recorded once before the clock runs.
struct Piece {
    enum { Text, Image, Break } kind;
    QString text;
    QTextCharFormat format;
    QString image;
};

class Recorder : public kavel::ChatView, public kavel::PrintTarget {
  public:
    void setStyle(int bits) override {
        format_.setFontWeight(bits & 1 ? QFont::Bold : QFont::Normal);
        format_.setFontItalic(bits & 2);
        format_.setFontUnderline(bits & 4);
        format_.setFontPointSize(10);
    }
    void setColour(int32_t c) override {
        format_.setForeground(QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
    }
    void setBackground(int32_t) override {}
    void append(std::string_view t) override {
        line.push_back({Piece::Text, kavel::platform::toQString(t), format_, {}});
    }
    void appendLineBreak() override { line.push_back({Piece::Break, {}, format_, {}}); }
    void insertImage(const kavel::Picture& p) override {
        const QImage img = kavel::platform::toQImage(p);
        const QString name = QStringLiteral("img%1").arg(qHash(
            QByteArrayView(reinterpret_cast<const char*>(img.constBits()), img.sizeInBytes())));
        images.emplace(name, img);
        line.push_back({Piece::Image, {}, format_, name});
    }
    kavel::ViewContent content() const override { return {}; }
    ChatView& view() override { return *this; }
    bool hasUrl(const std::string&) override { return true; }
    void addUrl(const std::string&) override {}
    void flash() override {}
    void playMessageSound() override {}

    std::vector<Piece> line;
    std::map<QString, QImage> images;

  private:
    QTextCharFormat format_;
};

// What the view held, the way the QTextEdit view handed it to the export.
kavel::ViewContent contentOf(const QTextDocument& doc) {
    kavel::ViewContent out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b != doc.begin()) out.runs.push_back({kavel::ViewRun::LineBreak});
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat cf = it.fragment().charFormat();
            kavel::ViewRun run;
            if (cf.isImageFormat()) {
                run.kind = kavel::ViewRun::Picture;
                run.width = run.height = 15;
            } else {
                run.style = (cf.fontWeight() >= QFont::Bold ? 1 : 0) | (cf.fontItalic() ? 2 : 0);
                run.colour = kavel::platform::fromQColor(cf.foreground().color());
                run.text = kavel::platform::fromQString(it.fragment().text());
            }
            out.runs.push_back(std::move(run));
        }
    }
    return out;
}

Result runBaseline() {
    setUpState();
    const auto lines = makeLines(std::min(kLines, kBaselineLimit));
    const auto reads = makeReads(lines);
    Recorder rec;
    std::vector<std::vector<Piece>> pieces;
    pieces.reserve(lines.size());
    kavel::RenderState state{0, 0, 0xFFFFFF};
    for (const auto& l : lines) {
        rec.line.clear();
        kavel::printMessage(rec, state, l.substr(11));  // after "CHAT lobby "
        pieces.push_back(rec.line);
    }

    QTextEdit edit;
    edit.setReadOnly(true);
    edit.setUndoRedoEnabled(false);
    edit.resize(490, 250);
    edit.show();
    QTextCursor cursor(edit.document());
    std::map<QString, bool> added;
    std::size_t next = 0;
    Result r = timed(reads, [&](std::size_t i) {
        for (int n = 0; n < reads[i].second; ++n, ++next) {
            cursor.beginEditBlock();
            for (const Piece& p : pieces[next]) {
                if (p.kind == Piece::Text) {
                    cursor.insertText(p.text, p.format);
                } else if (p.kind == Piece::Break) {
                    cursor.insertBlock(QTextBlockFormat(), p.format);
                } else {
                    if (!added[p.image]) {
                        edit.document()->addResource(QTextDocument::ImageResource, QUrl(p.image),
                                                     rec.images[p.image]);
                        added[p.image] = true;
                    }
                    QTextImageFormat f;
                    f.merge(p.format);
                    f.setName(p.image);
                    cursor.insertImage(f);
                }
            }
            cursor.endEditBlock();
        }
        QCoreApplication::processEvents();
    });
    r.lines = static_cast<int>(lines.size());
    edit.grab();
    r.ops[Resize] = timeResizes(&edit);
    r.ops[ScrollTop] = timeFrame(&edit, [&] { edit.verticalScrollBar()->setValue(0); });
    r.ops[JumpEnd] = timeFrame(
        &edit, [&] { edit.verticalScrollBar()->setValue(edit.verticalScrollBar()->maximum()); });
    r.ops[Find] = timeMs([&] {
        edit.moveCursor(QTextCursor::End);
        if (!edit.find(QStringLiteral("stecknadel"), QTextDocument::FindBackward)) std::exit(2);
    });
    r.ops[ExportRtf] = timeMs([&] {
        const std::string rtf = kavel::rtfDocument(contentOf(*edit.document()));
        if (rtf.empty()) std::exit(2);
    });
    return r;
}

bool parse(const std::string& s, Result& r) {
    std::istringstream in(s);
    if (!(in >> r.lines >> r.total >> r.rssKb >> r.growthKb)) return false;
    for (double& op : r.ops)
        if (!(in >> op)) return false;
    double b;
    while (in >> b)
        r.blocks.push_back(b);
    return true;
}

Result runChild(const char* self, const char* mode) {
    int fds[2];
    if (pipe(fds) != 0) std::exit(1);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        const std::string count = std::to_string(kLines);
        execl(self, self, mode, count.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    Result r;
    const auto at = out.rfind("RESULT ");
    if (at == std::string::npos || !parse(out.substr(at + 7), r)) {
        std::fprintf(stderr, "%s run failed\n", mode);
        std::exit(1);
    }
    return r;
}

void print(const char* name, const Result& r) {
    std::printf("%-9s %8.0f lines/s  %d lines in %6.2f s  resident %7.1f MB (%.1f MB added)\n",
                name, r.lines / r.total, r.lines, r.total, r.rssKb / 1024.0, r.growthKb / 1024.0);
    std::printf("          per %d lines:", kBlock);
    for (double b : r.blocks)
        std::printf(" %.2f", b);
    std::printf(" s\n");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    const bool child =
        argc > 2 && (std::strcmp(argv[1], "client") == 0 || std::strcmp(argv[1], "baseline") == 0 ||
                     std::strncmp(argv[1], "smileys-", 8) == 0);
    const char* count = child ? argv[2] : argc > 1 ? argv[1] : nullptr;
    if (count) kLines = std::max(1000, std::atoi(count));
    kBlock = std::max(1, kLines / 50);
    if (child) {
        int qtArgc = 1;
        QApplication app(qtArgc, argv);
        const std::string mode = argv[1];
        const Result r = mode == "client"            ? runClient()
                         : mode == "baseline"        ? runBaseline()
                         : mode == "smileys-colours" ? runSmileys(true)
                                                     : runSmileys(false);
        std::printf("RESULT %s\n", report(r).c_str());
        std::fflush(stdout);
        _exit(0);  // the documents are large; tearing them down is not measured
    }
    std::printf("%d chat lines, offscreen (give a count as the argument for fewer)\n", kLines);
    const Result client = runChild("/proc/self/exe", "client");
    const Result base = runChild("/proc/self/exe", "baseline");
    print("KAVEL", client);
    print("Qt plain", base);
    const std::string n = std::to_string(client.lines);
    const std::string baseNote =
        base.lines == client.lines ? "" : " (Qt plain at " + std::to_string(base.lines) + " lines)";
    const auto growth = [](const Result& r) { return r.blocks.back() / r.blocks.front(); };
    const double perLineRatio = (client.total / client.lines) / (base.total / base.lines);
    std::printf(
        "append %s lines: %.2f s, growth last/first block %.2f; Qt plain %.2f s for %d lines, "
        "growth %.2f; time ratio per line %.3f (goal <= 0.1, growth <= 1.1)\n",
        n.c_str(), client.total, growth(client), base.total, base.lines, growth(base),
        perLineRatio);
    const auto bytesPerLine = [](const Result& r) { return r.growthKb * 1024.0 / r.lines; };
    std::printf("memory per line: %.0f bytes; Qt plain %.0f bytes%s (goal <= 150)\n",
                bytesPerLine(client), bytesPerLine(base), baseNote.c_str());
    const struct {
        const char* before;
        const char* after;
        Op op;
        double goal;
    } figures[] = {{"resize with ", " lines", Resize, 16},
                   {"scroll to top with ", " lines", ScrollTop, 16},
                   {"jump to end with ", " lines", JumpEnd, 16},
                   {"find over ", " lines", Find, 100},
                   {"export ", " lines as RTF", ExportRtf, 2000}};
    for (const auto& f : figures)
        std::printf("%s%s%s: %.1f ms; Qt plain %.1f ms%s (goal <= %.0f ms)\n", f.before, n.c_str(),
                    f.after, client.ops[f.op], base.ops[f.op], baseNote.c_str(), f.goal);
    const Result colours = runChild("/proc/self/exe", "smileys-colours");
    const Result one = runChild("/proc/self/exe", "smileys-one");
    std::printf(
        "smiley colours: %d lines of %d smileys in %d colours: %.2f s, %.1f MB added; in one "
        "colour %.2f s, %.1f MB added; time ratio %.2f (goal <= 2), memory added %.1f MB "
        "(goal <= 16)\n",
        kSmileyLines, kSmileysPerLine, kSmileyLines * kSmileysPerLine, colours.total,
        colours.growthKb / 1024.0, one.total, one.growthKb / 1024.0, colours.total / one.total,
        colours.growthKb / 1024.0);
    return 0;
}
