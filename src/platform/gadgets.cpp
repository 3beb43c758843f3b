// The window facade over Qt Widgets. Qt signals only ever push Event records;
// the program's handlers run from the main loop, never inside a Qt callback,
// so a handler may close the very window whose button was pressed.
#include "platform/gadgets.h"

#include "common/reset.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QThread>
#include <QToolTip>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>

#include "platform/encoding.h"
#include "platform/gadgets_qt.h"

namespace kavel::platform {

namespace {

// Numbers handed out for kAnyId start well above every fixed number.
constexpr int kFirstFreeWindow = 1000;
constexpr int kFirstFreeControl = 10000;

enum class Kind {
    ListBox,
    Button,
    CheckBox,
    Option,
    TextField,
    Editor,
    Label,
    Frame,
    Combo,
    Image,
    ImageButton,
    Splitter,
    Panel,
    Adopted,
};

struct ControlRec {
    QPointer<QWidget> widget;
    int window = -1;
    Kind kind = Kind::Adopted;
};

class Frame;

struct WindowRec {
    QPointer<Frame> frame;
    QPointer<QWidget> canvas;
    QPointer<QMenuBar> menuBar;
    int parent = -1;
    bool resizable = false;
    QSize lastInner;                         // last size reported as Resized
    QPointer<QWidget> openPage;              // tab page that receives new controls
    std::map<int, QPointer<QAction>> items;  // menu bar items by number
    std::map<int, std::string> itemTexts;
    std::vector<int> itemOrder;
};

struct PopupRec {
    QPointer<QMenu> menu;
    int window = -1;
};

// Menu under construction (beginMenuBar / beginPopupMenu ... endMenu).
struct MenuBuild {
    bool active = false;
    int window = -1;
    int popup = 0;  // popup handle, 0 for a menu bar
    QMenuBar* bar = nullptr;
    QMenu* popupMenu = nullptr;
    std::vector<QMenu*> stack;
    std::map<int, QPointer<QAction>> items;
    std::map<int, std::string> itemTexts;
    std::vector<int> itemOrder;
};

std::deque<Event> queue;
std::map<int, WindowRec> windows;
std::map<int, ControlRec> controls;
std::map<int, PopupRec> popups;
MenuBuild build;
int nextPopup = 1;
DialogAnswerer answerer;
const bool answererRegistered = registerReset([] { answerer = nullptr; });

QString q(std::string_view s) {
    return toQString(s);
}

// Captions go through Qt's mnemonic parsing; a room called "R&B" must keep
// its ampersand.
QString caption(std::string_view s) {
    return toQString(s).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QString uncaption(QString s) {
    return s.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

// The program separates lines with carriage returns; Qt wants line feeds.
QString multiline(std::string_view s) {
    QString t = toQString(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

WindowRec* findWindow(int window) {
    auto it = windows.find(window);
    if (it == windows.end() || !it->second.frame) return nullptr;
    return &it->second;
}

ControlRec* findControl(int id) {
    auto it = controls.find(id);
    if (it == controls.end()) return nullptr;
    if (!it->second.widget) {
        controls.erase(it);
        return nullptr;
    }
    return &it->second;
}

template <typename T>
T* as(int id) {
    ControlRec* c = findControl(id);
    return c ? qobject_cast<T*>(c->widget.data()) : nullptr;
}

void dropQueuedFor(int window) {
    std::erase_if(queue, [window](const Event& e) { return e.window == window; });
}

// Forgets every control that lives inside widget (or is it).
void forgetControlsIn(QWidget* widget) {
    std::erase_if(controls, [widget](const auto& entry) {
        QWidget* w = entry.second.widget.data();
        return !w || w == widget || widget->isAncestorOf(w);
    });
}

class Frame : public QWidget {
  public:
    Frame(int number, QWidget* parent, Qt::WindowFlags flags)
        : QWidget(parent, flags), number_(number) {}

    void relayout() {
        WindowRec* rec = findWindow(number_);
        if (!rec || !rec->canvas) return;
        int top = 0;
        if (rec->menuBar) {
            top = rec->menuBar->sizeHint().height();
            rec->menuBar->setGeometry(0, 0, width(), top);
        }
        rec->canvas->setGeometry(0, top, width(), std::max(0, height() - top));
    }

  protected:
    void closeEvent(QCloseEvent* event) override {
        // The handler decides whether the window closes.
        event->ignore();
        pushEvent({EventKind::CloseRequest, number_, 0, EventType::None});
    }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        relayout();
        WindowRec* rec = findWindow(number_);
        if (!rec || !rec->canvas) return;
        const QSize inner = rec->canvas->size();
        if (inner != rec->lastInner) {
            rec->lastInner = inner;
            pushEvent({EventKind::Resized, number_, 0, EventType::None});
        }
    }

  private:
    int number_;
};

class Canvas : public QWidget {
  public:
    Canvas(int number, QWidget* parent) : QWidget(parent), number_(number) {}

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::RightButton)
            pushEvent({EventKind::RightButton, number_, 0, EventType::None});
        QWidget::mousePressEvent(event);
    }

  private:
    int number_;
};

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

int freeWindowNumber() {
    int n = kFirstFreeWindow;
    while (windows.count(n))
        ++n;
    return n;
}

int freeControlNumber() {
    int n = kFirstFreeControl;
    while (controls.count(n))
        ++n;
    return n;
}

QWidget* containerFor(WindowRec& rec) {
    if (rec.openPage) return rec.openPage;
    return rec.canvas;
}

QString kindName(Kind kind) {
    switch (kind) {
        case Kind::ListBox:
            return QStringLiteral("Liste");
        case Kind::TextField:
            return QStringLiteral("Eingabefeld");
        case Kind::Editor:
            return QStringLiteral("Textfeld");
        case Kind::Combo:
            return QStringLiteral("Auswahlliste");
        case Kind::Image:
        case Kind::ImageButton:
            return QStringLiteral("Bild");
        case Kind::Splitter:
            return QStringLiteral("Teiler");
        case Kind::Panel:
            return QStringLiteral("Registerkarten");
        default:
            return QStringLiteral("Element");
    }
}

// Places a new widget as control id of window; returns the number or -1.
int place(int window, int id, QWidget* widget, Kind kind, int x, int y, int w, int h,
          const QString& name = {}) {
    WindowRec* rec = findWindow(window);
    if (!rec) {
        delete widget;
        return -1;
    }
    if (id == kAnyId) id = freeControlNumber();
    if (findControl(id)) freeControl(id);
    widget->setParent(containerFor(*rec));
    widget->setGeometry(x, y, w, h);
    widget->setAccessibleName(name.isEmpty() ? kindName(kind) : name);
    widget->show();
    controls[id] = ControlRec{widget, window, kind};
    return id;
}

void watchFocus(int window, int id, QWidget* widget) {
    widget->installEventFilter(new FocusWatcher(window, id, widget));
}

void addMenuAction(QMenu* menu, int window, int id, std::string_view text, bool disabled) {
    QAction* action = menu->addAction(caption(text));
    action->setEnabled(!disabled);
    QObject::connect(action, &QAction::triggered, [window, id] {
        pushEvent({EventKind::Menu, window, id, EventType::None});
    });
    build.items[id] = action;
    build.itemTexts[id] = std::string(text);
    build.itemOrder.push_back(id);
}

QMenu* currentMenu() {
    if (build.stack.empty()) return build.popupMenu;
    return build.stack.back();
}

DialogAnswer ask(const DialogRequest& request) {
    return answerer(request);
}

}  // namespace

void assertGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        std::fprintf(stderr, "kavel: window facade used without a QApplication\n");
        std::abort();
    }
    if (QThread::currentThread() != app->thread()) {
        std::fprintf(stderr, "kavel: window facade used off the GUI thread\n");
        std::abort();
    }
}

namespace {
std::unique_ptr<QApplication> application;
}  // namespace

bool startDesktop(int& argc, char** argv) {
    if (QCoreApplication::instance()) return true;
    application = std::make_unique<QApplication>(argc, argv);
    // The program decides when it ends, not the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);
    return true;
}

void endDesktop() {
    std::vector<int> open;
    for (auto& [n, rec] : windows)
        if (rec.parent < 0) open.push_back(n);
    for (int n : open)
        closeWindow(n);
    popups.clear();
    queue.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    application.reset();
}

void pushEvent(const Event& event) {
    queue.push_back(event);
}

// --- events ---------------------------------------------------------------

Event pollEvent() {
    assertGuiThread();
    if (queue.empty()) {
        QCoreApplication::processEvents();
        // Our loop is not Qt's: deleteLater() would otherwise wait forever.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    if (queue.empty()) return {};
    Event e = queue.front();
    queue.pop_front();
    return e;
}

void postEvent(const Event& event) {
    pushEvent(event);
}

void clearEvents() {
    queue.clear();
}

// --- windows --------------------------------------------------------------

int openWindow(int number, int x, int y, int width, int height, std::string_view title,
               unsigned flags, int parent) {
    assertGuiThread();
    if (number == kAnyId) number = freeWindowNumber();
    if (findWindow(number)) closeWindow(number);

    WindowRec* owner = parent >= 0 ? findWindow(parent) : nullptr;
    Qt::WindowFlags wf = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (flags & (kSystemMenu | kMinMaxGadgets))
        wf |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (flags & kMinMaxGadgets) wf |= Qt::WindowMinMaxButtonsHint;

    auto* frame = new Frame(number, owner ? owner->frame.data() : nullptr, wf);
    frame->setAttribute(Qt::WA_DeleteOnClose, false);
    frame->setWindowTitle(q(title));
    frame->setAccessibleName(q(title));
    auto* canvas = new Canvas(number, frame);

    WindowRec& rec = windows[number];
    rec = WindowRec{};
    rec.frame = frame;
    rec.canvas = canvas;
    rec.parent = owner ? parent : -1;
    rec.resizable = (flags & kSizeGadget) != 0;
    rec.lastInner = QSize(width, height);
    if (rec.resizable)
        frame->resize(width, height);
    else
        frame->setFixedSize(width, height);
    frame->relayout();

    QPoint at(x, y);
    if (flags & (kScreenCentred | kParentCentred)) {
        QRect area;
        if ((flags & kParentCentred) && owner)
            area = owner->frame->frameGeometry();
        else if (QScreen* screen = QGuiApplication::primaryScreen())
            area = screen->availableGeometry();
        at = area.center() - QPoint(width / 2, height / 2);
    }
    frame->move(at);
    if (!(flags & kInvisible)) frame->show();
    return number;
}

bool windowExists(int window) {
    return findWindow(window) != nullptr;
}

void closeWindow(int window) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    if (!rec) {
        windows.erase(window);
        return;
    }
    // Owned windows go with their owner, and Qt would delete their widgets
    // behind our back.
    std::vector<int> owned;
    for (auto& [n, r] : windows)
        if (r.parent == window && n != window) owned.push_back(n);
    for (int n : owned)
        closeWindow(n);

    rec = findWindow(window);
    if (!rec) return;
    QPointer<Frame> frame = rec->frame;
    forgetControlsIn(frame);
    std::erase_if(popups, [window](const auto& p) {
        if (p.second.window != window) return false;
        if (p.second.menu) p.second.menu->deleteLater();
        return true;
    });
    windows.erase(window);
    dropQueuedFor(window);
    if (frame) {
        frame->hide();
        frame->deleteLater();
    }
}

void showWindow(int window) {
    assertGuiThread();
    if (WindowRec* rec = findWindow(window)) {
        rec->frame->show();
        rec->frame->raise();
    }
}

void setWindowTitle(int window, std::string_view title) {
    assertGuiThread();
    if (WindowRec* rec = findWindow(window)) {
        rec->frame->setWindowTitle(q(title));
        rec->frame->setAccessibleName(q(title));
    }
}

std::string windowTitle(int window) {
    WindowRec* rec = findWindow(window);
    return rec ? fromQString(rec->frame->windowTitle()) : std::string();
}

int windowWidth(int window) {
    WindowRec* rec = findWindow(window);
    return rec && rec->canvas ? rec->canvas->width() : 0;
}

int windowHeight(int window) {
    WindowRec* rec = findWindow(window);
    return rec && rec->canvas ? rec->canvas->height() : 0;
}

void resizeWindow(int window, int width, int height) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    if (!rec) return;
    const int top = rec->menuBar ? rec->menuBar->sizeHint().height() : 0;
    if (rec->resizable)
        rec->frame->resize(width, height + top);
    else
        rec->frame->setFixedSize(width, height + top);
    rec->frame->relayout();
}

bool isForegroundWindow(int window) {
    WindowRec* rec = findWindow(window);
    return rec && rec->frame->isActiveWindow();
}

void* windowHandle(int window) {
    WindowRec* rec = findWindow(window);
    return rec ? static_cast<void*>(rec->frame.data()) : nullptr;
}

QWidget* windowCanvas(int window) {
    WindowRec* rec = findWindow(window);
    return rec ? rec->canvas.data() : nullptr;
}

QWidget* windowFrame(int window) {
    WindowRec* rec = findWindow(window);
    return rec ? rec->frame.data() : nullptr;
}

// --- controls -------------------------------------------------------------

int listBox(int window, int id, int x, int y, int w, int h) {
    assertGuiThread();
    auto* list = new QListWidget;
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    id = place(window, id, list, Kind::ListBox, x, y, w, h);
    if (id < 0) return -1;
    QObject::connect(list, &QListWidget::itemClicked, [window, id](QListWidgetItem*) {
        pushEvent({EventKind::Control, window, id, EventType::LeftClick});
    });
    QObject::connect(list, &QListWidget::itemDoubleClicked, [window, id](QListWidgetItem*) {
        pushEvent({EventKind::Control, window, id, EventType::DoubleClick});
    });
    QObject::connect(list, &QListWidget::currentRowChanged, [window, id](int) {
        pushEvent({EventKind::Control, window, id, EventType::Change});
    });
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
    QObject::connect(b, &QPushButton::clicked, [window, id] {
        pushEvent({EventKind::Control, window, id, EventType::Click});
    });
    return id;
}

int checkBox(int window, int id, int x, int y, int w, int h, std::string_view text) {
    assertGuiThread();
    auto* c = new QCheckBox(caption(text));
    id = place(window, id, c, Kind::CheckBox, x, y, w, h, q(text));
    if (id < 0) return -1;
    QObject::connect(c, &QCheckBox::clicked, [window, id] {
        pushEvent({EventKind::Control, window, id, EventType::Click});
    });
    return id;
}

int optionButton(int window, int id, int x, int y, int w, int h, std::string_view text) {
    assertGuiThread();
    auto* r = new QRadioButton(caption(text));
    id = place(window, id, r, Kind::Option, x, y, w, h, q(text));
    if (id < 0) return -1;
    QObject::connect(r, &QRadioButton::clicked, [window, id] {
        pushEvent({EventKind::Control, window, id, EventType::Click});
    });
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
    QObject::connect(c, &QComboBox::currentIndexChanged, [window, id](int) {
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
    QObject::connect(b, &QPushButton::clicked, [window, id] {
        pushEvent({EventKind::Control, window, id, EventType::Click});
    });
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
    ControlRec* c = findControl(panelId);
    if (!c) return;
    if (WindowRec* rec = findWindow(c->window)) rec->openPage = nullptr;
}

int adoptControl(int window, int id, QWidget* widget, int x, int y, int w, int h) {
    assertGuiThread();
    const QString name = widget->accessibleName();
    return place(window, id, widget, Kind::Adopted, x, y, w, h, name);
}

QWidget* controlWidget(int id) {
    ControlRec* c = findControl(id);
    return c ? c->widget.data() : nullptr;
}

bool controlExists(int id) {
    return findControl(id) != nullptr;
}

int controlWindow(int id) {
    ControlRec* c = findControl(id);
    return c ? c->window : -1;
}

void freeControl(int id) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    if (!c) {
        controls.erase(id);
        return;
    }
    QPointer<QWidget> w = c->widget;
    forgetControlsIn(w);
    if (w) {
        w->hide();
        w->setParent(nullptr);
        w->deleteLater();
    }
}

void resizeControl(int id, int x, int y, int w, int h) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    if (!c) return;
    QRect g = c->widget->geometry();
    if (x != -1) g.moveLeft(x);
    if (y != -1) g.moveTop(y);
    if (w != -1) g.setWidth(w);
    if (h != -1 && c->kind != Kind::Combo) g.setHeight(h);
    c->widget->setGeometry(g);
}

int controlX(int id) {
    ControlRec* c = findControl(id);
    return c ? c->widget->x() : 0;
}
int controlY(int id) {
    ControlRec* c = findControl(id);
    return c ? c->widget->y() : 0;
}
int controlWidth(int id) {
    ControlRec* c = findControl(id);
    return c ? c->widget->width() : 0;
}
int controlHeight(int id) {
    ControlRec* c = findControl(id);
    return c ? c->widget->height() : 0;
}

void setControlText(int id, std::string_view text) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    if (!c) return;
    QWidget* w = c->widget;
    QSignalBlocker quiet(w);
    switch (c->kind) {
        case Kind::Button:
            if (auto* inner = w->findChild<QLabel*>(QStringLiteral("wrapLabel")))
                inner->setText(caption(text));
            else
                static_cast<QPushButton*>(w)->setText(caption(text));
            w->setAccessibleName(q(text));
            break;
        case Kind::CheckBox:
        case Kind::Option:
            static_cast<QAbstractButton*>(w)->setText(caption(text));
            w->setAccessibleName(q(text));
            break;
        case Kind::TextField:
            static_cast<QLineEdit*>(w)->setText(q(text));
            break;
        case Kind::Editor:
            static_cast<QPlainTextEdit*>(w)->setPlainText(multiline(text));
            break;
        case Kind::Label:
            static_cast<QLabel*>(w)->setText(q(text));
            w->setAccessibleName(q(text));
            break;
        case Kind::Frame:
            static_cast<QGroupBox*>(w)->setTitle(caption(text));
            w->setAccessibleName(q(text));
            break;
        case Kind::Combo: {
            auto* combo = static_cast<QComboBox*>(w);
            combo->setCurrentIndex(combo->findText(q(text)));
            break;
        }
        case Kind::ListBox: {
            auto* list = static_cast<QListWidget*>(w);
            const auto found = list->findItems(q(text), Qt::MatchExactly);
            list->setCurrentItem(found.isEmpty() ? nullptr : found.front());
            break;
        }
        case Kind::Panel: {
            auto* tabs = static_cast<QTabWidget*>(w);
            tabs->setTabText(tabs->currentIndex(), caption(text));
            break;
        }
        default:
            break;
    }
}

std::string controlText(int id) {
    ControlRec* c = findControl(id);
    if (!c) return {};
    QWidget* w = c->widget;
    switch (c->kind) {
        case Kind::Button:
            if (auto* inner = w->findChild<QLabel*>(QStringLiteral("wrapLabel")))
                return fromQString(uncaption(inner->text()));
            return fromQString(uncaption(static_cast<QPushButton*>(w)->text()));
        case Kind::CheckBox:
        case Kind::Option:
            return fromQString(uncaption(static_cast<QAbstractButton*>(w)->text()));
        case Kind::TextField:
            return fromQString(static_cast<QLineEdit*>(w)->text());
        case Kind::Editor:
            return fromQString(static_cast<QPlainTextEdit*>(w)->toPlainText());
        case Kind::Label:
            return fromQString(static_cast<QLabel*>(w)->text());
        case Kind::Frame:
            return fromQString(uncaption(static_cast<QGroupBox*>(w)->title()));
        case Kind::Combo:
            return fromQString(static_cast<QComboBox*>(w)->currentText());
        case Kind::ListBox: {
            QListWidgetItem* item = static_cast<QListWidget*>(w)->currentItem();
            return item ? fromQString(item->text()) : std::string();
        }
        case Kind::Panel: {
            auto* tabs = static_cast<QTabWidget*>(w);
            return fromQString(uncaption(tabs->tabText(tabs->currentIndex())));
        }
        default:
            return {};
    }
}

void setControlState(int id, int state) {
    assertGuiThread();
    ControlRec* c = findControl(id);
    if (!c) return;
    QSignalBlocker quiet(c->widget.data());
    if (auto* b = qobject_cast<QAbstractButton*>(c->widget.data()); b && b->isCheckable()) {
        b->setChecked(state != 0);
    } else if (auto* s = qobject_cast<QSplitter*>(c->widget.data())) {
        const int total = s->orientation() == Qt::Vertical ? s->height() : s->width();
        const int first = std::clamp(state, 0, std::max(0, total - s->handleWidth()));
        s->setSizes({first, std::max(0, total - s->handleWidth() - first)});
    } else if (auto* t = qobject_cast<QTabWidget*>(c->widget.data())) {
        t->setCurrentIndex(state);
    }
}

int controlState(int id) {
    ControlRec* c = findControl(id);
    if (!c) return 0;
    if (auto* b = qobject_cast<QAbstractButton*>(c->widget.data()); b && b->isCheckable())
        return b->isChecked() ? 1 : 0;
    if (auto* s = qobject_cast<QSplitter*>(c->widget.data())) {
        const auto sizes = s->sizes();
        return sizes.isEmpty() ? 0 : sizes.front();
    }
    if (auto* t = qobject_cast<QTabWidget*>(c->widget.data())) return t->currentIndex();
    return 0;
}

void disableControl(int id, bool disabled) {
    assertGuiThread();
    if (ControlRec* c = findControl(id)) c->widget->setEnabled(!disabled);
}

bool controlDisabled(int id) {
    ControlRec* c = findControl(id);
    return c && !c->widget->isEnabled();
}

void setControlFocus(int id) {
    assertGuiThread();
    if (ControlRec* c = findControl(id)) c->widget->setFocus(Qt::OtherFocusReason);
}

void setToolTip(int id, std::string_view text) {
    assertGuiThread();
    if (ControlRec* c = findControl(id)) {
        c->widget->setToolTip(q(text));
        c->widget->setAccessibleDescription(q(text));
    }
}

void hideControl(int id, bool hidden) {
    assertGuiThread();
    if (ControlRec* c = findControl(id)) c->widget->setVisible(!hidden);
}

bool controlHidden(int id) {
    ControlRec* c = findControl(id);
    return c && c->widget->isHidden();
}

void setAccessibleName(int id, std::string_view name) {
    assertGuiThread();
    if (ControlRec* c = findControl(id)) c->widget->setAccessibleName(q(name));
}

std::string accessibleName(int id) {
    ControlRec* c = findControl(id);
    return c ? fromQString(c->widget->accessibleName()) : std::string();
}

// --- lists ----------------------------------------------------------------

void addItem(int id, std::string_view text, int position) {
    assertGuiThread();
    if (auto* list = as<QListWidget>(id)) {
        QSignalBlocker quiet(list);
        list->insertItem(position < 0 ? list->count() : position, q(text));
    } else if (auto* combo = as<QComboBox>(id)) {
        QSignalBlocker quiet(combo);
        combo->insertItem(position < 0 ? combo->count() : position, q(text));
    }
}

void removeItem(int id, int index) {
    assertGuiThread();
    if (auto* list = as<QListWidget>(id)) {
        QSignalBlocker quiet(list);
        delete list->takeItem(index);
    } else if (auto* combo = as<QComboBox>(id)) {
        QSignalBlocker quiet(combo);
        combo->removeItem(index);
    }
}

void clearItems(int id) {
    assertGuiThread();
    if (auto* list = as<QListWidget>(id)) {
        QSignalBlocker quiet(list);
        list->clear();
    } else if (auto* combo = as<QComboBox>(id)) {
        QSignalBlocker quiet(combo);
        combo->clear();
    }
}

int itemCount(int id) {
    if (auto* list = as<QListWidget>(id)) return list->count();
    if (auto* combo = as<QComboBox>(id)) return combo->count();
    return 0;
}

std::string itemText(int id, int index) {
    if (auto* list = as<QListWidget>(id)) {
        QListWidgetItem* item = list->item(index);
        return item ? fromQString(item->text()) : std::string();
    }
    if (auto* combo = as<QComboBox>(id))
        return index >= 0 && index < combo->count() ? fromQString(combo->itemText(index))
                                                    : std::string();
    return {};
}

void setSelectedItem(int id, int index) {
    assertGuiThread();
    if (auto* list = as<QListWidget>(id)) {
        QSignalBlocker quiet(list);
        if (index < 0 || index >= list->count()) {
            list->setCurrentRow(-1);
            list->clearSelection();
            return;
        }
        list->setCurrentRow(index);
        list->scrollToItem(list->item(index));
    } else if (auto* combo = as<QComboBox>(id)) {
        QSignalBlocker quiet(combo);
        combo->setCurrentIndex(index < combo->count() ? index : -1);
    }
}

int selectedItem(int id) {
    if (auto* list = as<QListWidget>(id)) {
        QListWidgetItem* item = list->currentItem();
        return item && item->isSelected() ? list->row(item) : -1;
    }
    if (auto* combo = as<QComboBox>(id)) return combo->currentIndex();
    return -1;
}

// --- menus ----------------------------------------------------------------

void beginMenuBar(int window) {
    assertGuiThread();
    build = MenuBuild{};
    if (!findWindow(window)) return;
    build.active = true;
    build.window = window;
    build.bar = new QMenuBar;
    build.bar->setNativeMenuBar(false);
}

int beginPopupMenu(int window, int menu) {
    assertGuiThread();
    build = MenuBuild{};
    if (!findWindow(window)) return -1;
    if (menu != kAnyId) {
        auto it = popups.find(menu);
        if (it != popups.end() && it->second.menu) it->second.menu->deleteLater();
    } else {
        menu = nextPopup++;
    }
    if (menu >= nextPopup) nextPopup = menu + 1;
    auto* m = new QMenu(windowFrame(window));
    popups[menu] = PopupRec{m, window};
    build.active = true;
    build.window = window;
    build.popup = menu;
    build.popupMenu = m;
    return menu;
}

void menuTitle(std::string_view title) {
    if (!build.active) return;
    if (build.bar) {
        QMenu* m = build.bar->addMenu(caption(title));
        build.stack.assign(1, m);
    } else if (build.popupMenu) {
        build.popupMenu->setTitle(caption(title));
    }
}

void menuItem(int id, std::string_view text, bool disabled) {
    if (!build.active) return;
    if (QMenu* m = currentMenu()) addMenuAction(m, build.window, id, text, disabled);
}

void menuSeparator() {
    if (!build.active) return;
    if (QMenu* m = currentMenu()) m->addSeparator();
}

void openSubMenu(std::string_view title) {
    if (!build.active) return;
    if (QMenu* m = currentMenu()) build.stack.push_back(m->addMenu(caption(title)));
}

void closeSubMenu() {
    if (!build.active) return;
    // The title menu itself stays open (only a new menuTitle replaces it).
    if (build.stack.size() > 1)
        build.stack.pop_back();
    else if (build.popupMenu && build.stack.size() == 1)
        build.stack.pop_back();
}

void endMenu() {
    assertGuiThread();
    if (!build.active) return;
    if (build.bar) {
        WindowRec* rec = findWindow(build.window);
        if (!rec) {
            delete build.bar;
        } else {
            const QSize inner = rec->canvas ? rec->canvas->size() : QSize();
            const bool hadBar = rec->menuBar != nullptr;
            if (rec->menuBar) rec->menuBar->deleteLater();
            rec->menuBar = build.bar;
            build.bar->setParent(rec->frame);
            build.bar->show();
            rec->items = std::move(build.items);
            rec->itemTexts = std::move(build.itemTexts);
            rec->itemOrder = std::move(build.itemOrder);
            // The window was opened with its inner size; the first menu bar
            // adds to the outside, it does not eat the controls' room.
            if (!hadBar) {
                const int top = build.bar->sizeHint().height();
                if (rec->resizable)
                    rec->frame->resize(inner.width(), inner.height() + top);
                else
                    rec->frame->setFixedSize(inner.width(), inner.height() + top);
            }
            rec->frame->relayout();
        }
    }
    build = MenuBuild{};
}

bool menuItemDisabled(int window, int id) {
    WindowRec* rec = findWindow(window);
    if (!rec) return true;
    auto it = rec->items.find(id);
    return it == rec->items.end() || !it->second || !it->second->isEnabled();
}

std::string menuItemText(int window, int id) {
    WindowRec* rec = findWindow(window);
    if (!rec) return {};
    auto it = rec->itemTexts.find(id);
    return it == rec->itemTexts.end() ? std::string() : it->second;
}

std::vector<int> menuItemIds(int window) {
    WindowRec* rec = findWindow(window);
    return rec ? rec->itemOrder : std::vector<int>{};
}

void displayPopupMenu(int menu) {
    assertGuiThread();
    auto it = popups.find(menu);
    // popup(), not exec(): the main loop keeps polling while it is open.
    if (it != popups.end() && it->second.menu) it->second.menu->popup(QCursor::pos());
}

void freeMenu(int menu) {
    assertGuiThread();
    auto it = popups.find(menu);
    if (it == popups.end()) return;
    if (it->second.menu) it->second.menu->deleteLater();
    popups.erase(it);
}

void addKeyboardShortcut(int window, Key key, int menuId) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    if (!rec) return;
    QList<QKeySequence> keys;
    switch (key) {
        case Key::Return:
            keys = {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)};
            break;
        case Key::ShiftReturn:
            keys = {QKeySequence(Qt::SHIFT | Qt::Key_Return),
                    QKeySequence(Qt::SHIFT | Qt::Key_Enter)};
            break;
        case Key::Up:
            keys = {QKeySequence(Qt::Key_Up)};
            break;
        case Key::Down:
            keys = {QKeySequence(Qt::Key_Down)};
            break;
    }
    for (const QKeySequence& seq : keys) {
        auto* shortcut = new QShortcut(seq, rec->frame);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, [window, menuId] {
            pushEvent({EventKind::Menu, window, menuId, EventType::None});
        });
    }
}

// --- standard dialogs -----------------------------------------------------

void messageBox(std::string_view title, std::string_view text) {
    assertGuiThread();
    if (answerer) {
        ask({DialogRequest::Message, std::string(title), std::string(text)});
        return;
    }
    QMessageBox box(QMessageBox::Information, q(title), multiline(text), QMessageBox::Ok);
    box.exec();
}

bool askYesNo(std::string_view title, std::string_view text) {
    assertGuiThread();
    if (answerer) return ask({DialogRequest::YesNo, std::string(title), std::string(text)}).yes;
    QMessageBox box(QMessageBox::Question, q(title), multiline(text),
                    QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::string inputText(std::string_view title, std::string_view prompt,
                      std::string_view defaultText) {
    assertGuiThread();
    if (answerer) return ask({DialogRequest::Input, std::string(title), std::string(prompt)}).text;
    bool ok = false;
    const QString answer = QInputDialog::getText(nullptr, q(title), multiline(prompt),
                                                 QLineEdit::Normal, q(defaultText), &ok);
    return ok ? fromQString(answer) : std::string();
}

int32_t chooseColour(int32_t initial) {
    assertGuiThread();
    if (answerer) return ask({DialogRequest::Colour, {}, {}}).colour;
    const QColor start(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF);
    const QColor chosen = QColorDialog::getColor(start);
    if (!chosen.isValid()) return -1;
    return chosen.red() | chosen.green() << 8 | chosen.blue() << 16;
}

void setDialogAnswerer(DialogAnswerer a) {
    answerer = std::move(a);
}

}  // namespace kavel::platform
