#include "editor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QThread>
#include <QTreeWidget>

#include <future>
#include <memory>

#include "common/LEXER.h"
#include "common/misc.h"
#include "desktop/encoding.h"
#include "store.h"

namespace tauschwerk {

namespace {

using kavel::platform::fromQString;
using kavel::platform::toQString;

// The window's texts, Windows-1252 like every text of the client.
const char* const kEditorTexts[] = {
    "Wort:",
    "Ersetzung:",
    "Regel hinzuf\xFCgen",
    "Regel ersetzen",
    "Ausgew\xE4hlte Regel l\xF6schen",
    "Abbrechen",
    "Speichern und Ende",
    "Controlpanel",
    "Vorschau",
    "Wort",
    "Ersetzung",
};
enum EditorText {
    WordLabel,
    ReplacementLabel,
    AddButton,
    ReplaceButton,
    DeleteButton,
    CancelButton,
    SaveButton,
    ControlFrame,
    PreviewFrame,
    WordColumn,
    ReplacementColumn,
};

QString editorText(EditorText index) {
    return toQString(kEditorTexts[index]);
}

constexpr int kWidth = 484;
constexpr int kHeight = 363;

struct Outcome {
    bool save = false;
    RuleList rules;
};
using Answer = std::promise<Outcome>;

class RuleEditor;
RuleEditor* openEditor = nullptr;  // touched on the GUI thread only

class RuleEditor : public QWidget {
  public:
    RuleEditor(QWidget* owner, const RuleList& rules, std::shared_ptr<Answer> answer)
        : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
          answer_(std::move(answer)) {
        setWindowTitle(QStringLiteral("KAVEL > Makro Editor"));
        setAccessibleName(windowTitle());
        setFixedSize(kWidth, kHeight);
        // The places are made for a compact dialog font, like the client's
        // own fixed windows; the default font would clip the captions.
        QFont compact = font();
        compact.setPointSizeF(8);
        setFont(compact);

        label(WordLabel, 20, 40);
        word_ = field(80, 40, editorText(WordColumn));
        // Rule words are matched case-sensitively, and the user types them
        // in lower case whatever the keyboard says.
        QObject::connect(word_, &QLineEdit::textEdited, word_, [field = word_](const QString& t) {
            const QString lower = t.toLower();
            if (lower == t) return;
            const int at = field->cursorPosition();
            field->setText(lower);
            field->setCursorPosition(at);
        });
        label(ReplacementLabel, 20, 70);
        replacement_ = field(80, 70, editorText(ReplacementColumn));

        frame(ControlFrame, 10, 120, 250, 90);
        button(AddButton, 30, 140, 100, 20, false, [this] { addRule(); });
        button(ReplaceButton, 140, 140, 100, 20, false, [this] { replaceRule(); });
        button(DeleteButton, 80, 170, 110, 30, true, [this] { deleteRule(); });

        frame(PreviewFrame, 10, 230, 250, 80);
        preview_ = new QTextEdit(this);
        preview_->setGeometry(20, 250, 230, 50);
        preview_->setReadOnly(true);
        preview_->setAccessibleName(editorText(PreviewFrame));

        button(SaveButton, 20, 320, 100, 30, true, [this] { finish(true); });
        button(CancelButton, 150, 320, 100, 30, true, [this] { finish(false); });

        list_ = new QTreeWidget(this);
        list_->setGeometry(290, 30, 170, 320);
        list_->setColumnCount(2);
        list_->setHeaderLabels({editorText(WordColumn), editorText(ReplacementColumn)});
        list_->header()->setStretchLastSection(false);
        list_->header()->resizeSection(0, 55);
        list_->header()->resizeSection(1, 90);
        list_->setRootIsDecorated(false);
        list_->setSelectionMode(QAbstractItemView::SingleSelection);
        list_->setSelectionBehavior(QAbstractItemView::SelectRows);
        list_->setAccessibleName(QStringLiteral("Regeln"));
        QPalette palette = list_->palette();
        for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
            palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
        list_->setPalette(palette);
        for (const Rule& rule : rules)
            addRow(toQString(rule.word), toQString(rule.replacement));
        QObject::connect(list_, &QTreeWidget::itemClicked, list_,
                         [this](QTreeWidgetItem* item) { showPreview(item); });
        QObject::connect(list_, &QTreeWidget::itemDoubleClicked, list_,
                         [this](QTreeWidgetItem* item) { editRow(item); });

        if (QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
    }

    // However the window goes (also with its owner), Setup's thread gets its
    // answer; the last thing the editor does.
    ~RuleEditor() override {
        if (openEditor == this) openEditor = nullptr;
        answer_->set_value(std::move(outcome_));
    }

  protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        finish(false);
    }

  private:
    void label(EditorText text, int x, int y) {
        auto* l = new QLabel(editorText(text), this);
        l->setGeometry(x, y, 60, 20);
        l->setAlignment(Qt::AlignCenter);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }

    QLineEdit* field(int x, int y, const QString& name) {
        auto* f = new QLineEdit(this);
        f->setGeometry(x, y, 170, 20);
        f->setAccessibleName(name);
        return f;
    }

    void frame(EditorText text, int x, int y, int w, int h) {
        auto* g = new QGroupBox(editorText(text), this);
        g->setGeometry(x, y, w, h);
        g->setAttribute(Qt::WA_TransparentForMouseEvents);
        g->lower();
    }

    template <typename Action>
    void button(EditorText text, int x, int y, int w, int h, bool wrap, Action action) {
        auto* b = new QPushButton(this);
        b->setGeometry(x, y, w, h);
        b->setAccessibleName(editorText(text));
        if (wrap) {
            // A push button cannot wrap its caption; a label inside it can.
            auto* inner = new QLabel(editorText(text), b);
            inner->setWordWrap(true);
            inner->setAlignment(Qt::AlignCenter);
            inner->setAttribute(Qt::WA_TransparentForMouseEvents);
            inner->setGeometry(2, 2, w - 4, h - 4);
        } else {
            b->setText(editorText(text));
        }
        QObject::connect(b, &QPushButton::clicked, b, action);
    }

    void addRow(const QString& word, const QString& replacement) {
        list_->addTopLevelItem(new QTreeWidgetItem(QStringList{word, replacement}));
    }

    QTreeWidgetItem* selectedRow() const {
        QTreeWidgetItem* item = list_->currentItem();
        return item && item->isSelected() ? item : nullptr;
    }

    void addRule() {
        if (word_->text().isEmpty() || replacement_->text().isEmpty()) return;
        addRow(word_->text(), replacement_->text());
    }

    void replaceRule() {
        QTreeWidgetItem* row = selectedRow();
        if (!row || word_->text().isEmpty() || replacement_->text().isEmpty()) return;
        row->setText(0, word_->text());
        row->setText(1, replacement_->text());
    }

    void deleteRule() {
        if (QTreeWidgetItem* row = selectedRow())
            delete list_->takeTopLevelItem(list_->indexOfTopLevelItem(row));
    }

    void showPreview(QTreeWidgetItem* row) {
        if (row) RenderPreview(fromQString(row->text(1)), preview_);
    }

    void editRow(QTreeWidgetItem* row) {
        if (!row) return;
        word_->setText(row->text(0));
        replacement_->setText(row->text(1));
    }

    void finish(bool save) {
        if (finishing_) return;
        finishing_ = true;
        outcome_.save = save;
        if (save) {
            for (int i = 0; i < list_->topLevelItemCount(); ++i) {
                const QTreeWidgetItem* row = list_->topLevelItem(i);
                outcome_.rules.push_back({fromQString(row->text(0)), fromQString(row->text(1))});
            }
        }
        hide();
        // Deleted from a queued call, not from inside its own button's
        // signal; the destructor gives Setup's thread the answer.
        QMetaObject::invokeMethod(
            qApp, [self = QPointer<RuleEditor>(this)] { delete self.data(); },
            Qt::QueuedConnection);
    }

    QLineEdit* word_ = nullptr;
    QLineEdit* replacement_ = nullptr;
    QTextEdit* preview_ = nullptr;
    QTreeWidget* list_ = nullptr;
    std::shared_ptr<Answer> answer_;
    Outcome outcome_;
    bool finishing_ = false;
};

// mainWindow is only an address; use it only if it really is one of this
// application's windows.
QWidget* ownerWindow(const KavelClientState* client) {
    if (!client) return nullptr;
    const void* candidate = client->mainWindow;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window == candidate) return window;
    return nullptr;
}

void openOrRaise(const KavelClientState* client, const RuleList& rules,
                 std::shared_ptr<Answer> answer) {
    if (openEditor) {
        openEditor->raise();
        openEditor->activateWindow();
        answer->set_value({});
        return;
    }
    openEditor = new RuleEditor(ownerWindow(client), rules, std::move(answer));
    openEditor->show();
    openEditor->raise();
    openEditor->activateWindow();
}

// Case-insensitive for ASCII letters, left to right, never looking into
// text that was just put in.
void replaceNoCase(std::string& text, std::string_view from, std::string_view to) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    std::size_t i = 0;
    while (i + from.size() <= text.size()) {
        bool same = true;
        for (std::size_t k = 0; k < from.size() && same; ++k)
            same = lower(text[i + k]) == lower(from[k]);
        if (same) {
            text.replace(i, from.size(), to);
            i += to.size();
        } else {
            ++i;
        }
    }
}

bool isUrlWord(const std::string& word) {
    std::string lower = word;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return lower == "http" || lower == "www" || lower == "ftp" || lower == "https";
}

}  // namespace

uint32_t runEditor(KavelClientState* client) {
    QCoreApplication* app = QCoreApplication::instance();
    // Widgets need a GUI application, and the GUI thread must be free to
    // build the window while this thread waits.
    if (!qobject_cast<QApplication*>(app) || QThread::currentThread() == app->thread()) return 0;
    auto answer = std::make_shared<Answer>();
    std::future<Outcome> outcome = answer->get_future();
    QMetaObject::invokeMethod(
        app,
        [client, rules = currentRules(), answer]() mutable {
            openOrRaise(client, rules, std::move(answer));
        },
        Qt::QueuedConnection);
    Outcome result;
    try {
        result = outcome.get();
    } catch (const std::future_error&) {
        return 0;  // the application ended before the window could open
    }
    if (result.save) replaceRules(std::move(result.rules));
    return 0;
}

void RenderPreview(const std::string& input, QTextEdit* preview) {
    preview->clear();
    if (input.empty()) return;
    std::string text = input;
    replaceNoCase(text, "[b",
                  "\x0b"
                  "b");
    replaceNoCase(text, "[i",
                  "\x0b"
                  "i");
    replaceNoCase(text, "b]",
                  "\x0b"
                  "b");
    replaceNoCase(text, "i]",
                  "\x0b"
                  "i");
    replaceNoCase(text, "[c=",
                  "\x0b"
                  "c");

    int style = 0;  // 1 bold, 2 italic, 4 underlined
    QColor colour(Qt::black);
    QTextCursor cursor(preview->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    auto setFormat = [&] {
        format = QTextCharFormat();
        format.setFontWeight((style & 1) ? QFont::Bold : QFont::Normal);
        format.setFontItalic((style & 2) != 0);
        format.setFontUnderline((style & 4) != 0);
        format.setFontPointSize(10);
        format.setForeground(colour);
    };
    auto show = [&](std::size_t from, std::size_t to) {
        if (to > from)
            cursor.insertText(toQString(std::string_view(text).substr(from, to - from)), format);
    };
    setFormat();

    std::size_t flushed = 0;
    kavel::TextToken token;
    while (kavel::Lex(text, token, kavel::lexstart::Fresh)) {
        auto end = static_cast<std::size_t>(token.position);
        const std::size_t start = end - token.text.size();
        uint8_t type = token.type;
        if (type == kavel::lex::Word && isUrlWord(token.text)) {
            kavel::TextToken url;
            url.position = static_cast<int32_t>(start + 1);
            kavel::Lex(text, url, kavel::lexstart::ContinueUrl);
            end = static_cast<std::size_t>(url.position);
            token.position = url.position;
            type = kavel::lex::Url;
        }
        switch (type) {
            case kavel::lex::Colour: {
                show(flushed, start);
                // The byte after the code, whatever it is, and the hex
                // digits that follow it.
                std::size_t runEnd = std::min(end + 1, text.size());
                kavel::TextToken hex;
                hex.position = static_cast<int32_t>(end + 1);
                if (kavel::Lex(text, hex, kavel::lexstart::HexDigits))
                    runEnd = static_cast<std::size_t>(hex.position);
                if (runEnd - end >= 6) {
                    std::string rgb = text.substr(end, 6);
                    for (char& c : rgb)
                        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
                    const int32_t value = kavel::hexToColour(rgb);
                    colour = QColor(kavel::red(value), kavel::green(value), kavel::blue(value));
                    flushed = end + 6;
                } else {
                    flushed = runEnd;  // too short: swallowed, colour unchanged
                }
                token.position = static_cast<int32_t>(runEnd);
                setFormat();
                break;
            }
            case kavel::lex::Bold:
            case kavel::lex::Italic:
                show(flushed, start);
                style ^= type == kavel::lex::Bold ? 1 : 2;
                flushed = end;
                setFormat();
                break;
            case kavel::lex::Url: {
                show(flushed, start);
                const int keptStyle = style;
                const QColor keptColour = colour;
                colour = Qt::black;
                style |= 1 | 4;
                flushed = end;
                setFormat();
                show(start, end);
                style = keptStyle;
                colour = keptColour;
                setFormat();
                break;
            }
            default:
                break;  // stays pending and is shown with the text around it
        }
    }
    show(flushed, text.size());
}

}  // namespace tauschwerk
