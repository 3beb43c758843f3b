#include "ui/profile.h"

#include <array>

#include "core/data.h"
#include "net/NET_Methods.h"
#include "platform/files.h"
#include "ui/GUI_Methods.h"
#include "ui/misc.h"

namespace kavel {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> decodeTable() {
    std::array<int8_t, 256> t{};
    for (auto& v : t)
        v = -1;
    for (int i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
    return t;
}
constexpr auto kDecode = decodeTable();

// Leading spaces, an optional minus, digits up to the first non-digit.
int32_t number(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && s[i] == '-') {
        negative = true;
        ++i;
    }
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > (int64_t{1} << 32)) value = int64_t{1} << 32;  // saturate; wraps below
    }
    return static_cast<int32_t>(static_cast<uint32_t>(negative ? -value : value));
}

std::string profilePath(std::string_view fileName) {
    return std::string(kProfileFolder) + "/" + std::string(fileName);
}

}  // namespace

std::string base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = static_cast<uint8_t>(bytes[i]) << 16 |
                           static_cast<uint8_t>(bytes[i + 1]) << 8 |
                           static_cast<uint8_t>(bytes[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
    // A line end added by a text editor is forgiven; anything else is not.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int pad = 0;
        uint32_t v = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=') {
                // Padding only at the very end, and only in the last two places.
                if (!last || k < 2) return std::nullopt;
                ++pad;
                v <<= 6;
                continue;
            }
            if (pad) return std::nullopt;
            const int8_t d = kDecode[static_cast<unsigned char>(c)];
            if (d < 0) return std::nullopt;
            v = v << 6 | static_cast<uint32_t>(d);
        }
        out += static_cast<char>(v >> 16);
        if (pad < 2) out += static_cast<char>((v >> 8) & 0xFF);
        if (pad < 1) out += static_cast<char>(v & 0xFF);
    }
    return out;
}

std::string encodeProfile(const ProfileRecord& p) {
    std::string plain;
    for (const std::string& field :
         {p.name, p.password, std::to_string(p.nameColour), std::to_string(p.textColour),
          std::to_string(p.urlColour), std::to_string(p.backgroundColour),
          std::to_string(static_cast<int16_t>(p.options)), p.infoFields}) {
        plain += field;
        plain += ' ';
    }
    plain += '\0';
    return base64Encode(plain);
}

std::optional<ProfileRecord> decodeProfile(std::string_view fileContent) {
    const std::optional<std::string> bytes = base64Decode(fileContent);
    if (!bytes) return std::nullopt;
    std::string_view plain(*bytes);
    plain = plain.substr(0, plain.find('\0'));

    // Seven fields end at single spaces; the info fields may hold spaces of
    // their own ("Bad Homburg"), so they run to the final space.
    std::array<std::string_view, 7> fields{};
    for (auto& f : fields) {
        const auto space = plain.find(' ');
        f = plain.substr(0, space);
        plain = space == std::string_view::npos ? std::string_view() : plain.substr(space + 1);
    }
    if (!plain.empty() && plain.back() == ' ') plain.remove_suffix(1);

    ProfileRecord p;
    p.name = fields[0];
    p.password = fields[1];
    p.nameColour = number(fields[2]);
    p.textColour = number(fields[3]);
    p.urlColour = number(fields[4]);
    p.backgroundColour = number(fields[5]);
    p.options = static_cast<uint16_t>(number(fields[6]));
    p.infoFields = plain;
    return p;
}

bool saveProfile() {
    const std::string name(text(clientState.profileName));
    if (name.empty()) {
        statusMessage(ui(Txt::ProfileNoName));
        return false;
    }
    ProfileRecord p;
    p.name = name;
    p.password = text(clientState.password);
    p.nameColour = clientState.nameColour;
    p.textColour = clientState.textColour;
    p.urlColour = clientState.urlColour;
    p.backgroundColour = clientState.backgroundColour;
    p.options = options();
    p.infoFields = text(clientState.infoFields);
    // A name with a slash would write outside the profile folder.
    const bool ok =
        name.find('/') == std::string::npos && platform::makeFolder(kProfileFolder) &&
        platform::writeFileAtomically(profilePath(name + ".prof"), encodeProfile(p), 0600);
    if (!ok) statusMessage(ui(Txt::ProfileNoWrite));
    return ok;
}

bool loadProfile(std::string_view fileName) {
    std::optional<ProfileRecord> p;
    if (fileName.find('/') == std::string_view::npos) {
        if (auto content = platform::readWholeFile(profilePath(fileName)))
            p = decodeProfile(*content);
    }
    if (!p) {
        statusMessage(ui(Txt::ProfileMissing));
        return false;
    }
    setText(&ClientState::profileName, p->name);
    setText(&ClientState::nick, p->name);
    setText(&ClientState::password, p->password);
    clientState.nameColour = p->nameColour;
    clientState.textColour = p->textColour;
    clientState.urlColour = p->urlColour;
    clientState.backgroundColour = p->backgroundColour;
    // The plug-in request bit belongs to the running plug-ins, not the file.
    const auto stored = static_cast<uint16_t>(p->options & ~opt::PluginCommandRequest);
    setOptions(static_cast<uint16_t>(stored | (options() & opt::PluginCommandRequest)));
    setText(&ClientState::infoFields, p->infoFields);
    return true;
}

bool uploadProfile() {
    if (hasFlag(flag::Guest)) return false;
    std::string write = "SAVE USER_PASSWORT ";
    write += text(clientState.password);
    write += "\rSAVE USER_COLOR ";
    write += colourToHex(clientState.nameColour);
    write += "\rSAVE USER_INFO1 ";
    write += text(clientState.infoFields);
    write += "\rSAVE USER_INFO2 ";
    write += text(clientState.ownRemarks);
    SendCommand(write);
    statusMessage(ui(Txt::ProfileUploaded, text(clientState.profileName)));
    return true;
}

}  // namespace kavel
