#pragma once
// Windows-1252 text helpers: the one case folding, the one decimal parser
// and the one placeholder fill of the program.

#include <cstdint>
#include <string>
#include <string_view>

namespace kavel::cp1252 {

// The folding the protocol and the display agree on, whatever the locale:
// upper maps "a"-"z" and 224-255 down by 32, lower maps "A"-"Z" and 192-222
// up by 32. (Keywords are ASCII; the upper block only has to fold umlauts.)
char upper(char c);
char lower(char c);
std::string upperCase(std::string_view text);
std::string lowerCase(std::string_view text);
bool equalIgnoringCase(std::string_view a, std::string_view b);

// Leading spaces, an optional minus sign, then digits up to the first
// non-digit; no digits give 0. The value wraps like the 32-bit field it
// goes into instead of trapping on overflow.
int32_t decimalValue(std::string_view text);

// Every "$" of text replaced by value.
std::string fillPlaceholder(std::string_view text, std::string_view value);

}  // namespace kavel::cp1252
