#include "common/datemask.h"

namespace kavel {

namespace {

void twoDigits(std::string& out, int value) {
    value = ((value % 100) + 100) % 100;
    out.push_back(static_cast<char>('0' + value / 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

}  // namespace

std::string formatDateMask(std::string_view mask, const std::tm& when) {
    std::string out;
    out.reserve(mask.size());
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == '%' && i + 2 < mask.size() && mask[i + 1] == mask[i + 2]) {
            int value = -1;
            switch (mask[i + 1]) {
                case 'd':
                    value = when.tm_mday;
                    break;
                case 'm':
                    value = when.tm_mon + 1;
                    break;
                case 'y':
                    value = when.tm_year;
                    break;
                case 'h':
                    value = when.tm_hour;
                    break;
                case 'i':
                    value = when.tm_min;
                    break;
                case 's':
                    value = when.tm_sec;
                    break;
                default:
                    break;
            }
            if (value >= 0) {
                twoDigits(out, value);
                i += 2;
                continue;
            }
        }
        out.push_back(mask[i]);
    }
    return out;
}

std::string formatDateMask(std::string_view mask) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return formatDateMask(mask, local);
}

}  // namespace kavel
