#include "desktop/input_line.h"

#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTextCharFormat>
#include <algorithm>
#include <unordered_set>

#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"
#include "desktop/gadgets_registry.h"
#include "desktop/spell_marks.h"

namespace kavel::platform {

using namespace detail;

namespace {

constexpr int kMostSuggestions = 8;

std::unordered_set<InputLine*>& lines() {
    static std::unordered_set<InputLine*> all;
    return all;
}

InputLine* inputLineOf(int control) {
    assertGuiThread();
    return dynamic_cast<InputLine*>(controlWidget(control));
}

}  // namespace

InputLine::InputLine(int window, QWidget* parent) : QLineEdit(parent), window_(window) {
    lines().insert(this);
    connect(this, &QLineEdit::textChanged, this, [this] { recheck(); });
    connect(this, &QLineEdit::cursorPositionChanged, this, [this] { recheck(); });
}

InputLine::~InputLine() {
    lines().erase(this);
}

void InputLine::setWordFinder(WordFinder finder) {
    finder_ = std::move(finder);
    recheck();
}

void InputLine::recheck() {
    if (composing_) return;
    std::vector<WordSpan> marks;
    if (finder_ && spellingWanted() && spellingAvailable()) {
        const std::string line = fromQString(text());
        const auto caret = static_cast<uint32_t>(cursorPosition());
        // Focus within the window: the word stays unmarked while the user
        // looks at another window, just as while typing.
        const bool typing = window()->focusWidget() == this;
        for (const WordSpan& word : finder_(line)) {
            if (word.start + word.length > line.size()) continue;
            // The word still being typed is left alone until it is done.
            if (typing && word.start + word.length == caret) continue;
            if (!wordKnown(std::string_view(line).substr(word.start, word.length)))
                marks.push_back(word);
        }
    }
    mark(std::move(marks));
}

void InputLine::mark(std::vector<WordSpan> marks) {
    if (marks == misspelt_) return;
    misspelt_ = std::move(marks);
    QTextCharFormat wavy;
    wavy.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    wavy.setUnderlineColor(Qt::red);
    QList<QInputMethodEvent::Attribute> formats;
    // The line reads the starts relative to its caret.
    const int caret = cursorPosition();
    for (const WordSpan& word : misspelt_)
        formats.append({QInputMethodEvent::TextFormat, static_cast<int>(word.start) - caret,
                        static_cast<int>(word.length), wavy});
    QInputMethodEvent marking(QString(), formats);
    QLineEdit::inputMethodEvent(&marking);
}

void InputLine::inputMethodEvent(QInputMethodEvent* event) {
    composing_ = !event->preeditString().isEmpty();
    QLineEdit::inputMethodEvent(event);
    // The input method's formats replaced the marks.
    misspelt_.clear();
    recheck();
}

bool InputLine::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
        // Tab belongs to name completion; the keyboard still leaves the line
        // with Ctrl+Tab, as it leaves any editor that takes Tab for itself.
        const Qt::KeyboardModifiers leave = back ? Qt::ControlModifier | Qt::ShiftModifier
                                                 : Qt::KeyboardModifiers(Qt::ControlModifier);
        if (tab && key->modifiers() == leave) {
            focusNextPrevChild(!back);
            event->accept();
            return true;
        }
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (plain && tab) {
            pushEvent({EventKind::Control, window_, id_,
                       back ? EventType::TabBack : EventType::TabForward});
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void InputLine::replaceWord(WordSpan span, const QString& old, const QString& by) {
    // The menu may outlive an edit of the line: only the word it was made
    // for is replaced.
    if (text().mid(static_cast<int>(span.start), static_cast<int>(span.length)) != old) return;
    setSelection(static_cast<int>(span.start), static_cast<int>(span.length));
    insert(by);
}

QMenu* InputLine::createSpellingMenu(const QPoint& point) {
    QMenu* menu = createStandardContextMenu();
    const auto at = static_cast<uint32_t>(cursorPositionAt(point));
    const auto hit = std::find_if(misspelt_.begin(), misspelt_.end(), [at](const WordSpan& w) {
        return at >= w.start && at <= w.start + w.length;
    });
    if (hit == misspelt_.end()) return menu;
    const WordSpan span = *hit;
    const QString old = text().mid(static_cast<int>(span.start), static_cast<int>(span.length));
    const std::string word = fromQString(old);
    QAction* first = menu->actions().value(0);
    std::vector<std::string> suggestions = spellingSuggestions(word);
    if (suggestions.size() > kMostSuggestions) suggestions.resize(kMostSuggestions);
    for (const std::string& suggestion : suggestions) {
        auto* action = new QAction(toQString(suggestion), menu);
        const QString by = toQString(suggestion);
        connect(action, &QAction::triggered, this,
                [this, span, old, by] { replaceWord(span, old, by); });
        menu->insertAction(first, action);
    }
    if (suggestions.empty()) {
        auto* none = new QAction(toQString("(keine Vorschl\xE4ge)"), menu);
        none->setEnabled(false);
        menu->insertAction(first, none);
    }
    menu->insertSeparator(first);
    auto* add = new QAction(toQString("Zum W\xF6rterbuch hinzuf\xFCgen"), menu);
    connect(add, &QAction::triggered, this, [word] { addToPersonalWords(word); });
    menu->insertAction(first, add);
    menu->insertSeparator(first);
    return menu;
}

void InputLine::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createSpellingMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void refreshSpellingMarks() {
    for (InputLine* line : lines())
        line->recheck();
}

int inputLine(int window, int id, int x, int y, int w, int h) {
    assertGuiThread();
    auto* line = new InputLine(window);
    id = place(window, id, line, Kind::TextField, x, y, w, h);
    if (id < 0) return -1;
    line->setControl(id);
    QObject::connect(line, &QLineEdit::textEdited, [window, id](const QString&) {
        pushEvent({EventKind::Control, window, id, EventType::Change});
    });
    watchFocus(window, id, line);
    return id;
}

int textCaret(int id) {
    assertGuiThread();
    auto* line = dynamic_cast<QLineEdit*>(controlWidget(id));
    return line ? line->cursorPosition() : 0;
}

void setTextCaret(int id, int position) {
    assertGuiThread();
    if (auto* line = dynamic_cast<QLineEdit*>(controlWidget(id))) line->setCursorPosition(position);
}

void checkSpelling(int control, WordFinder finder) {
    if (InputLine* line = inputLineOf(control)) line->setWordFinder(std::move(finder));
}

std::vector<WordSpan> misspeltWords(int control) {
    InputLine* line = inputLineOf(control);
    return line ? line->misspelt() : std::vector<WordSpan>{};
}

}  // namespace kavel::platform
