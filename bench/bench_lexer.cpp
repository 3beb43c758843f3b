// Lexer throughput on chat-like Windows-1252 text, scanned the way the
// message display scans it, against a plain byte loop over the same text.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "common/LEXER.h"

namespace {

std::string chatText(std::size_t bytes) {
    static const char* const words[] = {
        "Hallo",
        "welt",
        "ich",
        "bin",
        "heute",
        "M\xFC"
        "de",
        "K\xE4se",
        "sch\xF6n",
        "\xDC"
        "ber",
        "Stra\xDF"
        "e",
        "caf\xE9",
        "na",
        "und",
        "du",
        "was",
        "geht",
        "lol",
        "2024",
        "Treffen",
        "um",
        "8",
        "Uhr",
        "bis",
        "sp\xE4ter",
        "Gr\xFC\xDF"
        "e",
        "http",
        "www",
        "ftp",
        "https",
        "a-b_c/d",
        "OK",
    };
    static const char* const urls[] = {
        "://www.example.de/chat?room=1&user=x#top",
        ".quarn.net/~kavel/index.html",
        "://files.example.org/pub/a%20b$c",
        "s://secure.example.com/login?next=/home",
    };
    static const char* const smileys[] = {":-)", ";)", ":D", ":-(", ".o", ":P", ";-)"};
    static const char* const punct[] = {" ", " ", " ", ", ", ". ", "! ", "? ", " - ", ": ", "\r"};
    std::mt19937 rng(1998);
    std::uniform_int_distribution<int> pick(0, 99);
    std::string s;
    s.reserve(bytes + 128);
    while (s.size() < bytes) {
        const int r = pick(rng);
        if (r < 60) {
            const char* w = words[rng() % std::size(words)];
            s += w;
            // After a link word comes its address, so the URL rescan finds work.
            if (w[0] == 'h' || w[0] == 'f' || w[0] == 'w') s += urls[rng() % std::size(urls)];
        } else if (r < 70) {
            static const char hex[] = "0123456789ABCDEFabcdef";
            s += "\x0b"
                 "C";
            for (int i = 0; i < 6; ++i)
                s += hex[rng() % 22];
        } else if (r < 74) {
            s += (r & 1) ? "\x0b"
                           "B"
                         : "\x0b"
                           "I";
        } else if (r < 82) {
            s += smileys[rng() % std::size(smileys)];
        }
        s += punct[rng() % std::size(punct)];
    }
    return s;
}

// Length first, so ordinary words cost no string compare.
bool isLinkWord(const std::string& w) {
    switch (w.size()) {
        case 3:
            return w == "www" || w == "ftp";
        case 4:
            return w == "http";
        case 5:
            return w == "https";
        default:
            return false;
    }
}

// The display's calling pattern: fresh tokens, link words rescanned as URLs,
// colour codes followed by at most six hex digits.
uint64_t lexAll(const std::string& text) {
    kavel::TextToken tok;
    uint64_t sum = 0;
    while (kavel::Lex(text, tok, 0)) {
        sum += tok.type + tok.text.size();
        if (tok.type == 3 && isLinkWord(tok.text)) {
            tok.position = tok.position - static_cast<int32_t>(tok.text.size()) + 1;
            if (kavel::Lex(text, tok, 4)) sum += tok.text.size();
        } else if (tok.type == 7) {
            tok.position += 1;
            if (kavel::Lex(text, tok, 6)) {
                if (tok.text.size() > 6) tok.position -= static_cast<int32_t>(tok.text.size() - 6);
                sum += tok.text.size();
            }
        }
    }
    return sum;
}

uint64_t baseline(const std::string& text) {
    uint64_t n = 0;
    for (unsigned char c : text)
        n += c >= 33;
    return n;
}

template <typename F>
double bestSeconds(F&& f, uint64_t& result) {
    double best = 1e30;
    for (int i = 0; i < 5; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        result = f();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int main() {
    kavel::InitLexTable();
    const std::string text = chatText(10u << 20);
    const double mb = static_cast<double>(text.size()) / 1e6;

    uint64_t lexSum = 0, baseSum = 0;
    const double lexTime = bestSeconds([&] { return lexAll(text); }, lexSum);
    const double baseTime = bestSeconds([&] { return baseline(text); }, baseSum);

    std::printf("text:     %zu bytes\n", text.size());
    std::printf("lexer:    %8.1f MB/s  (best of 5: %.4f s, checksum %llu)\n", mb / lexTime, lexTime,
                static_cast<unsigned long long>(lexSum));
    std::printf("baseline: %8.1f MB/s  (best of 5: %.4f s, %llu printable bytes)\n", mb / baseTime,
                baseTime, static_cast<unsigned long long>(baseSum));
    std::printf("ratio lexer/baseline time: %.2f\n", lexTime / baseTime);
    return 0;
}
