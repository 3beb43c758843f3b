#include "platform/image.h"

#include "platform/encoding.h"

namespace kavel::platform {

QImage toQImage(const Picture& picture) {
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    for (int y = 0; y < picture.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < picture.width; ++x) {
            const int32_t c = picture.at(x, y);
            line[x] = toQColor(c).rgb();
        }
    }
    return image;
}

}  // namespace kavel::platform
