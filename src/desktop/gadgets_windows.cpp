// Numbered windows: a frame that only asks to be closed, and a canvas below
// the menu bar that the controls are placed on.
#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>

#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/gadgets_registry.h"

namespace kavel::platform {

namespace detail {

void Frame::relayout() {
    WindowRec* rec = findWindow(number_);
    if (!rec || !rec->canvas) return;
    int top = 0;
    if (rec->menuBar) {
        top = rec->menuBar->sizeHint().height();
        rec->menuBar->setGeometry(0, 0, width(), top);
    }
    rec->canvas->setGeometry(0, top, width(), std::max(0, height() - top));
}

void Frame::closeEvent(QCloseEvent* event) {
    // The handler decides whether the window closes.
    event->ignore();
    pushEvent({EventKind::CloseRequest, number_, 0, EventType::None});
}

void Frame::resizeEvent(QResizeEvent* event) {
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

namespace {

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

}  // namespace

}  // namespace detail

using namespace detail;

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
    if (flags & kCompactFont) {
        QFont font = frame->font();
        font.setPointSizeF(8);
        frame->setFont(font);
    }
    frame->setWindowTitle(q(title));
    frame->setAccessibleName(q(title));
    auto* canvas = new Canvas(number, frame);

    WindowRec& rec = state.windows[number];
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
    assertGuiThread();
    return findWindow(window) != nullptr;
}

void closeWindow(int window) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    if (!rec) {
        state.windows.erase(window);
        return;
    }
    // Owned windows go with their owner, and Qt would delete their widgets
    // behind our back.
    std::vector<int> owned;
    for (auto& [n, r] : state.windows)
        if (r.parent == window && n != window) owned.push_back(n);
    for (int n : owned)
        closeWindow(n);

    rec = findWindow(window);
    if (!rec) return;
    QPointer<Frame> frame = rec->frame;
    forgetControlsIn(frame);
    std::erase_if(state.popups, [window](const auto& p) {
        if (p.second.window != window) return false;
        if (p.second.menu) p.second.menu->deleteLater();
        return true;
    });
    state.windows.erase(window);
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
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    return rec ? fromQString(rec->frame->windowTitle()) : std::string();
}

int windowWidth(int window) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    return rec && rec->canvas ? rec->canvas->width() : 0;
}

int windowHeight(int window) {
    assertGuiThread();
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
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    return rec && rec->frame->isActiveWindow();
}

void* windowHandle(int window) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    return rec ? static_cast<void*>(rec->frame.data()) : nullptr;
}

int windowTitled(std::string_view title, int parent) {
    assertGuiThread();
    const QString wanted = q(title);
    for (const auto& [number, rec] : state.windows)
        if (rec.frame && rec.frame->windowTitle() == wanted && (parent < 0 || rec.parent == parent))
            return number;
    return -1;
}

QWidget* windowCanvas(int window) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    return rec ? rec->canvas.data() : nullptr;
}

QWidget* windowFrame(int window) {
    assertGuiThread();
    WindowRec* rec = findWindow(window);
    return rec ? rec->frame.data() : nullptr;
}

}  // namespace kavel::platform
