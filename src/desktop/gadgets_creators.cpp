// The thirteen kinds of control the program creates, and what the user's
// actions on each of them put on the event queue.
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>

#include <algorithm>

#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/gadgets_registry.h"

namespace kavel::platform {

using namespace detail;

namespace {

// Turns focus changes of text controls into events.
class FocusWatcher : public QObject {
  public:
    FocusWatcher(int window, int id, QObject* parent) : QObject(parent), window_(window), id_(id) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn)
            pushEvent({EventKind::Control, window_, id_, EventType::FocusIn});
        else if (event->type() == QEvent::FocusOut)
            pushEvent({EventKind::Control, window_, id_, EventType::FocusOut});
        return QObject::eventFilter(watched, event);
    }

  private:
    int window_;
    int id_;
};

// Reports every click of a button-like control as a Click.
template <typename B>
void reportClicks(B* b, int window, int id) {
    QObject::connect(b, &B::clicked, [window, id] {
        pushEvent({EventKind::Control, window, id, EventType::Click});
    });
}

}  // namespace

void detail::reportListEvents(QListWidget* list, int window, int id) {
    QObject::connect(list, &QListWidget::itemClicked, [window, id](QListWidgetItem*) {
        pushEvent({EventKind::Control, window, id, EventType::LeftClick});
    });
    QObject::connect(list, &QListWidget::itemDoubleClicked, [window, id](QListWidgetItem*) {
        pushEvent({EventKind::Control, window, id, EventType::DoubleClick});
    });
    QObject::connect(list, &QListWidget::currentRowChanged, [window, id](int) {
        pushEvent({EventKind::Control, window, id, EventType::Change});
    });
}

void detail::watchFocus(int window, int id, QWidget* widget) {
    widget->installEventFilter(new FocusWatcher(window, id, widget));
}

int listBox(int window, int id, int x, int y, int w, int h) {
    assertGuiThread();
    auto* list = new QListWidget;
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    id = place(window, id, list, Kind::ListBox, x, y, w, h);
    if (id < 0) return -1;
    reportListEvents(list, window, id);
    QObject::connect(list, &QWidget::customContextMenuRequested, [window, id](const QPoint&) {
        pushEvent({EventKind::Control, window, id, EventType::RightClick});
    });
    return id;
}

int button(int window, int id, int x, int y, int w, int h, std::string_view text, bool wrap) {
    assertGuiThread();
    auto* b = new QPushButton(caption(text));
    if (wrap) {
        // QPushButton cannot wrap; a label inside it can.
        b->setText({});
        auto* inner = new QLabel(caption(text), b);
        inner->setWordWrap(true);
        inner->setAlignment(Qt::AlignCenter);
        inner->setAttribute(Qt::WA_TransparentForMouseEvents);
        inner->setGeometry(2, 2, std::max(0, w - 4), std::max(0, h - 4));
        inner->setObjectName(QStringLiteral("wrapLabel"));
    }
    id = place(window, id, b, Kind::Button, x, y, w, h, q(text));
    if (id < 0) return -1;
    reportClicks(b, window, id);
    return id;
}

int checkBox(int window, int id, int x, int y, int w, int h, std::string_view text) {
    assertGuiThread();
    auto* c = new QCheckBox(caption(text));
    id = place(window, id, c, Kind::CheckBox, x, y, w, h, q(text));
    if (id < 0) return -1;
    reportClicks(c, window, id);
    return id;
}

int optionButton(int window, int id, int x, int y, int w, int h, std::string_view text) {
    assertGuiThread();
    auto* r = new QRadioButton(caption(text));
    id = place(window, id, r, Kind::Option, x, y, w, h, q(text));
    if (id < 0) return -1;
    reportClicks(r, window, id);
    return id;
}

int textField(int window, int id, int x, int y, int w, int h, std::string_view text,
              bool password) {
    assertGuiThread();
    auto* e = new QLineEdit(q(text));
    if (password) e->setEchoMode(QLineEdit::Password);
    id = place(window, id, e, Kind::TextField, x, y, w, h, password ? QString() : q(text));
    if (id < 0) return -1;
    QObject::connect(e, &QLineEdit::textEdited, [window, id](const QString&) {
        pushEvent({EventKind::Control, window, id, EventType::Change});
    });
    watchFocus(window, id, e);
    return id;
}

int editor(int window, int id, int x, int y, int w, int h, bool readOnly) {
    assertGuiThread();
    auto* e = new QPlainTextEdit;
    e->setReadOnly(readOnly);
    e->setContextMenuPolicy(Qt::CustomContextMenu);
    id = place(window, id, e, Kind::Editor, x, y, w, h);
    if (id < 0) return -1;
    QObject::connect(e, &QPlainTextEdit::textChanged, [window, id] {
        pushEvent({EventKind::Control, window, id, EventType::Change});
    });
    QObject::connect(e, &QWidget::customContextMenuRequested, [window, id](const QPoint&) {
        pushEvent({EventKind::Control, window, id, EventType::RightClick});
    });
    watchFocus(window, id, e);
    return id;
}

int label(int window, int id, int x, int y, int w, int h, std::string_view text, bool centred) {
    assertGuiThread();
    auto* l = new QLabel(q(text));
    l->setTextFormat(Qt::PlainText);
    if (centred) l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return place(window, id, l, Kind::Label, x, y, w, h, q(text));
}

int frame(int window, int id, int x, int y, int w, int h, std::string_view text) {
    assertGuiThread();
    auto* g = new QGroupBox(caption(text));
    id = place(window, id, g, Kind::Frame, x, y, w, h, q(text));
    if (id < 0) return -1;
    // A frame drawn around controls must never swallow their clicks.
    g->setAttribute(Qt::WA_TransparentForMouseEvents);
    g->lower();
    return id;
}

int comboBox(int window, int id, int x, int y, int w, int h) {
    assertGuiThread();
    auto* c = new QComboBox;
    // h is the height of the opened list, not of the closed box.
    c->setMaxVisibleItems(std::max(1, h / 20));
    id = place(window, id, c, Kind::Combo, x, y, w, c->sizeHint().height());
    if (id < 0) return -1;
    // The user's choice, also of the entry already shown (a preselected
    // profile must load when chosen); filling the list is no choice.
    QObject::connect(c, &QComboBox::activated, [window, id](int) {
        pushEvent({EventKind::Control, window, id, EventType::Change});
    });
    return id;
}

int imageControl(int window, int id, int x, int y, int w, int h, bool border) {
    assertGuiThread();
    auto* l = new QLabel;
    if (border) l->setFrameStyle(QFrame::Box | QFrame::Plain);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return place(window, id, l, Kind::Image, x, y, w, h);
}

int imageButton(int window, int id, int x, int y, int w, int h) {
    assertGuiThread();
    auto* b = new QPushButton;
    b->setIconSize(QSize(std::max(0, w - 4), std::max(0, h - 4)));
    id = place(window, id, b, Kind::ImageButton, x, y, w, h);
    if (id < 0) return -1;
    reportClicks(b, window, id);
    return id;
}

int splitter(int window, int id, int x, int y, int w, int h, int first, int second, bool vertical,
             int position, bool secondFixed) {
    assertGuiThread();
    ControlRec* a = findControl(first);
    ControlRec* b = findControl(second);
    if (!a || !b || a->window != window || b->window != window) return -1;
    QWidget* wa = a->widget;
    QWidget* wb = b->widget;
    auto* s = new QSplitter(vertical ? Qt::Horizontal : Qt::Vertical);
    s->setChildrenCollapsible(false);
    // A list's own minimum height (about 70 px) would overrule the divider
    // position the window asks for; the layout here is the program's.
    wa->setMinimumSize(1, 1);
    wb->setMinimumSize(1, 1);
    s->addWidget(wa);
    s->addWidget(wb);
    s->setStretchFactor(0, secondFixed ? 1 : 0);
    s->setStretchFactor(1, secondFixed ? 0 : 1);
    id = place(window, id, s, Kind::Splitter, x, y, w, h);
    if (id < 0) return -1;
    setControlState(id, position);
    return id;
}

int panel(int window, int id, int x, int y, int w, int h) {
    assertGuiThread();
    auto* t = new QTabWidget;
    id = place(window, id, t, Kind::Panel, x, y, w, h);
    if (id < 0) return -1;
    QObject::connect(t, &QTabWidget::currentChanged, [window, id](int) {
        pushEvent({EventKind::Control, window, id, EventType::Change});
    });
    return id;
}

void addPanelTab(int panelId, std::string_view title) {
    assertGuiThread();
    ControlRec* c = findControl(panelId);
    auto* t = c ? qobject_cast<QTabWidget*>(c->widget.data()) : nullptr;
    WindowRec* rec = c ? findWindow(c->window) : nullptr;
    if (!t || !rec) return;
    auto* page = new QWidget;
    page->setAccessibleName(q(title));
    QSignalBlocker quiet(t);
    t->addTab(page, caption(title));
    rec->openPage = page;
}

void closePanelTabs(int panelId) {
    assertGuiThread();
    ControlRec* c = findControl(panelId);
    if (!c) return;
    if (WindowRec* rec = findWindow(c->window)) rec->openPage = nullptr;
}

}  // namespace kavel::platform
