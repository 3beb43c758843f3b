#pragma once
// Local profiles on disk ("profile/" + name + ".prof") and the upload of the
// public profile data to the server.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kavel {

// Writes the current profile to its file; false (with a status text) when
// there is no user name or the file cannot be written.
bool saveProfile();
// Loads "profile/" + fileName (fileName ends in ".prof"); false (with a
// status text) when the file is missing or is not a profile. A failed load
// leaves ClientState as it was.
bool loadProfile(std::string_view fileName);

// The pieces, for tests and the fuzz target.
struct ProfileRecord {
    std::string name;
    std::string password;
    int32_t nameColour = 0;
    int32_t textColour = 0;
    int32_t urlColour = 0;
    int32_t backgroundColour = 0;
    int32_t options = 0;
    std::string infoFields;
};
std::string encodeProfile(const ProfileRecord& profile);  // the file's content
std::optional<ProfileRecord> decodeProfile(std::string_view fileContent);
std::string base64Encode(std::string_view bytes);
std::optional<std::string> base64Decode(std::string_view text);

inline constexpr const char* kProfileFolder = "profile";

}  // namespace kavel
