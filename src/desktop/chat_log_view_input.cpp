// The chat view's answers to the user: selecting with mouse and keys,
// copying, links, scrolling, and finding text.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "desktop/chat_log_view.h"
#include "desktop/desktop.h"
#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"
#include "desktop/richtext.h"

namespace kavel::platform {

namespace {

// A point far off the view means nothing more than one just off it; kept
// in reach, no arithmetic on it can overflow.
constexpr double kFar = 1 << 20;
QPoint inReach(QPointF point) {
    const auto near = [](double v) {
        return std::isnan(v) ? 0 : static_cast<int>(std::clamp(v, -kFar, kFar));
    };
    return {near(point.x()), near(point.y())};
}

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

// Paints a window at most once a frame. A busy room changes its view and
// its link list with every few lines; painting the window after each read
// would cost more than everything else the lines do.
class FramePacer : public QObject {
  public:
    explicit FramePacer(QWidget* frame) : QObject(frame), frame_(frame) {
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] {
            delivering_ = true;
            QEvent request(QEvent::UpdateRequest);
            QApplication::sendEvent(frame_, &request);
            delivering_ = false;
        });
        frame->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::UpdateRequest || delivering_) return false;
        if (lastFrame_.isValid() && lastFrame_.elapsed() < kFrameMs) {
            if (!timer_.isActive()) timer_.start(static_cast<int>(kFrameMs - lastFrame_.elapsed()));
            return true;
        }
        timer_.stop();
        lastFrame_.start();
        return false;
    }

  private:
    static constexpr qint64 kFrameMs = 16;
    QWidget* frame_;
    QTimer timer_;
    QElapsedTimer lastFrame_;
    bool delivering_ = false;
};

// Marks a window that has its pacer.
constexpr const char* kPaced = "kavelFramePaced";

}  // namespace

void ChatLogView::select(int64_t anchor, int64_t cursor) {
    anchor_ = std::clamp<int64_t>(anchor, 0, log_.length());
    cursor_ = std::clamp<int64_t>(cursor, 0, log_.length());
    viewport()->update();
}

std::string ChatLogView::selectedText() const {
    return log_.text(std::min(anchor_, cursor_), std::max(anchor_, cursor_), {});
}

void ChatLogView::copy() const {
    if (anchor_ == cursor_) return;
    QApplication::clipboard()->setText(toQString(selectedText()));
}

std::vector<QTextLayout::FormatRange> ChatLogView::highlights(int line) const {
    std::vector<QTextLayout::FormatRange> out;
    const int64_t begin = log_.position(line, 0);
    const int64_t end = begin + (log_.lineEnd(line) - log_.lineBegin(line));
    if (!needle_.empty()) {
        QTextCharFormat found;
        found.setBackground(QColor(255, 240, 100));
        for (uint32_t column : log_.findInLine(needle_, line))
            out.push_back({static_cast<int>(column), static_cast<int>(needle_.size()), found});
    }
    const int64_t from = std::max(std::min(anchor_, cursor_), begin);
    const int64_t to = std::min(std::max(anchor_, cursor_), end);
    if (from < to) {
        QTextCharFormat selected;
        selected.setBackground(palette().brush(QPalette::Highlight));
        selected.setForeground(palette().brush(QPalette::HighlightedText));
        out.push_back({static_cast<int>(from - begin), static_cast<int>(to - from), selected});
    }
    return out;
}

void ChatLogView::ensureVisible(int64_t position) {
    const int line = log_.lineOfPosition(position);
    placeTop();
    if (line >= top_ && line < lastVisibleLine()) return;
    if (line == top_ && topOffset_ == 0) return;
    // Show the line with a little of what came before it.
    scrollToLine(std::max(0, line - 2));
}

bool ChatLogView::find(const QString& text, bool forward) {
    std::string needle = fromQString(text);
    // Characters Windows-1252 cannot hold came back as "?": text with them
    // occurs nowhere in the view.
    if (toQString(needle) != text) needle.clear();
    if (needle != needle_) {
        needle_ = needle;
        viewport()->update();
    }
    if (needle.empty()) return false;
    const int64_t from = forward ? std::max(anchor_, cursor_) : std::min(anchor_, cursor_);
    int64_t at = log_.find(needle, from, forward);
    // Round the end: start again from the other end.
    if (at < 0) at = log_.find(needle, forward ? 0 : log_.length(), forward);
    if (at < 0) return false;
    select(at, at + static_cast<int64_t>(needle.size()));
    ensureVisible(at);
    return true;
}

void ChatLogView::endFind() {
    needle_.clear();
    viewport()->update();
}

void ChatLogView::extendTo(int64_t position, bool keepAnchor) {
    position = std::clamp<int64_t>(position, 0, log_.length());
    if (!keepAnchor) anchor_ = position;
    cursor_ = position;
    ensureVisible(position);
    viewport()->update();
}

void ChatLogView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        select(0, log_.length());
        return;
    }
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int line = log_.lineOfPosition(cursor_);
    const int64_t column = cursor_ - log_.position(line, 0);
    const int64_t lineLength = log_.lineEnd(line) - log_.lineBegin(line);
    const int step = QFontMetrics(font()).lineSpacing();
    if (shift) {
        switch (event->key()) {
            case Qt::Key_Left:
                return extendTo(cursor_ - 1, true);
            case Qt::Key_Right:
                return extendTo(cursor_ + 1, true);
            case Qt::Key_Up:
            case Qt::Key_Down: {
                const int to = std::clamp(line + (event->key() == Qt::Key_Up ? -1 : 1), 0,
                                          log_.lineCount() - 1);
                const int64_t length = log_.lineEnd(to) - log_.lineBegin(to);
                return extendTo(log_.position(to, 0) + std::min(column, length), true);
            }
            case Qt::Key_Home:
                return extendTo(ctrl ? 0 : cursor_ - column, true);
            case Qt::Key_End:
                return extendTo(ctrl ? log_.length() : cursor_ - column + lineLength, true);
            default:
                break;
        }
    }
    switch (event->key()) {
        case Qt::Key_Up:
            return scrollByPixels(-step);
        case Qt::Key_Down:
            return scrollByPixels(step);
        case Qt::Key_PageUp:
            return scrollByPixels(-std::max(step, viewport()->height() - step));
        case Qt::Key_PageDown:
            return scrollByPixels(std::max(step, viewport()->height() - step));
        case Qt::Key_Home:
            if (ctrl) return scrollToLine(0);
            break;
        case Qt::Key_End:
            if (ctrl) return scrollToEnd();
            break;
        default:
            break;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void ChatLogView::wheelEvent(QWheelEvent* event) {
    int64_t dy = -static_cast<int64_t>(event->pixelDelta().y());
    if (dy == 0)
        dy = -static_cast<int64_t>(event->angleDelta().y()) * QApplication::wheelScrollLines() *
             QFontMetrics(font()).lineSpacing() / 120;
    if (dy != 0) scrollByPixels(static_cast<int>(std::clamp<int64_t>(dy, -kFarScroll, kFarScroll)));
    event->accept();
}

const ChatLog::Span* ChatLogView::linkAt(const QPoint& point) const {
    const int64_t position = positionAt(point);
    if (position < 0) return nullptr;
    const int line = log_.lineOfPosition(position);
    const auto offset =
        static_cast<uint32_t>(log_.lineBegin(line) + (position - log_.position(line, 0)));
    const QRect at = characterRect(position);
    // The point lies on the character after the position or the one before.
    const uint32_t character =
        at.isValid() && point.x() < at.left() && offset > log_.lineBegin(line) ? offset - 1
                                                                               : offset;
    return character < log_.lineEnd(line) ? log_.linkAt(character) : nullptr;
}

void ChatLogView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    const int64_t position = positionAt(inReach(event->position()));
    if (position < 0) return;
    pressAt_ = inReach(event->position());
    selecting_ = true;
    if (!(event->modifiers() & Qt::ShiftModifier)) anchor_ = position;
    cursor_ = position;
    viewport()->update();
}

void ChatLogView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = inReach(event->position());
    if (selecting_ && !(event->buttons() & Qt::LeftButton)) {
        // The release went elsewhere (a dialog, a menu): the view may
        // follow the end again.
        selecting_ = false;
        refresh();
    }
    if (!selecting_) {
        viewport()->setCursor(linkAt(point) ? Qt::PointingHandCursor : Qt::IBeamCursor);
        return;
    }
    const int step = QFontMetrics(font()).lineSpacing();
    if (point.y() < 0) scrollByPixels(-step);
    if (point.y() > viewport()->height()) scrollByPixels(step);
    const int64_t position = positionAt(point);
    if (position >= 0) cursor_ = position;
    viewport()->update();
}

void ChatLogView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !selecting_)
        return QAbstractScrollArea::mouseReleaseEvent(event);
    const QPoint point = inReach(event->position());
    const bool click = anchor_ == cursor_ &&
                       (point - pressAt_).manhattanLength() < QApplication::startDragDistance();
    // Lines may have arrived or the wheel turned since the press: the link
    // is the one under the release, whatever lay under the press.
    const ChatLog::Span* link = click ? linkAt(point) : nullptr;
    const std::string target(link ? log_.textOf(*link) : std::string_view());
    selecting_ = false;
    refresh();
    if (click) {
        if (link) openLink(target);
        return;
    }
    QClipboard* clipboard = QApplication::clipboard();
    if (clipboard->supportsSelection())
        clipboard->setText(toQString(selectedText()), QClipboard::Selection);
}

void ChatLogView::mouseDoubleClickEvent(QMouseEvent* event) {
    const int64_t position = positionAt(inReach(event->position()));
    if (position < 0) return;
    const int line = log_.lineOfPosition(position);
    const std::string_view text = log_.lineText(line);
    auto from = static_cast<std::size_t>(position - log_.position(line, 0));
    auto to = from;
    while (from > 0 && !isSpace(text[from - 1]))
        --from;
    while (to < text.size() && !isSpace(text[to]))
        ++to;
    select(log_.position(line, 0) + static_cast<int64_t>(from),
           log_.position(line, 0) + static_cast<int64_t>(to));
}

bool ChatLogView::event(QEvent* event) {
    bool handled = false;
    guarded([&] {
        handled = QAbstractScrollArea::event(event);
        // The window passes its activation down to its widgets.
        if (event->type() == QEvent::WindowActivate) activationChanged();
    });
    return handled;
}

bool ChatLogView::viewportEvent(QEvent* event) {
    bool handled = false;
    guarded([&] {
        handled = event->type() == QEvent::ToolTip ? showToolTip(static_cast<QHelpEvent*>(event))
                                                   : QAbstractScrollArea::viewportEvent(event);
    });
    return handled;
}

bool ChatLogView::showToolTip(const QHelpEvent* help) {
    const int64_t position = positionAt(help->pos());
    const QRect at = position >= 0 ? characterRect(position) : QRect();
    // The character under the point: the one after the position, or the
    // one before when the point lies left of it.
    const int64_t character = at.isValid() && help->pos().x() < at.left() ? position - 1 : position;
    const int line = log_.lineOfPosition(std::max<int64_t>(character, 0));
    const bool inLine = character >= 0 && character - log_.position(line, 0) <
                                              static_cast<int64_t>(log_.lineText(line).size());
    const QTextCharFormat format = inLine ? formatAt(character) : QTextCharFormat();
    if (format.isImageFormat())
        QToolTip::showText(help->globalPos(), format.toolTip(), viewport());
    else
        QToolTip::hideText();
    return true;
}

ChatLogView* chatLogViewOf(int control) {
    assertGuiThread();
    return dynamic_cast<ChatLogView*>(controlWidget(control));
}

int chatLogControl(int window, int id, int x, int y, int w, int h) {
    assertGuiThread();
    if (!windowCanvas(window)) return -1;
    auto* view = new ChatLogView(window);
    view->setAccessibleName(QStringLiteral("Textfeld"));
    const int control = adoptControl(window, id, view, x, y, w, h);
    QWidget* top = windowFrame(window);
    if (control >= 0 && top && !top->property(kPaced).toBool()) {
        top->setProperty(kPaced, true);
        new FramePacer(top);
    }
    return control;
}

}  // namespace kavel::platform
