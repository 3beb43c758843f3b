// The chat view as screen readers see it: a read-only, multi-line text
// with Qt's accessible text interface, so that its text, the caret, the
// selection and each new line reach the accessibility bus as they did
// when the view was a rich-text edit.
#include "desktop/chat_log_access.h"

#include <QAccessibleWidget>
#include <QTextBoundaryFinder>
#include <algorithm>

#include "desktop/chat_log_view.h"

namespace kavel::platform {

namespace {

class ChatLogAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit ChatLogAccessible(ChatLogView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return view()->plainText(0, length());
        return QAccessibleWidget::text(t);
    }

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index != 0 || selectionCount() == 0) return;
        *start = static_cast<int>(std::min(view()->anchor(), view()->cursor()));
        *end = static_cast<int>(std::max(view()->anchor(), view()->cursor()));
    }
    int selectionCount() const override { return view()->anchor() != view()->cursor() ? 1 : 0; }
    void addSelection(int start, int end) override {
        if (inText(start) && inText(end)) view()->select(start, end);
    }
    void removeSelection(int index) override {
        if (index == 0) view()->select(view()->cursor(), view()->cursor());
    }
    void setSelection(int index, int start, int end) override {
        if (index == 0 && inText(start) && inText(end)) view()->select(start, end);
    }
    int cursorPosition() const override { return static_cast<int>(view()->cursor()); }
    void setCursorPosition(int position) override {
        if (inText(position)) view()->select(position, position);
    }
    QString text(int start, int end) const override {
        if (!inText(start) || !inText(end) || start > end) return {};
        return view()->plainText(start, end);
    }
    int characterCount() const override { return length(); }
    QRect characterRect(int offset) const override {
        if (!isCharacter(offset)) return {};
        const QRect r = view()->characterRect(offset);
        if (r.isNull()) return r;
        return r.translated(view()->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    int offsetAtPoint(const QPoint& point) const override {
        // Beyond any screen; mapping such a point could overflow.
        const auto far = [](int v) { return v < -(1 << 24) || v > 1 << 24; };
        if (far(point.x()) || far(point.y())) return -1;
        const QPoint at = view()->viewport()->mapFromGlobal(point);
        if (!view()->viewport()->rect().contains(at)) return -1;
        return static_cast<int>(view()->positionAt(at));
    }
    void scrollToSubstring(int start, int) override {
        if (inText(start)) view()->scrollToLine(view()->log().lineOfPosition(start));
    }
    QString attributes(int offset, int* start, int* end) const override {
        if (!isCharacter(offset)) return nothing(start, end);
        *start = offset;
        *end = offset + 1;
        const QTextCharFormat f = view()->formatAt(offset);
        QString out;
        if (f.fontWeight() >= QFont::Bold) out += QStringLiteral("font-weight:bold;");
        if (f.fontItalic()) out += QStringLiteral("font-style:italic;");
        if (f.fontUnderline()) out += QStringLiteral("text-underline-style:solid;");
        const QColor c = f.foreground().color();
        out += QStringLiteral("color:rgb(%1,%2,%3);").arg(c.red()).arg(c.green()).arg(c.blue());
        return out;
    }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                         int* end) const override {
        // At the end there is no character, but there is the last line.
        if (!inText(offset) || (offset == length() && type == QAccessible::CharBoundary))
            return nothing(start, end);
        span(offset, type, start, end);
        return view()->plainText(*start, *end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                             int* end) const override {
        if (!inText(offset)) return nothing(start, end);
        span(offset, type, start, end);
        if (*start <= 0) {
            *start = *end = 0;
            return {};
        }
        // Just before a line's start lies the line break of the one before.
        span(*start - 1, type, start, end);
        return view()->plainText(*start, *end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                            int* end) const override {
        if (!inText(offset)) return nothing(start, end);
        span(offset, type, start, end);
        // A line ends before its line break; the next one starts after it.
        const int after = isLineLike(type) ? *end + 1 : *end;
        if (after > length() || (after == length() && !isLineLike(type))) {
            *start = *end = length();
            return {};
        }
        span(after, type, start, end);
        return view()->plainText(*start, *end);
    }

  private:
    ChatLogView* view() const { return static_cast<ChatLogView*>(widget()); }
    int length() const { return static_cast<int>(view()->log().length()); }
    // Offsets are places between characters, from 0 to the length; a
    // character follows every place but the last.
    bool inText(int offset) const { return offset >= 0 && offset <= length(); }
    bool isCharacter(int offset) const { return offset >= 0 && offset < length(); }
    static QString nothing(int* start, int* end) {
        *start = *end = -1;
        return {};
    }
    static bool isLineLike(QAccessible::TextBoundaryType type) {
        return type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary ||
               type == QAccessible::SentenceBoundary;
    }

    // The unit of text that holds an offset: a character, a word, a line
    // (without its line break) or everything.
    void span(int offset, QAccessible::TextBoundaryType type, int* start, int* end) const {
        const int total = length();
        offset = std::clamp(offset, 0, total);
        if (type == QAccessible::NoBoundary) {
            *start = 0;
            *end = total;
            return;
        }
        if (type == QAccessible::CharBoundary) {
            *start = offset;
            *end = std::min(offset + 1, total);
            return;
        }
        const ChatLog& log = view()->log();
        const int line = log.lineOfPosition(offset);
        const int lineStart = static_cast<int>(log.position(line, 0));
        const int lineEnd = lineStart + static_cast<int>(log.lineText(line).size());
        *start = lineStart;
        *end = lineEnd;
        if (type != QAccessible::WordBoundary) return;
        const QString text = view()->plainText(lineStart, lineEnd);
        QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
        words.setPosition(offset - lineStart);
        const qsizetype from = words.isAtBoundary() ? words.position() : words.toPreviousBoundary();
        words.setPosition(offset - lineStart);
        const qsizetype to = words.toNextBoundary();
        *start = lineStart + static_cast<int>(std::max<qsizetype>(from, 0));
        *end = to < 0 ? lineEnd : lineStart + static_cast<int>(to);
    }
};

QAccessibleInterface* chatLogAccessible(const QString&, QObject* object) {
    if (auto* view = dynamic_cast<ChatLogView*>(object)) return new ChatLogAccessible(view);
    return nullptr;
}

}  // namespace

void installChatLogAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(chatLogAccessible);
        return true;
    }();
    (void)installed;
}

}  // namespace kavel::platform
