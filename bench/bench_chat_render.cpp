// 200 000 chat lines through DispatchServerData into one room, against the
// plain Qt way of putting the same pieces with the same formats into a shown
// QTextEdit (one edit block per line, undo off). Each side runs in a child
// process of its own so that resident memory is measured cleanly.
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
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

#include "common/data.h"
#include "common/reset.h"
#include "core/wiring.h"
#include "net/LEXER.h"
#include "net/NET_Methods.h"
#include "platform/encoding.h"
#include "platform/gadgets.h"
#include "platform/image.h"
#include "ui/CLASS_ChatRoom.h"
#include "ui/display.h"

namespace {

constexpr int kLines = 200000;
constexpr int kBlock = 20000;
const std::string VT = "\x0b";

std::vector<std::string> makeLines() {
    static const char* nicks[] = {"bert",  "carla", "dieter", "emma",
                                  "fritz", "gabi",  "hans",   "ilse"};
    static const char* words[] = {
        "hallo",  "wie",    "geht",   "es",     "dir",   "heute",  "ich",    "war",      "gerade",
        "beim",   "Essen",  "und",    "dann",   "noch",  "kurz",   "weg",    "sch\xF6n", "Wetter",
        "morgen", "wieder", "Arbeit", "Kaffee", "genau", "stimmt", "lustig", "echt"};
    static const char* colours[] = {"FF0000", "00AA00", "0000FF", "AA00AA", "008080", "303030"};
    static const char* smileys[] = {":)", ";)", ":D", ":(", ":P"};
    std::vector<std::string> lines;
    lines.reserve(kLines);
    uint32_t seed = 1998;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int i = 0; i < kLines; ++i) {
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

struct Result {
    double total = 0;
    std::vector<double> blocks;
    long rssKb = 0;
    long growthKb = 0;  // resident memory added while the lines went in
};

std::string report(const Result& r) {
    std::ostringstream os;
    os << r.total << ' ' << r.rssKb << ' ' << r.growthKb;
    for (double b : r.blocks)
        os << ' ' << b;
    return os.str();
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

Result runClient() {
    setUpState();
    const auto reads = makeReads(makeLines());
    return timed(reads, [&](std::size_t i) {
        kavel::DispatchServerData(reads[i].first);
        kavel::platform::pollEvent();
    });
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

Result runBaseline() {
    setUpState();
    const auto lines = makeLines();
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
    return timed(reads, [&](std::size_t i) {
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
}

bool parse(const std::string& s, Result& r) {
    std::istringstream in(s);
    if (!(in >> r.total >> r.rssKb >> r.growthKb)) return false;
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
        execl(self, self, mode, static_cast<char*>(nullptr));
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
    std::printf("%-9s %8.0f lines/s  total %6.2f s  resident %7.1f MB (%.1f MB added by the run)\n",
                name, kLines / r.total, r.total, r.rssKb / 1024.0, r.growthKb / 1024.0);
    std::printf("          per %d lines:", kBlock);
    for (double b : r.blocks)
        std::printf(" %.2f", b);
    std::printf(" s\n");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    if (argc > 1) {
        QApplication app(argc, argv);
        const Result r = std::strcmp(argv[1], "client") == 0 ? runClient() : runBaseline();
        std::printf("RESULT %s\n", report(r).c_str());
        std::fflush(stdout);
        _exit(0);  // the documents are large; tearing them down is not measured
    }
    std::printf("%d chat lines, offscreen, blocks of %d\n", kLines, kBlock);
    const Result client = runChild("/proc/self/exe", "client");
    const Result base = runChild("/proc/self/exe", "baseline");
    print("KAVEL", client);
    print("Qt plain", base);
    const auto growth = [](const Result& r) { return r.blocks.back() / r.blocks.front(); };
    std::printf("ratio time   %.2f (goal <= 1.30)\n", client.total / base.total);
    std::printf("growth last/first block: KAVEL %.2f, Qt plain %.2f\n", growth(client),
                growth(base));
    // The baseline holds its prepared pieces; what the views add is compared.
    std::printf("ratio memory %.2f (goal <= 1.20; memory added by the run)\n",
                static_cast<double>(client.growthKb) / static_cast<double>(base.growthKb));
    return 0;
}
