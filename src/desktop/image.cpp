#include "desktop/image.h"

#include "common/misc.h"

namespace kavel::platform {

QImage toQImage(const Picture& picture) {
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    for (int y = 0; y < picture.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < picture.width; ++x) {
            // As QColor's rgb(), without building one per pixel: a room may
            // show a smiley in a new colour with every line.
            const int32_t c = picture.at(x, y);
            line[x] = qRgb(red(c), green(c), blue(c));
        }
    }
    return image;
}

}  // namespace kavel::platform
