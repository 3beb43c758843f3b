#pragma once
// The one place where program text (Windows-1252 bytes in std::string)
// meets Qt's Unicode strings.

#include <QString>
#include <string>
#include <string_view>

namespace kavel::platform {

QString toQString(std::string_view cp1252);
// Characters Windows-1252 cannot hold become "?".
std::string fromQString(const QString& text);

}  // namespace kavel::platform
