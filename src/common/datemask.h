#pragma once
// Date masks: "%dd", "%mm", "%yy", "%hh", "%ii", "%ss" stand for the two-digit
// day, month, year, hour (00-23), minute and second; every other character
// is copied. Used by the status log, log files and dump files.

#include <ctime>
#include <string>
#include <string_view>

namespace kavel {

std::string formatDateMask(std::string_view mask, const std::tm& when);
// The mask filled with the current local time.
std::string formatDateMask(std::string_view mask);

}  // namespace kavel
