#pragma once
// Base64 (the standard alphabet, with padding) for the profile files.

#include <optional>
#include <string>
#include <string_view>

namespace kavel::platform {

std::string base64Encode(std::string_view bytes);
// Strict: a length that is not a multiple of four, a byte outside the
// alphabet, or padding anywhere but in the last two places gives nothing.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace kavel::platform
