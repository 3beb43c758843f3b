#include "http.h"

#include <algorithm>
#include <cctype>
#include <random>

#include "pages.h"

namespace quarnd {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 302:
            return "Found";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 410:
            return "Gone";
        case 413:
            return "Payload Too Large";
        case 429:
            return "Too Many Requests";
        case 503:
            return "Service Unavailable";
        case 507:
            return "Insufficient Storage";
        default:
            return "Internal Server Error";
    }
}

}  // namespace

std::optional<std::string> HttpRequest::header(std::string_view name) const {
    for (const auto& [k, v] : headers) {
        if (iequals(k, name)) return v;
    }
    return std::nullopt;
}

HttpRequestParser::Status HttpRequestParser::feed(std::string_view bytes) {
    if (status_ != Status::Partial) return status_;
    if (!headDone_) {
        // Only look for the end of the head in the part that can hold it, so a
        // peer trickling bytes costs linear time overall.
        const std::size_t searchFrom = buffer_.size() >= 3 ? buffer_.size() - 3 : 0;
        buffer_.append(bytes);
        std::size_t headEnd = std::string::npos, bodyStart = 0;
        for (std::size_t i = searchFrom; i < buffer_.size(); ++i) {
            if (buffer_[i] != '\n') continue;
            if (i >= 1 && buffer_[i - 1] == '\n') {
                headEnd = i - 1;
                bodyStart = i + 1;
                break;
            }
            if (i >= 2 && buffer_[i - 1] == '\r' && buffer_[i - 2] == '\n') {
                headEnd = i - 2;
                bodyStart = i + 1;
                break;
            }
        }
        if (headEnd == std::string::npos) {
            if (buffer_.size() > kMaxHttpHeaderBytes) status_ = Status::BadRequest;
            return status_;
        }
        if (headEnd > kMaxHttpHeaderBytes) return status_ = Status::BadRequest;
        status_ = parseHead(headEnd);
        if (status_ != Status::Partial) return status_;
        headDone_ = true;
        buffer_.erase(0, bodyStart);
    } else {
        buffer_.append(bytes.substr(0, contentLength_ - std::min(contentLength_, buffer_.size())));
    }
    if (buffer_.size() >= contentLength_) {
        request_.body = buffer_.substr(0, contentLength_);
        buffer_.clear();
        buffer_.shrink_to_fit();
        status_ = Status::Complete;
    }
    return status_;
}

HttpRequestParser::Status HttpRequestParser::parseHead(std::size_t headEnd) {
    std::string_view head(buffer_.data(), headEnd);
    std::vector<std::string_view> lines;
    while (true) {
        const auto nl = head.find('\n');
        std::string_view line = head.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos) break;
        head.remove_prefix(nl + 1);
    }
    // Tolerate blank lines before the request line, as RFC 9112 asks.
    std::size_t first = 0;
    while (first < lines.size() && lines[first].empty())
        ++first;
    if (first == lines.size()) return Status::BadRequest;

    std::string_view requestLine = lines[first];
    const auto sp1 = requestLine.find(' ');
    const auto sp2 = sp1 == std::string_view::npos ? sp1 : requestLine.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos) return Status::BadRequest;
    request_.method = std::string(requestLine.substr(0, sp1));
    request_.target = std::string(requestLine.substr(sp1 + 1, sp2 - sp1 - 1));
    request_.version = std::string(requestLine.substr(sp2 + 1));
    if (request_.method.empty() || request_.target.empty() ||
        request_.version.rfind("HTTP/", 0) != 0) {
        return Status::BadRequest;
    }

    std::optional<std::size_t> length;
    for (std::size_t i = first + 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return Status::BadRequest;
        std::string name(line.substr(0, colon));
        std::string value(trimSpaces(line.substr(colon + 1)));
        if (iequals(name, "Transfer-Encoding")) return Status::BadRequest;
        if (iequals(name, "Content-Length")) {
            if (value.empty() || value.size() > 12 ||
                !std::all_of(value.begin(), value.end(),
                             [](char c) { return c >= '0' && c <= '9'; })) {
                return Status::BadRequest;
            }
            const std::size_t n = std::stoull(value);
            if (length && *length != n) return Status::BadRequest;
            length = n;
        }
        request_.headers.emplace_back(std::move(name), std::move(value));
    }
    contentLength_ = length.value_or(0);
    if (contentLength_ > kMaxHttpBodyBytes) return Status::TooLarge;
    return Status::Partial;
}

bool HttpResponse::hasHeader(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return iequals(h.first, name); });
}

std::string HttpResponse::serialize() const {
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
    for (const auto& [k, v] : headers)
        out += k + ": " + v + "\r\n";
    if (!hasHeader("Content-Security-Policy"))
        out += "Content-Security-Policy: " + contentSecurityPolicy() + "\r\n";
    out +=
        "X-Content-Type-Options: nosniff\r\n"
        "Referrer-Policy: no-referrer\r\n"
        "X-Frame-Options: DENY\r\n";
    if (!hasHeader("Cache-Control")) out += "Cache-Control: no-store\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    if (!headOnly) out += body;
    return out;
}

std::string contentSecurityPolicy(std::string_view formTarget) {
    std::string policy =
        "default-src 'none'; script-src 'self'; style-src 'self'; base-uri 'none'; "
        "form-action 'self'";
    if (!formTarget.empty()) {
        policy += ' ';
        policy += formTarget;
    }
    policy += "; frame-ancestors 'none'";
    return policy;
}

HttpResponse htmlResponse(int status, std::string html) {
    HttpResponse r;
    r.status = status;
    r.headers.emplace_back("Content-Type", "text/html; charset=windows-1252");
    r.body = std::move(html);
    return r;
}

HttpResponse simpleResponse(int status) {
    return htmlResponse(status, pages::status(status));
}

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::map<std::string, std::string> parseForm(std::string_view body) {
    std::map<std::string, std::string> form;
    while (!body.empty()) {
        const auto amp = body.find('&');
        std::string_view pair = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        if (pair.empty()) continue;
        const auto eq = pair.find('=');
        std::string key = percentDecode(pair.substr(0, eq));
        std::string value =
            eq == std::string_view::npos ? std::string() : percentDecode(pair.substr(eq + 1));
        form.try_emplace(std::move(key), std::move(value));
    }
    return form;
}

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

bool isValidHostHeader(std::string_view host) {
    if (host.empty()) return false;
    std::string_view name = host;
    std::string_view port;
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        if (close == std::string_view::npos || close == 1) return false;
        const std::string_view literal = host.substr(1, close - 1);
        for (char c : literal) {
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
        }
        const std::string_view after = host.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return false;
            port = after.substr(1);
            if (port.empty()) return false;
        }
        name = {};
    } else if (const auto colon = host.rfind(':'); colon != std::string_view::npos) {
        name = host.substr(0, colon);
        port = host.substr(colon + 1);
        if (port.empty()) return false;
    }
    if (port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    if (host.front() == '[') return true;
    // Labels of letters, digits and inner hyphens; an IPv4 literal is one
    // such name too.
    if (name.empty() || name.size() > 253) return false;
    while (!name.empty()) {
        const auto dot = name.find('.');
        const std::string_view label = name.substr(0, dot);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (char c : label) {
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
        }
        if (dot == std::string_view::npos) break;
        name.remove_prefix(dot + 1);
        if (name.empty()) return false;
    }
    return true;
}

std::string randomToken(std::size_t n) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device dev;  // getrandom() on Linux; paste ids must not be guessable
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 2);
    std::string out;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(alphabet[pick(dev)]);
    return out;
}

}  // namespace quarnd
