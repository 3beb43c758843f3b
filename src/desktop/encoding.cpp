#include "desktop/encoding.h"

#include "common/misc.h"

#include <array>

namespace kavel::platform {

namespace {

// 0x80..0x9F of Windows-1252; the five unassigned codes map to themselves,
// as the Windows conversion functions do.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

QString toQString(std::string_view cp1252) {
    QString out;
    out.resize(static_cast<qsizetype>(cp1252.size()));
    QChar* dst = out.data();
    for (char c : cp1252) {
        auto b = static_cast<unsigned char>(c);
        *dst++ = QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b));
    }
    return out;
}

std::string fromQString(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar ch : text) {
        char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.push_back(static_cast<char>(u));
            continue;
        }
        char mapped = '?';
        for (std::size_t i = 0; i < kHigh.size(); ++i) {
            if (kHigh[i] == u) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        out.push_back(mapped);
    }
    return out;
}

QColor toQColor(int32_t c) {
    return QColor(red(c), green(c), blue(c));
}

int32_t fromQColor(const QColor& c) {
    return rgb(c.red(), c.green(), c.blue());
}

}  // namespace kavel::platform
