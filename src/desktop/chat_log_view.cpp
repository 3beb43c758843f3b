#include "desktop/chat_log_view.h"

#include <QAccessible>
#include <QBuffer>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextImageFormat>
#include <algorithm>
#include <cmath>

#include "common/data.h"
#include "desktop/chat_log_access.h"
#include "desktop/encoding.h"
#include "desktop/gadgets_qt.h"
#include "desktop/image.h"

namespace kavel::platform {

namespace {

constexpr qreal kPointSize = 10.0;
constexpr int kMargin = 4;
// Layouts kept beyond the lines in sight, above and below.
constexpr int kKeep = 40;
constexpr int kFrameMs = 16;
// A picture is laid out as this character, widened to the picture's width.
constexpr char16_t kPictureStandIn = 0x00A0;
// Painted pictures kept, about 1 KB each: more than a window shows at once.
constexpr std::size_t kImagesKept = 1024;

QTextCharFormat runFormat(ChatLog::Format f, bool colour) {
    QTextCharFormat out;
    const int style = ChatLog::styleOf(f);
    out.setFontWeight(style & textstyle::Bold ? QFont::Bold : QFont::Normal);
    out.setFontItalic(style & textstyle::Italic);
    out.setFontUnderline(style & textstyle::Underline);
    if (colour) out.setForeground(toQColor(ChatLog::colourOf(f)));
    return out;
}

}  // namespace

ChatLogView::ChatLogView(int window) : window_(window) {
    installChatLogAccessibility();
    font_ = font();
    font_.setPointSizeF(kPointSize);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::WheelFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setMouseTracking(true);
    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { guarded([this] { refresh(); }); });
    // The room offers its own menu on the right button.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint&) {
        pushEvent({EventKind::RightButton, window_, 0, EventType::None});
    });
}

ChatLogView::~ChatLogView() = default;

void ChatLogView::setBackground(int32_t colour) {
    background_ = colour;
    QPalette p = palette();
    p.setColor(QPalette::Base, toQColor(colour));
    setPalette(p);
}

void ChatLogView::append(std::string_view text) {
    const int open = log_.lineCount() - 1;
    log_.append(text);
    grown(open);
}

void ChatLogView::appendLink(std::string_view text) {
    const int open = log_.lineCount() - 1;
    log_.appendLink(text);
    grown(open);
}

void ChatLogView::appendLineBreak() {
    const int open = log_.lineCount() - 1;
    log_.appendLineBreak();
    grown(open);
}

void ChatLogView::insertImage(const Picture& picture) {
    const int open = log_.lineCount() - 1;
    log_.insertPicture(picture);
    grown(open);
}

void ChatLogView::grown(int open) {
    noteArrival(open);
    // The line that was open has changed; lines after it are new.
    for (int line = open; line < log_.lineCount(); ++line)
        cache_.erase(line);
    if (log_.lineCount() - 1 != open && inMessage_ == 0) announce(announceFrom_);
    refreshSoon();
}

void ChatLogView::endMessage() {
    if (inMessage_ > 0 && --inMessage_ == 0 && announceFrom_ < log_.lineCount() - 1)
        announce(announceFrom_);
}

void ChatLogView::announce(int firstLine) {
    const int last = log_.lineCount() - 1;  // the open line, empty so far
    announceFrom_ = last;
    if (!accessibilityListening() || firstLine >= last) return;
    const int64_t from = log_.position(firstLine, 0);
    const int64_t to = log_.position(last, 0);
    QAccessibleTextInsertEvent event(this, static_cast<int>(from), plainText(from, to));
    notifyAccessibility(event);
}

QString ChatLogView::plainText(int64_t from, int64_t to) const {
    // Pictures read as the object replacement character, as in Qt's own
    // rich text; every other character as what it is.
    QString out;
    log_.visit(
        from, to, [&](std::string_view text) { out += toQString(text); },
        [&](const ChatLog::Shape&) { out += QChar(QChar::ObjectReplacementCharacter); });
    return out;
}

QTextCharFormat ChatLogView::formatAt(int64_t position) const {
    QTextCharFormat out;
    if (position < 0 || position >= log_.length() || log_.runs().empty()) return out;
    const int line = log_.lineOfPosition(position);
    const auto offset =
        static_cast<uint32_t>(log_.lineBegin(line) + (position - log_.position(line, 0)));
    const std::size_t spot = log_.firstPictureFrom(offset);
    if (spot < log_.pictureSpots().size() && log_.pictureSpots()[spot].at == offset) {
        const ChatLog::Shape& p = log_.shapeOf(log_.pictureSpots()[spot].picture);
        QTextImageFormat image;
        image.setWidth(p.width);
        image.setHeight(p.height);
        image.setToolTip(toQString(p.text));
        out = image;
    }
    const ChatLog::Format f = log_.runs()[log_.runAt(offset)].format;
    out.setFontPointSize(kPointSize);
    out.setFontWeight(ChatLog::styleOf(f) & textstyle::Bold ? QFont::Bold : QFont::Normal);
    out.setFontItalic(ChatLog::styleOf(f) & textstyle::Italic);
    out.setFontUnderline(ChatLog::styleOf(f) & textstyle::Underline);
    out.setForeground(toQColor(ChatLog::colourOf(f)));
    return out;
}

ViewContent ChatLogView::content() const {
    return log_.content(background_, fromQString(font_.family()), pngMaker());
}

void ChatLogView::contentInPieces(const std::function<void(const ViewContent&)>& sink) const {
    constexpr int kPiece = 4096;
    const std::string font = fromQString(font_.family());
    for (int line = 0; line < log_.lineCount(); line += kPiece)
        sink(log_.content(background_, font, pngMaker(), line, line + kPiece));
}

ChatLog::PngOf ChatLogView::pngMaker() const {
    auto known = std::make_shared<
        std::unordered_map<ChatLog::PictureKey, std::string, ChatLog::PictureKeyHash>>();
    return [this, known](const ChatLog::PictureKey& key) {
        auto it = known->find(key);
        if (it != known->end()) return it->second;
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        toQImage(log_.picture(key)).save(&buffer, "PNG");
        return known
            ->emplace(key, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())))
            .first->second;
    };
}

QImage ChatLogView::pictureImage(const ChatLog::PictureKey& key) const {
    auto it = images_.find(key);
    if (it != images_.end()) return it->second;
    if (images_.size() >= kImagesKept) images_.clear();
    return images_.emplace(key, toQImage(log_.picture(key))).first->second;
}

ChatLogView::Laid& ChatLogView::laid(int line) const {
    const int width = std::max(viewport()->width() - 2 * kMargin, 1);
    if (width != cacheWidth_) {
        cache_.clear();
        cacheWidth_ = width;
    }
    auto known = cache_.find(line);
    if (known != cache_.end()) return known->second;

    const std::string_view bytes = log_.lineText(line);
    const uint32_t begin = log_.lineBegin(line);
    const uint32_t end = log_.lineEnd(line);
    QString text = toQString(bytes);
    QList<QTextLayout::FormatRange> formats;
    const auto& runs = log_.runs();
    const auto& spots = log_.pictureSpots();
    for (std::size_t r = log_.runAt(begin); r < runs.size() && runs[r].start < end; ++r) {
        const uint32_t from = std::max(runs[r].start, begin);
        const uint32_t to = r + 1 < runs.size() ? std::min(runs[r + 1].start, end) : end;
        // A run of nothing but pictures (a smiley in a colour of its own)
        // takes its format with each picture below.
        if (to <= from || log_.firstPictureFrom(to) - log_.firstPictureFrom(from) == to - from)
            continue;
        formats.append({static_cast<int>(from - begin), static_cast<int>(to - from),
                        runFormat(runs[r].format, true)});
    }
    for (std::size_t s = log_.firstPictureFrom(begin); s < spots.size() && spots[s].at < end; ++s) {
        const int column = static_cast<int>(spots[s].at - begin);
        text[column] = QChar(kPictureStandIn);
        QFont f = font_;
        const ChatLog::Format run = runs[log_.runAt(spots[s].at)].format;
        f.setBold(ChatLog::styleOf(run) & textstyle::Bold);
        const qreal advance = QFontMetricsF(f).horizontalAdvance(QChar(kPictureStandIn));
        // The stand-in shows no colour but its underline's: without it,
        // pictures in a thousand colours share one format.
        QTextCharFormat cf = runFormat(run, ChatLog::styleOf(run) & textstyle::Underline);
        cf.setFontLetterSpacingType(QFont::AbsoluteSpacing);
        cf.setFontLetterSpacing(log_.shapeOf(spots[s].picture).width - advance);
        formats.append({column, 1, cf});
    }

    Laid out;
    out.layout = std::make_unique<QTextLayout>(text, font_);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    out.layout->setTextOption(option);
    out.layout->setFormats(formats);
    out.layout->setCacheEnabled(true);
    out.layout->beginLayout();
    qreal y = 0;
    for (QTextLine l = out.layout->createLine(); l.isValid(); l = out.layout->createLine()) {
        l.setLineWidth(width);
        l.setPosition(QPointF(0, y));
        y += l.height();
    }
    out.layout->endLayout();
    out.height = std::max(1, static_cast<int>(std::ceil(y)));
    return cache_.emplace(line, std::move(out)).first->second;
}

void ChatLogView::endTop(int& line, int& offset) const {
    int y = viewport()->height() - kMargin;
    for (int l = log_.lineCount() - 1; l >= 0; --l) {
        y -= laid(l).height;
        const int top = l == 0 ? kMargin : 0;
        if (y <= top) {
            line = l;
            offset = top - y;
            return;
        }
    }
    line = 0;
    offset = 0;
}

void ChatLogView::placeTop() const {
    if (stick_ && !selecting_) endTop(top_, topOffset_);
    top_ = std::clamp(top_, 0, log_.lineCount() - 1);
}

int ChatLogView::lastVisibleLine() const {
    placeTop();
    int y = (top_ == 0 ? kMargin : 0) - topOffset_;
    int line = top_;
    for (; line < log_.lineCount(); ++line) {
        y += laid(line).height;
        if (y >= viewport()->height()) break;
    }
    return std::min(line, log_.lineCount() - 1);
}

void ChatLogView::dropFarLayouts() const {
    const int last = lastVisibleLine();
    if (static_cast<int>(cache_.size()) <= last - top_ + 1 + 2 * kKeep) return;
    for (auto it = cache_.begin(); it != cache_.end();)
        if (it->first < top_ - kKeep || it->first > last + kKeep)
            it = cache_.erase(it);
        else
            ++it;
}

void ChatLogView::refreshSoon() {
    if (refreshTimer_.isActive()) return;
    const qint64 since = lastFrame_.isValid() ? lastFrame_.elapsed() : kFrameMs;
    if (since >= kFrameMs)
        refresh();
    else
        refreshTimer_.start(static_cast<int>(kFrameMs - since));
}

void ChatLogView::refresh() {
    lastFrame_.start();
    updateScrollBar();
    dropFarLayouts();
    viewport()->update();
}

void ChatLogView::updateScrollBar() {
    int line = 0, offset = 0;
    endTop(line, offset);
    const int max = line + (offset > 0 ? 1 : 0);
    QScrollBar* bar = verticalScrollBar();
    settingBar_ = true;
    bar->setRange(0, max);
    bar->setPageStep(std::max(1, lastVisibleLine() - top_));
    bar->setSingleStep(1);
    bar->setValue(stick_ && !selecting_ ? max : std::min(top_, max));
    settingBar_ = false;
}

void ChatLogView::scrollContentsBy(int, int) {
    if (settingBar_) return;
    guarded([this] {
        const QScrollBar* bar = verticalScrollBar();
        stick_ = bar->value() >= bar->maximum();
        if (!stick_) {
            top_ = bar->value();
            topOffset_ = 0;
        }
        viewport()->update();
    });
}

void ChatLogView::scrollToLine(int line) {
    stick_ = false;
    top_ = std::clamp(line, 0, log_.lineCount() - 1);
    topOffset_ = 0;
    // Past the end's own top the view would show empty space below.
    int endLine = 0, endOffset = 0;
    endTop(endLine, endOffset);
    if (top_ > endLine || (top_ == endLine && endOffset == 0)) stick_ = true;
    refresh();
}

void ChatLogView::scrollToEnd() {
    stick_ = true;
    refresh();
}

void ChatLogView::scrollByPixels(int dy) {
    dy = std::clamp(dy, -kFarScroll, kFarScroll);
    placeTop();
    if (dy > 0 && stick_) return;
    stick_ = false;
    topOffset_ += dy;
    while (topOffset_ < 0 && top_ > 0)
        topOffset_ += laid(--top_).height;
    if (topOffset_ < 0) topOffset_ = 0;
    while (top_ < log_.lineCount() - 1 && topOffset_ >= laid(top_).height)
        topOffset_ -= laid(top_++).height;
    int endLine = 0, endOffset = 0;
    endTop(endLine, endOffset);
    if (top_ > endLine || (top_ == endLine && topOffset_ >= endOffset)) stick_ = true;
    refresh();
}

void ChatLogView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    refresh();
}

void ChatLogView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        font_ = font();
        font_.setPointSizeF(kPointSize);
        cache_.clear();
    }
}

void ChatLogView::paintEvent(QPaintEvent* event) {
    placeTop();
    QPainter painter(viewport());
    const int height = viewport()->height();
    int y = (top_ == 0 ? kMargin : 0) - topOffset_;
    const auto& spots = log_.pictureSpots();
    for (int line = top_; line < log_.lineCount() && y < height; ++line) {
        const Laid& l = laid(line);
        if (y + l.height > event->rect().top()) {
            const auto extra = highlights(line);
            l.layout->draw(&painter, QPointF(kMargin, y), QList(extra.begin(), extra.end()));
            const uint32_t begin = log_.lineBegin(line), end = log_.lineEnd(line);
            for (std::size_t s = log_.firstPictureFrom(begin);
                 s < spots.size() && spots[s].at < end; ++s) {
                const int column = static_cast<int>(spots[s].at - begin);
                const QTextLine tl = l.layout->lineForTextPosition(column);
                const QImage image = pictureImage(spots[s].picture);
                const qreal x = kMargin + tl.cursorToX(column);
                const qreal top = y + tl.y() + (tl.height() - image.height()) / 2;
                painter.drawImage(QPointF(x, std::floor(top)), image);
            }
        }
        if (line == unread_) paintUnreadMarker(painter, y);
        y += l.height;
    }
    dropFarLayouts();
}

void ChatLogView::noteArrival(int line) {
    if (isActiveWindow()) {
        seen_ = true;
        return;
    }
    if (!seen_ || placed_) return;
    placed_ = true;
    // Above the very first line there is nothing read to set apart.
    if (line == 0 || line == unread_) return;
    unread_ = line;
    // Screen readers learn of the marker through the view's accessible
    // description, in line numbers as a reader counts them: the marker is
    // no character, so the text and its attributes stay exactly the log.
    setAccessibleDescription(toQString(ui(Own::UnreadFrom, std::to_string(line + 1))));
    if (accessibilityListening()) {
        QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
        notifyAccessibility(changed);
    }
    viewport()->update();
}

void ChatLogView::activationChanged() {
    if (!isActiveWindow()) return;
    seen_ = true;
    placed_ = false;
}

void ChatLogView::paintUnreadMarker(QPainter& painter, int y) const {
    // Across the gap above the line, over no line's text: marking costs no
    // layout, and the lines keep their heights.
    QColor colour(0xD0, 0x20, 0x20);
    const QColor base = toQColor(background_);
    if (std::abs(base.red() - colour.red()) + std::abs(base.green() - colour.green()) +
            std::abs(base.blue() - colour.blue()) <
        3 * 85)
        colour = QColor(255 - colour.red(), 255 - colour.green(), 255 - colour.blue());
    painter.fillRect(QRect(kMargin, y - 1, viewport()->width() - 2 * kMargin, 2), colour);
}

QRect ChatLogView::characterRect(int64_t position) const {
    if (position < 0 || position > log_.length()) return {};
    placeTop();
    const int line = log_.lineOfPosition(position);
    const int last = lastVisibleLine();
    if (line < top_ || line > last) return {};
    int y = (top_ == 0 ? kMargin : 0) - topOffset_;
    for (int l = top_; l < line; ++l)
        y += laid(l).height;
    const Laid& l = laid(line);
    const int column = static_cast<int>(position - log_.position(line, 0));
    const QTextLine tl = l.layout->lineForTextPosition(column);
    if (!tl.isValid()) return {};
    const qreal x1 = tl.cursorToX(column), x2 = tl.cursorToX(column + 1);
    return QRect(QPoint(kMargin + static_cast<int>(x1), y + static_cast<int>(tl.y())),
                 QSize(std::max(1, static_cast<int>(x2 - x1)), static_cast<int>(tl.height())));
}

int64_t ChatLogView::positionAt(const QPoint& where) const {
    constexpr int kFar = 1 << 20;
    const QPoint point(std::clamp(where.x(), -kFar, kFar), std::clamp(where.y(), -kFar, kFar));
    placeTop();
    int y = (top_ == 0 ? kMargin : 0) - topOffset_;
    int line = top_;
    if (point.y() < y) return log_.position(line, 0);
    for (; line < log_.lineCount(); ++line) {
        const Laid& l = laid(line);
        if (point.y() < y + l.height || line == log_.lineCount() - 1) {
            const QPointF at(point.x() - kMargin, point.y() - y);
            for (int i = 0; i < l.layout->lineCount(); ++i) {
                const QTextLine tl = l.layout->lineAt(i);
                if (at.y() < tl.y() + tl.height() || i == l.layout->lineCount() - 1)
                    return log_.position(line, 0) + tl.xToCursor(at.x());
            }
        }
        y += l.height;
        if (y > viewport()->height()) break;
    }
    return log_.position(std::min(line, log_.lineCount() - 1), 0);
}

}  // namespace kavel::platform
