#pragma once
// The one place where program text (Windows-1252 bytes in std::string)
// meets Qt's Unicode strings.

#include <QColor>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace kavel::platform {

QString toQString(std::string_view cp1252);
// Characters Windows-1252 cannot hold become "?".
std::string fromQString(const QString& text);

// The program's colours (red | green << 8 | blue << 16) as Qt's and back.
QColor toQColor(int32_t colour);
int32_t fromQColor(const QColor& colour);

}  // namespace kavel::platform
