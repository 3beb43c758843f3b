#include "system/base64.h"

#include <QByteArray>

namespace kavel::platform {

std::string base64Encode(std::string_view bytes) {
    const QByteArray coded =
        QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64();
    return coded.toStdString();
}

std::optional<std::string> base64Decode(std::string_view text) {
    // Qt also takes unpadded text; the profile format never writes that.
    if (text.size() % 4 != 0) return std::nullopt;
    const auto result =
        QByteArray::fromBase64Encoding(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                                       QByteArray::AbortOnBase64DecodingErrors);
    if (!result) return std::nullopt;
    return result.decoded.toStdString();
}

}  // namespace kavel::platform
