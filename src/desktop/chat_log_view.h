#pragma once
// The room's chat view: draws a ChatLog and lays out only the lines it
// shows. Each line gets a QTextLayout when it comes into sight; the
// layouts of lines that scrolled well away are dropped, and a change of
// width drops them all. Scrolling counts in lines (the scroll bar's value
// is the top line) plus pixels into the top line, so no height of a line
// out of sight is ever needed: append, resize, scrolling and the jump to
// the end cost what the window shows, however long the history.

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QTextLayout>
#include <QTimer>
#include <memory>
#include <unordered_map>
#include <vector>

#include "desktop/chat_log.h"
#include "desktop/chat_view.h"
#include "desktop/desktop.h"

namespace kavel::platform {

// Runs an event handler so that a C++ exception ends the handling of that
// one event, never the program: Qt's event loop must not see one.
template <typename Handler>
void guarded(Handler&& handler) noexcept {
    try {
        handler();
    } catch (...) {
    }
}

class ChatLogView : public QAbstractScrollArea, public ChatView {
  public:
    explicit ChatLogView(int window);
    ~ChatLogView() override;

    void setStyle(int bits) override { log_.setStyle(bits); }
    void setColour(int32_t colour) override { log_.setColour(colour); }
    void setBackground(int32_t colour) override;
    void append(std::string_view text) override;
    void appendLink(std::string_view text) override;
    void appendLineBreak() override;
    void insertImage(const Picture& picture) override;
    ViewContent content() const override;
    void contentInPieces(const std::function<void(const ViewContent&)>& sink) const override;
    void beginMessage() override { ++inMessage_; }
    void endMessage() override;

    const ChatLog& log() const { return log_; }
    // The text between two document positions, pictures as U+FFFC.
    QString plainText(int64_t from, int64_t to) const;
    int32_t background() const { return background_; }
    // The format of the character at a document position: weight, slant,
    // underline, colour and size; an image format for a picture.
    QTextCharFormat formatAt(int64_t position) const;

    // The selection as document positions (anchor may lie after cursor).
    int64_t anchor() const { return anchor_; }
    int64_t cursor() const { return cursor_; }
    void select(int64_t anchor, int64_t cursor);
    std::string selectedText() const;  // Windows-1252, pictures as their characters
    void copy() const;

    // Finds the next (previous) match after (before) the selection, round
    // the end; selects it and brings it into sight. Every match in sight
    // is highlighted until the search text changes.
    bool find(const QString& text, bool forward);
    // The search is over: no more highlighted matches.
    void endFind();

    bool atEnd() const { return stick_; }
    int topLine() const { return top_; }
    void scrollToLine(int line);
    void scrollToEnd();
    // Scrolls by at most kFarScroll pixels at once: each line passed is
    // laid out on the way.
    static constexpr int kFarScroll = 1 << 16;
    void scrollByPixels(int dy);
    // The lines that have a layout now, for tests.
    std::size_t laidOutLines() const { return cache_.size(); }
    // The unread marker: drawn above the first line that arrived while the
    // window was not the active one, until lines arrive in a later absence;
    // -1 before any. It is paint only, never text: the find bar, copy and
    // the logs know nothing of it.
    int unreadLine() const { return unread_; }
    // The place on the screen of a document position's character (at the
    // end: of the caret there); an empty rectangle when the line is out
    // of sight or the position outside the text.
    QRect characterRect(int64_t position) const;
    // The document position under a point of the viewport, or -1.
    int64_t positionAt(const QPoint& point) const;

  protected:
    // Where accessibility events go; as a seam, for tests without a bus.
    virtual bool accessibilityListening() const { return QAccessible::isActive(); }
    virtual void notifyAccessibility(QAccessibleEvent& event) {
        QAccessible::updateAccessibility(&event);
    }
    // Where a clicked link goes; as a seam, for tests without a desktop.
    virtual void openLink(std::string_view link) { openUrl(link); }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    // A picture's tool tip names the characters it stands for.
    bool viewportEvent(QEvent* event) override;

  private:
    struct Laid {
        std::unique_ptr<QTextLayout> layout;
        int height = 0;
    };
    Laid& laid(int line) const;
    // Fixes the top line when the view sticks to the end; the lines from
    // the top down to the bottom of the viewport.
    void placeTop() const;
    // Where the top stands when the view sticks to the end.
    void endTop(int& line, int& offset) const;
    // New lines show with the next frame, at most one frame every 16 ms.
    void refreshSoon();
    void refresh();
    int lastVisibleLine() const;
    void dropFarLayouts() const;
    void grown(int open);
    void updateScrollBar();
    void announce(int firstLine);
    bool showToolTip(const QHelpEvent* help);
    QImage pictureImage(const ChatLog::PictureKey& key) const;
    // Each distinct picture of an export encoded once.
    ChatLog::PngOf pngMaker() const;
    std::vector<QTextLayout::FormatRange> highlights(int line) const;
    void extendTo(int64_t position, bool keepAnchor);
    void ensureVisible(int64_t position);
    const ChatLog::Span* linkAt(const QPoint& point) const;
    // The open line is receiving text: marks it when this is the first line
    // of an absence.
    void noteArrival(int line);
    void activationChanged();
    void paintUnreadMarker(QPainter& painter, int y) const;

    ChatLog log_;
    int window_;
    QFont font_;
    QTimer refreshTimer_;
    QElapsedTimer lastFrame_;
    int32_t background_ = kWhite;
    int inMessage_ = 0;
    int announceFrom_ = 0;  // the first line not yet announced
    // Where the view stands: the top line and how many of its pixels lie
    // above the viewport; or at the end, following new lines.
    mutable int top_ = 0;
    mutable int topOffset_ = 0;
    mutable bool stick_ = true;
    bool settingBar_ = false;
    mutable std::unordered_map<int, Laid> cache_;
    mutable int cacheWidth_ = -1;
    // The pictures painted lately; a bounded cache, since a room may show
    // a new colour with every smiley.
    mutable std::unordered_map<ChatLog::PictureKey, QImage, ChatLog::PictureKeyHash> images_;
    int64_t anchor_ = 0;
    int64_t cursor_ = 0;
    // The left button is down in the view: a view at the end stands still
    // until it is released, so that what was pressed stays under it.
    bool selecting_ = false;
    QPoint pressAt_;
    std::string needle_;
    int unread_ = -1;
    // The window has been the active one once: before that, nothing in it
    // has been read, and a marker would mark nothing.
    bool seen_ = false;
    // The marker already moved in the present absence.
    bool placed_ = false;
};

// The chat view behind a control, or null.
ChatLogView* chatLogViewOf(int control);

}  // namespace kavel::platform
