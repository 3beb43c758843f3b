#include "desktop/spell.h"

#include <hunspell.hxx>

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <unordered_map>

#include "common/reset.h"
#include "desktop/encoding.h"
#include "desktop/spell_marks.h"
#include "system/files.h"
#include "system/services.h"

namespace kavel::platform {

namespace {

constexpr const char* kLanguage = "de_DE";

struct Dictionary {
    Hunspell* hunspell = nullptr;
    std::string encoding;  // as the .aff file's SET line names it
    std::string reason;    // why there is no dictionary
    bool tried = false;
    std::unordered_map<std::string, bool> known;
    std::vector<std::string> personal;  // as added to hunspell
};

// The loaded dictionary outlives a reset (tests): loading it takes a tenth
// of a second. What a run added to it is taken out again.
struct Loaded {
    std::string folder;
    std::unique_ptr<Hunspell> hunspell;
};

Dictionary dict;
Loaded loaded;
bool wanted = true;

void forget() {
    if (dict.hunspell)
        for (const std::string& word : dict.personal)
            dict.hunspell->remove(word);
    dict = Dictionary{};
    wanted = true;
}
const bool registered = registerReset(forget);

std::string folder() {
    const std::string& chosen = services().dictionaryFolder;
    return chosen.empty() ? kDictionaryFolder : chosen;
}

// Hunspell writes "ISO8859-1" where Qt knows "ISO-8859-1".
std::string qtName(const std::string& encoding) {
    if (encoding.rfind("ISO8859", 0) == 0) return "ISO-8859" + encoding.substr(7);
    return encoding;
}

bool isUtf8(const std::string& encoding) {
    return encoding == "UTF-8" || encoding == "utf-8" || encoding == "UTF8";
}

// Windows-1252 to the dictionary's encoding; empty when the word cannot be
// written in it (Hunspell would only call it wrong).
std::string toDictionary(std::string_view word) {
    const QString text = toQString(word);
    if (isUtf8(dict.encoding)) return text.toStdString();
    QStringEncoder encoder(qtName(dict.encoding).c_str());
    if (!encoder.isValid()) return {};
    const QByteArray bytes = encoder.encode(text);
    if (encoder.hasError()) return {};
    return bytes.toStdString();
}

std::string fromDictionary(const std::string& word) {
    if (isUtf8(dict.encoding)) return fromQString(QString::fromStdString(word));
    QStringDecoder decoder(qtName(dict.encoding).c_str());
    return fromQString(decoder.decode(QByteArray::fromStdString(word)));
}

std::vector<std::string> readPersonalWords() {
    std::vector<std::string> out;
    const auto content = readWholeFile(kPersonalWordsFile);
    if (!content) return out;
    std::string_view rest = *content;
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) out.emplace_back(line);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    return out;
}

void load() {
    if (dict.tried) return;
    dict.tried = true;
    namespace fs = std::filesystem;
    const fs::path base = fs::path(folder()) / kLanguage;
    const std::string aff = base.string() + ".aff", dic = base.string() + ".dic";
    std::error_code error;
    if (!fs::is_regular_file(aff, error) || !fs::is_regular_file(dic, error)) {
        // Short enough for a line of the options window.
        dict.reason = "Kein W\xF6rterbuch (hunspell-de-de)";
        return;
    }
    if (!loaded.hunspell || loaded.folder != folder()) {
        loaded.hunspell = std::make_unique<Hunspell>(aff.c_str(), dic.c_str());
        loaded.folder = folder();
    }
    Hunspell* hunspell = loaded.hunspell.get();
    dict.encoding = hunspell->get_dict_encoding();
    if (!isUtf8(dict.encoding) && !QStringEncoder(qtName(dict.encoding).c_str()).isValid()) {
        dict.reason = "W\xF6rterbuch in " + dict.encoding + " nicht lesbar";
        return;
    }
    dict.hunspell = hunspell;
    for (const std::string& word : readPersonalWords()) {
        const std::string converted = toDictionary(word);
        if (converted.empty()) continue;
        dict.hunspell->add(converted);
        dict.personal.push_back(converted);
    }
}

}  // namespace

void setSpellingWanted(bool on) {
    if (wanted == on) return;
    wanted = on;
    refreshSpellingMarks();
}

bool spellingWanted() {
    return wanted;
}

bool spellingAvailable() {
    load();
    return dict.hunspell != nullptr;
}

std::string spellingUnavailableReason() {
    load();
    return dict.reason;
}

bool wordKnown(std::string_view word) {
    if (!spellingAvailable()) return true;
    const std::string key(word);
    if (auto it = dict.known.find(key); it != dict.known.end()) return it->second;
    const std::string converted = toDictionary(word);
    const bool known = converted.empty() || dict.hunspell->spell(converted);
    dict.known.emplace(key, known);
    return known;
}

std::vector<std::string> spellingSuggestions(std::string_view word) {
    std::vector<std::string> out;
    if (!spellingAvailable()) return out;
    const std::string converted = toDictionary(word);
    if (converted.empty()) return out;
    for (const std::string& s : dict.hunspell->suggest(converted)) {
        std::string back = fromDictionary(s);
        // A suggestion Windows-1252 cannot write would arrive garbled.
        if (!back.empty() && toDictionary(back) == s) out.push_back(std::move(back));
    }
    return out;
}

bool addToPersonalWords(std::string_view word) {
    if (!spellingAvailable() || word.empty()) return false;
    const std::string converted = toDictionary(word);
    if (converted.empty()) return false;
    dict.known[std::string(word)] = true;
    if (std::find(dict.personal.begin(), dict.personal.end(), converted) != dict.personal.end())
        return true;
    dict.hunspell->add(converted);
    dict.personal.push_back(converted);
    std::string content;
    for (const std::string& w : dict.personal)
        content += fromDictionary(w) + "\r\n";
    const bool written = writeFileAtomically(kPersonalWordsFile, content);
    refreshSpellingMarks();
    return written;
}

}  // namespace kavel::platform
