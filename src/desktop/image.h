#pragma once
// Pictures of the program as Qt images.

#include <QImage>

#include "desktop/picture.h"

namespace kavel::platform {

QImage toQImage(const Picture& picture);

}  // namespace kavel::platform
