// Numbered pictures: drawing on them and showing them on image controls and
// image buttons. The about animation draws a whole frame here on every idle
// pass of the main loop, so the pixel calls write scan lines directly.
#include <QFont>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "desktop/encoding.h"
#include "desktop/gadgets.h"
#include "desktop/gadgets_qt.h"
#include "desktop/gadgets_registry.h"

namespace kavel::platform {

using namespace detail;

namespace {

QImage* findImage(int number) {
    auto it = state.images.find(number);
    return it == state.images.end() ? nullptr : &it->second;
}

QRgb toRgb(int32_t colour) {
    return qRgb(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

int32_t fromRgb(QRgb rgb) {
    return qRed(rgb) | qGreen(rgb) << 8 | qBlue(rgb) << 16;
}

// Unsmoothed, so that a glyph's pixels carry exactly the text colour and the
// frame does not depend on the desktop's font smoothing.
// Kept with the facade's state, so it goes before the desktop session does.
const QFont& drawingFont() {
    std::optional<QFont>& font = state.drawingFont;
    if (!font) {
        font.emplace(QStringLiteral("Sans Serif"));
        font->setPixelSize(12);
        font->setStyleStrategy(QFont::NoAntialias);
    }
    return *font;
}

// The picture a control shows: a label's pixmap or a button's icon.
QImage shownImage(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->pixmap().toImage();
    if (auto* b = qobject_cast<QPushButton*>(w))
        return b->icon().isNull() ? QImage() : b->icon().pixmap(b->iconSize()).toImage();
    return {};
}

}  // namespace

bool createImage(int number, int width, int height) {
    assertGuiThread();
    if (width <= 0 || height <= 0) return false;
    if (QImage* old = findImage(number); old && old->width() == width && old->height() == height)
        return true;
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return false;
    image.fill(Qt::black);
    state.images[number] = std::move(image);
    return true;
}

void freeImage(int number) {
    assertGuiThread();
    state.images.erase(number);
}

bool imageExists(int number) {
    assertGuiThread();
    return findImage(number) != nullptr;
}

int imageWidth(int number) {
    assertGuiThread();
    QImage* image = findImage(number);
    return image ? image->width() : 0;
}

int imageHeight(int number) {
    assertGuiThread();
    QImage* image = findImage(number);
    return image ? image->height() : 0;
}

void fillImage(int number, int32_t colour) {
    assertGuiThread();
    if (QImage* image = findImage(number)) image->fill(toRgb(colour));
}

void drawPoints(int number, const std::vector<Point>& points, int32_t colour) {
    assertGuiThread();
    QImage* image = findImage(number);
    if (!image) return;
    const QRgb rgb = toRgb(colour);
    const int w = image->width();
    const int h = image->height();
    for (const Point& p : points) {
        if (p.x < 0 || p.y < 0 || p.x >= w || p.y >= h) continue;
        reinterpret_cast<QRgb*>(image->scanLine(p.y))[p.x] = rgb;
    }
}

void drawText(int number, int x, int y, std::string_view text, int32_t colour) {
    assertGuiThread();
    QImage* image = findImage(number);
    if (!image || text.empty()) return;
    QPainter painter(image);
    painter.setFont(drawingFont());
    painter.setPen(QColor::fromRgb(toRgb(colour)));
    painter.drawText(x, y + painter.fontMetrics().ascent(), toQString(text));
}

int textWidth(std::string_view text) {
    assertGuiThread();
    return QFontMetrics(drawingFont()).horizontalAdvance(toQString(text));
}

int32_t imagePixel(int number, int x, int y) {
    assertGuiThread();
    QImage* image = findImage(number);
    if (!image || !image->valid(x, y)) return -1;
    return fromRgb(image->pixel(x, y));
}

void showImage(int control, int number) {
    assertGuiThread();
    QImage* image = findImage(number);
    QWidget* w = controlWidget(control);
    if (!image || !w) return;
    if (auto* l = qobject_cast<QLabel*>(w))
        l->setPixmap(QPixmap::fromImage(*image));
    else if (auto* b = qobject_cast<QPushButton*>(w))
        b->setIcon(QIcon(QPixmap::fromImage(*image)));
}

int32_t shownPixel(int control, int x, int y) {
    assertGuiThread();
    QWidget* w = controlWidget(control);
    if (!w) return -1;
    const QImage image = shownImage(w);
    if (!image.valid(x, y)) return -1;
    return fromRgb(image.pixel(x, y));
}

}  // namespace kavel::platform
