#include "desktop/find_bar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <functional>

#include "desktop/chat_log_view.h"
#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"

namespace kavel::platform {

namespace {

// The window's own shortcuts (Return sends, Up and Down page through the
// history) must not fire while the user types here.
class FindField : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;
    std::function<void(bool forward)> onFind;
    std::function<void()> onClose;

  protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ShortcutOverride) {
            switch (static_cast<QKeyEvent*>(e)->key()) {
                case Qt::Key_Return:
                case Qt::Key_Enter:
                case Qt::Key_Escape:
                case Qt::Key_Up:
                case Qt::Key_Down:
                    e->accept();
                    return true;
                default:
                    break;
            }
        }
        return QLineEdit::event(e);
    }

    void keyPressEvent(QKeyEvent* e) override {
        switch (e->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                onFind(!(e->modifiers() & Qt::ShiftModifier));
                return;
            case Qt::Key_Escape:
                onClose();
                return;
            case Qt::Key_Up:
            case Qt::Key_Down:
                return;
            default:
                QLineEdit::keyPressEvent(e);
        }
    }
};

class FindBar : public QFrame {
  public:
    FindBar(ChatLogView* view, const FindBarTexts& texts) : QFrame(view), view_(view) {
        setObjectName(QStringLiteral("findBar"));
        setFrameShape(QFrame::StyledPanel);
        setAutoFillBackground(true);

        field_ = new FindField(this);
        field_->setPlaceholderText(toQString(texts.field));
        field_->setAccessibleName(toQString(texts.field));
        field_->onFind = [this](bool forward) { find(forward); };
        field_->onClose = [this] { close(); };
        status_ = new QLabel(toQString(texts.notFound), this);
        status_->setAccessibleName(toQString(texts.notFound));
        status_->hide();
        auto* previous = new QPushButton(toQString(texts.previous), this);
        auto* next = new QPushButton(toQString(texts.next), this);
        auto* close = new QPushButton(QStringLiteral("\u00d7"), this);
        close->setAccessibleName(toQString(texts.close));
        close->setFixedWidth(close->sizeHint().height());
        close->setToolTip(toQString(texts.close));
        for (QPushButton* b : {previous, next, close}) {
            b->setFocusPolicy(Qt::NoFocus);
            b->setAutoDefault(false);
        }
        connect(previous, &QPushButton::clicked, this, [this] { find(false); });
        connect(next, &QPushButton::clicked, this, [this] { find(true); });
        connect(close, &QPushButton::clicked, this, [this] { this->close(); });

        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(4, 2, 4, 2);
        row->setSpacing(4);
        row->addWidget(field_);
        row->addWidget(status_);
        row->addWidget(previous);
        row->addWidget(next);
        row->addWidget(close);
        hide();

        // The bar lies over the view; the view's size decides its place.
        view_->installEventFilter(this);
        // Ctrl+F is caught on its way up to the window rather than made a
        // shortcut: the window's shortcuts are the room's own.
        view_->window()->installEventFilter(this);
    }

    void open() {
        if (!isVisible()) {
            returnFocus_ = view_->window()->focusWidget();
            place();
            show();
            raise();
        }
        field_->setFocus(Qt::ShortcutFocusReason);
        field_->selectAll();
    }

    void close() {
        hide();
        status_->hide();
        view_->endFind();
        if (returnFocus_) returnFocus_->setFocus(Qt::OtherFocusReason);
    }

    void find(bool forward) {
        guarded([&] {
            const QString text = field_->text();
            if (text.isEmpty()) return;
            const bool found = view_->find(text, forward);
            status_->setVisible(!found);
            place();
        });
    }

    std::string found() const { return view_->selectedText(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == view_ && e->type() == QEvent::Resize && isVisible()) place();
        if (watched == view_->window() && e->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(e)->matches(QKeySequence::Find)) {
            open();
            return true;
        }
        return false;
    }

  private:
    void place() {
        adjustSize();
        const int scroll =
            view_->verticalScrollBar()->isVisible() ? view_->verticalScrollBar()->width() : 0;
        const int w = qMin(sizeHint().width(), view_->width() - scroll - 4);
        resize(qMax(w, 0), sizeHint().height());
        move(qMax(view_->width() - scroll - width() - 2, 0), 2);
    }

    ChatLogView* view_;
    FindField* field_;
    QLabel* status_;
    QPointer<QWidget> returnFocus_;
};

FindBar* barOf(int control) {
    QWidget* widget = controlWidget(control);
    return widget
               ? widget->findChild<FindBar*>(QStringLiteral("findBar"), Qt::FindDirectChildrenOnly)
               : nullptr;
}

}  // namespace

void addFindBar(int control, const FindBarTexts& texts) {
    assertGuiThread();
    ChatLogView* view = chatLogViewOf(control);
    if (!view || barOf(control)) return;
    new FindBar(view, texts);
}

bool findBarOpen(int control) {
    assertGuiThread();
    FindBar* bar = barOf(control);
    return bar && bar->isVisible();
}

std::string foundText(int control) {
    assertGuiThread();
    FindBar* bar = barOf(control);
    return bar ? bar->found() : std::string();
}

}  // namespace kavel::platform
