#include "rules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/LEXER.h"
#include "common/misc.h"

namespace tauschwerk {

namespace {

bool breaksFile(char c) {
    return c == '\0' || c == '\n' || c == kSeparator || c == '\r';
}

std::string cleaned(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!breaksFile(c)) out.push_back(c);
    return out;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

RuleList parseRules(std::string_view content) {
    const auto lineEnd = content.find_first_of(std::string_view("\r\n\0", 3));
    std::string_view line = content.substr(0, lineEnd);
    RuleList rules;
    while (!line.empty()) {
        const auto wordEnd = line.find(kSeparator);
        const std::string_view word = line.substr(0, wordEnd);
        if (word.empty()) break;
        std::string_view replacement;
        if (wordEnd == std::string_view::npos) {
            line = {};
        } else {
            line.remove_prefix(wordEnd + 1);
            const auto replacementEnd = line.find(kSeparator);
            replacement = line.substr(0, replacementEnd);
            line = replacementEnd == std::string_view::npos ? std::string_view()
                                                            : line.substr(replacementEnd + 1);
        }
        rules.push_back({std::string(word), std::string(replacement)});
    }
    return rules;
}

std::string formatRules(const RuleList& rules) {
    std::string content;
    for (const Rule& rule : rules) {
        const std::string word = cleaned(rule.word);
        if (word.empty()) continue;
        content += word;
        content += kSeparator;
        content += cleaned(rule.replacement);
        content += kSeparator;
    }
    if (!content.empty()) content.pop_back();
    return content;
}

RuleList loadRuleFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return {};
    }
    std::string content;
    char buffer[8192];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
        // Only the first line is ever read.
        if (content.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) break;
    }
    ::close(fd);
    return parseRules(content);
}

bool saveRuleFile(const std::string& path, const RuleList& rules) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = writeAll(fd, formatRules(rules)) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

std::string rewrite(const RuleList& rules, const std::string& text, int32_t textColour) {
    std::string output;
    std::size_t copied = 0;
    kavel::TextToken token;
    while (kavel::Lex(text, token, kavel::lexstart::Fresh)) {
        if (token.type != kavel::lex::Word) continue;
        const Rule* match = nullptr;
        for (const Rule& rule : rules) {
            if (rule.word == token.text) {
                match = &rule;
                break;
            }
        }
        if (!match) continue;
        // A fresh word token ends right before the byte at token.position.
        const auto end = static_cast<std::size_t>(token.position);
        const std::size_t start = end - token.text.size();
        output.append(text, copied, start - copied);
        copied = end;
        output += match->replacement;
        // Commands go to the server as typed; a colour code would spoil them.
        if (output.compare(0, 4, "/cmd") != 0) output += "[c=" + kavel::colourToHex(textColour);
    }
    output.append(text, copied, std::string::npos);
    return output;
}

}  // namespace tauschwerk
