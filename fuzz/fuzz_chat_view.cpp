// The chat view as a busy room and a restless user meet it. One input is a
// sequence of steps on a real room window, offscreen: lines printed the way
// a server line is printed (colour codes, smilies, links, bold and italic),
// resizing, scrolling, the wheel, the mouse pressed, moved and released
// anywhere, the find bar, selecting and copying, and a screen reader asking
// about any offset at all. Events go through QApplication::notify as the
// event loop would deliver them, so an exception a handler lets out ends
// the run as it would end the program.
//
// Besides crashes the run checks what a screen reader and the find bar
// must never say: a rectangle, text or attributes for an offset outside
// the text; U+FFFC for anything but a picture; a match for text the chat
// cannot even hold.
#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "common/LEXER.h"
#include "common/data.h"
#include "common/reset.h"
#include "core/wiring.h"
#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "ui/CLASS_ChatRoom.h"

namespace {

namespace pf = kavel::platform;

// Bounds per input, so that memory and time stay those of a room with a
// few screens of history.
constexpr int kMaxLines = 300;
constexpr std::size_t kMaxPrinted = 24 * 1024;

class Input {
  public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool more() const { return p_ < end_; }
    uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
    int signedByte() { return static_cast<int8_t>(byte()); }
    int word() {
        const uint8_t low = byte();
        return static_cast<int16_t>(low | byte() << 8);
    }
    std::string bytes(std::size_t n) {
        n = std::min<std::size_t>(n, static_cast<std::size_t>(end_ - p_));
        std::string s(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        return s;
    }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// `a` and `b` are the two numbers that disagree, as `what` names them.
[[noreturn]] void fail(const std::string& what, long long a, long long b) {
    std::fprintf(stderr, "fuzz_chat_view: %s (%lld, %lld)\n", what.c_str(), a, b);
    std::abort();
}

class Session {
  public:
    Session(kavel::ChatRoom* room, pf::ChatLogView* view) : room_(room), view_(view) {}

    void run(Input& in) {
        using Step = void (Session::*)(Input&);
        static constexpr Step kSteps[] = {
            &Session::printRaw, &Session::printBuilt,  &Session::repeat,  &Session::resize,
            &Session::scroll,   &Session::wheel,       &Session::press,   &Session::move,
            &Session::release,  &Session::doubleClick, &Session::find,    &Session::select,
            &Session::ask,      &Session::draw,        &Session::toolTip, &Session::processEvents,
        };
        while (in.more()) {
            const uint8_t step = in.byte();
            (this->*kSteps[step % std::size(kSteps)])(in);
        }
        // Whatever the steps left behind must still read consistently.
        paint();
        checkWholeText();
    }

  private:
    bool full() const { return view_->log().lineCount() > kMaxLines || printed_ >= kMaxPrinted; }

    void print(const std::string& line) {
        if (line.empty() || full()) return;
        printed_ += line.size();
        last_ = line;
        kavel::roomPrint(room_, line);
    }

    void printRaw(Input& in) {
        const uint8_t size = in.byte();
        print(in.bytes(size));
    }
    void printBuilt(Input& in) { print(builtLine(in)); }
    void repeat(Input& in) {
        const int times = in.byte() % 32;
        const std::string line = last_;
        for (int i = 0; i < times; ++i)
            print(line);
    }
    void resize(Input& in) {
        const int width = 1 + in.byte() * 3;
        const int height = 1 + in.byte() * 2;
        view_->resize(width, height);
    }
    void press(Input& in) { mouse(QEvent::MouseButtonPress, in); }
    void move(Input& in) { mouse(QEvent::MouseMove, in); }
    void release(Input& in) { mouse(QEvent::MouseButtonRelease, in); }
    void doubleClick(Input& in) { mouse(QEvent::MouseButtonDblClick, in); }
    void processEvents(Input&) { QCoreApplication::processEvents(); }

    // A line from pieces, so that the markup the display scans for is a
    // byte away however the fuzzer mutates.
    static std::string builtLine(Input& in) {
        static const char* const kWords[] = {
            "hallo ", "?", "\xe4\xf6\xfc\xdf", "\x80 ", "   ", "Anna ", "\t", "x"};
        static const char* const kSmilies[] = {":)", ";)", ":(", ":D", ":O", ":P", ":/", ".)"};
        static const char* const kLinks[] = {"http://example.org/",
                                             "www.example.de/a?b=", "https://x.y/", "ftp.z/"};
        static const char kHex[] = "0123456789ABCDEF";
        std::string s;
        for (int n = in.byte() % 24; n > 0 && in.more(); --n) {
            const uint8_t b = in.byte();
            switch (b % 12) {
                case 0:
                case 1: {  // a colour code, then a smiley in it
                    s += "\x0b"
                         "C";
                    for (int i = 0; i < 3; ++i) {
                        const uint8_t c = in.byte();
                        s += kHex[c >> 4];
                        s += kHex[c & 15];
                    }
                    if (b % 12 == 0) s += kSmilies[(b >> 4) % 8];
                    break;
                }
                case 2:
                    s += kSmilies[(b >> 4) % 8];
                    break;
                case 3:
                    s += kLinks[(b >> 4) % 4];
                    s += std::to_string(in.byte());
                    s += ' ';
                    break;
                case 4:
                    s += "\x0b"
                         "B";
                    break;
                case 5:
                    s += "\x0b"
                         "I";
                    break;
                case 6:
                    s += '\x1a';
                    break;
                case 7:
                    s += '\r';
                    break;
                case 8:
                    s += std::string(1 + in.byte() % 120, static_cast<char>('a' + (b >> 4)));
                    break;
                default:
                    s += kWords[(b >> 4) % 8];
                    break;
            }
        }
        return s;
    }

    int length() const { return static_cast<int>(view_->log().length()); }

    // An offset a screen reader might send: near the text, at its ends or
    // anywhere at all.
    int offset(Input& in) {
        const uint8_t b = in.byte();
        switch (b % 4) {
            case 0:
                return in.signedByte();
            case 1:
                return length() + in.signedByte();
            case 2:
                return static_cast<int>(static_cast<long long>(length()) * in.byte() / 255);
            default: {
                static const int kEdges[] = {INT_MIN, INT_MIN + 1, -100,   -1,
                                             0,       INT_MAX - 1, INT_MAX};
                const int edge = (b >> 2) % 9;
                if (edge == 7) return length();
                if (edge == 8) return length() + 1;
                return kEdges[edge];
            }
        }
    }

    // A point in or a little around the viewport.
    QPoint point(Input& in) const {
        const QSize size = view_->viewport()->size();
        const int x = static_cast<int>(in.byte()) * (size.width() + 40) / 255 - 20;
        const int y = static_cast<int>(in.byte()) * (size.height() + 40) / 255 - 20;
        return {x, y};
    }

    void send(QObject* to, QEvent& event) { QApplication::sendEvent(to, &event); }

    void key(QObject* to, int code, Qt::KeyboardModifiers modifiers) {
        QKeyEvent press(QEvent::KeyPress, code, modifiers);
        send(to, press);
        QKeyEvent release(QEvent::KeyRelease, code, modifiers);
        send(to, release);
    }

    void scroll(Input& in) {
        const uint8_t b = in.byte();
        switch (b % 5) {
            case 0:
                view_->verticalScrollBar()->setValue(in.word());
                break;
            case 1:
                view_->scrollToLine(in.word());
                break;
            case 2:
                view_->scrollToEnd();
                break;
            case 3:
                view_->scrollByPixels(in.word());
                break;
            default: {
                static const int kKeys[] = {Qt::Key_Up,       Qt::Key_Down, Qt::Key_PageUp,
                                            Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End,
                                            Qt::Key_Left,     Qt::Key_Right};
                Qt::KeyboardModifiers m;
                if (b & 0x40) m |= Qt::ShiftModifier;
                if (b & 0x80) m |= Qt::ControlModifier;
                key(view_, kKeys[(b >> 3) % 8], m);
            }
        }
    }

    void wheel(Input& in) {
        const QPoint at = point(in);
        const uint8_t b = in.byte();
        const int delta = in.word();
        const QPoint pixels = b & 1 ? QPoint(0, delta) : QPoint();
        const QPoint angle = b & 1 ? QPoint() : QPoint(0, delta);
        QWheelEvent event(at, view_->viewport()->mapToGlobal(at), pixels, angle, held_,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        send(view_->viewport(), event);
    }

    void mouse(QEvent::Type type, Input& in) {
        const QPoint at = point(in);
        const uint8_t b = in.byte();
        static const Qt::MouseButton kButtons[] = {Qt::LeftButton, Qt::LeftButton, Qt::RightButton,
                                                   Qt::MiddleButton};
        Qt::MouseButton button = kButtons[b % 4];
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
            held_ |= button;
        else if (type == QEvent::MouseButtonRelease)
            held_ &= ~button;
        else
            button = Qt::NoButton;
        const Qt::KeyboardModifiers modifiers = b & 4 ? Qt::ShiftModifier : Qt::NoModifier;
        QMouseEvent event(type, at, view_->viewport()->mapToGlobal(at), button, held_, modifiers);
        send(view_->viewport(), event);
    }

    void toolTip(Input& in) {
        const QPoint at = point(in);
        QHelpEvent event(QEvent::ToolTip, at, view_->viewport()->mapToGlobal(at));
        send(view_->viewport(), event);
    }

    void draw(Input&) { paint(); }
    void paint() {
        QImage image(view_->viewport()->size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        view_->viewport()->render(&image);
    }

    // The find bar as the user works it: Ctrl+F in the window, the text
    // typed, Return or Shift+Return, now and then Esc.
    void find(Input& in) {
        const uint8_t b = in.byte();
        std::string raw = in.bytes(b & 15);
        // Either Windows-1252 text or any Unicode at all.
        const QString needle = b & 0x10 ? QString::fromUtf8(raw) : pf::toQString(raw);
        key(view_->window(), Qt::Key_F, Qt::ControlModifier);
        auto* bar = view_->findChild<QWidget*>(QStringLiteral("findBar"));
        if (!bar) return;
        auto* field = bar->findChild<QLineEdit*>();
        auto* notFound = bar->findChild<QLabel*>();
        if (!field || !notFound) return;
        if (!(b & 0x20)) field->setText(needle);
        key(field, Qt::Key_Return, b & 0x40 ? Qt::ShiftModifier : Qt::NoModifier);
        const QString typed = field->text();
        if (!typed.isEmpty() && notFound->isHidden()) {
            const std::string cp = pf::fromQString(typed);
            if (pf::toQString(cp) != typed)
                fail("find matched text that Windows-1252 cannot hold (match at, length)",
                     view_->anchor(), length());
            const std::size_t selected = view_->selectedText().size();
            if (selected != cp.size())
                fail("find selected another length than the needle's (selected, needle)",
                     static_cast<long long>(selected), static_cast<long long>(cp.size()));
        }
        if (b & 0x80) key(field, Qt::Key_Escape, Qt::NoModifier);
    }

    QAccessibleTextInterface* text() const {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(view_);
        return a ? a->textInterface() : nullptr;
    }

    void select(Input& in) {
        const uint8_t b = in.byte();
        if (b & 2) {
            key(view_, b & 1 ? Qt::Key_C : Qt::Key_A, Qt::ControlModifier);
            return;
        }
        const int anchor = offset(in);
        const int cursor = offset(in);
        QAccessibleTextInterface* t = text();
        if (b & 1 && t)
            t->setSelection(0, anchor, cursor);
        else
            view_->select(anchor, cursor);
    }

    bool outside(int at) const { return at < 0 || at > length(); }

    void ask(Input& in) {
        QAccessibleTextInterface* t = text();
        if (!t) return;
        const int at = offset(in);
        const uint8_t b = in.byte();
        static const QAccessible::TextBoundaryType kUnits[] = {
            QAccessible::CharBoundary,     QAccessible::WordBoundary,
            QAccessible::SentenceBoundary, QAccessible::ParagraphBoundary,
            QAccessible::LineBoundary,     QAccessible::NoBoundary};
        const auto unit = kUnits[(b >> 3) % 6];
        int start = 0, end = 0;
        // What the reader was told about `at`; nothing may be told about
        // an offset outside the text.
        QString answer;
        const char* asked = nullptr;
        switch (b % 8) {
            case 0:
                asked = "characterRect";
                if (!t->characterRect(at).isEmpty()) answer = QStringLiteral("a rectangle");
                break;
            case 1:
            case 2:
            case 3: {
                using Query = QString (QAccessibleTextInterface::*)(
                    int, QAccessible::TextBoundaryType, int*, int*) const;
                static const std::pair<const char*, Query> kQueries[] = {
                    {"textAtOffset", &QAccessibleTextInterface::textAtOffset},
                    {"textBeforeOffset", &QAccessibleTextInterface::textBeforeOffset},
                    {"textAfterOffset", &QAccessibleTextInterface::textAfterOffset}};
                const auto& [name, query] = kQueries[b % 8 - 1];
                asked = name;
                answer = (t->*query)(at, unit, &start, &end);
                break;
            }
            case 4:
                (void)t->text(at, offset(in));
                break;
            case 5:
                asked = "attributes";
                answer = t->attributes(at, &start, &end);
                break;
            case 6:
                (void)t->offsetAtPoint(view_->viewport()->mapToGlobal(point(in)));
                break;
            default:
                if (t->selectionCount() == 0) break;
                t->selection(0, &start, &end);
                if (start < 0 || start > end || end > length())
                    fail("selection outside the text (start, end)", start, end);
                break;
        }
        if (asked && !answer.isEmpty() && outside(at))
            fail(std::string(asked) + " outside the text (offset, length)", at, length());
    }

    // The whole text as a screen reader reads it: one character per
    // position, U+FFFC exactly for each picture.
    void checkWholeText() {
        QAccessibleTextInterface* t = text();
        if (!t) return;
        const QString all = t->text(0, length());
        if (all.size() != length())
            fail("text(0, length) has another length (text, length)", all.size(), length());
        const auto pictures = static_cast<long long>(view_->log().pictureSpots().size());
        if (all.count(QChar(0xFFFC)) != pictures)
            fail("U+FFFC not once per picture (U+FFFC, pictures)", all.count(QChar(0xFFFC)),
                 pictures);
    }

    kavel::ChatRoom* room_;
    pf::ChatLogView* view_;
    std::string last_;
    std::size_t printed_ = 0;
    Qt::MouseButtons held_;
};

void dropQtMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Made here and never destroyed, as in the other targets: taking it
    // down at exit after rooms have come and gone crashes inside Qt's post
    // routines, which is no finding about the view.
    static QApplication* app = new QApplication(*argc, *argv);
    (void)app;
    pf::startDesktop(*argc, *argv);
    // Qt's warnings would bury the findings: the offscreen platform, for
    // one, warns at every link it is asked to open.
    qInstallMessageHandler(dropQtMessages);
    kavel::wirePorts();
    kavel::resetAll();
    kavel::InitLexTable();
    kavel::setFlag(kavel::flag::NoSound);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    Input in(data, size);
    // The display options: colour mode, marked links, smilies as text, the
    // own name.
    const uint8_t o = in.byte();
    uint16_t options = static_cast<uint16_t>((o & 3) << 8);
    if (o & 4) options |= kavel::opt::MarkUrls;
    if (o & 8) options |= kavel::opt::TextSmilies;
    kavel::setOptions(options);
    kavel::setText(&kavel::ClientState::nick, o & 16 ? "Anna" : "");
    // With a screen reader listening, each new line is announced as well.
    QAccessible::setActive(o & 32);

    kavel::ChatRoom* room = kavel::newChatRoom("fuzz");
    if (!room) return 0;
    auto* view = pf::chatLogViewOf(pf::controlNamed(pf::windowTitled("fuzz"), "Chat"));
    if (view) Session(room, view).run(in);
    kavel::roomDestroy(room);
    while (pf::pollEvent().kind != pf::EventKind::None) {
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
