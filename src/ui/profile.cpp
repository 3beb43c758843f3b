#include "ui/profile.h"

#include <array>

#include "common/cp1252.h"
#include "common/data.h"
#include "common/misc.h"
#include "system/base64.h"
#include "system/files.h"
#include "ui/GUI_Methods.h"

namespace kavel {

namespace {

std::string profilePath(std::string_view fileName) {
    return std::string(kProfileFolder) + "/" + std::string(fileName);
}

}  // namespace

std::string base64Encode(std::string_view bytes) {
    return platform::base64Encode(bytes);
}

std::optional<std::string> base64Decode(std::string_view text) {
    // A line end added by a text editor is forgiven; anything else is not.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return platform::base64Decode(text);
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
    p.nameColour = cp1252::decimalValue(fields[2]);
    p.textColour = cp1252::decimalValue(fields[3]);
    p.urlColour = cp1252::decimalValue(fields[4]);
    p.backgroundColour = cp1252::decimalValue(fields[5]);
    p.options = static_cast<uint16_t>(cp1252::decimalValue(fields[6]));
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
    // "Verbinden" is offered only once there is a profile to log in with.
    setFlag(flag::MenuDirty);
    return true;
}

}  // namespace kavel
