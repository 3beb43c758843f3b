// The paste service's paths: what the client posts, and what a browser
// asks for (the form, a paste as a page or as raw text, the stylesheet and
// the scripts).
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "http.h"
#include "pages.h"

namespace quarnd {

namespace {

bool allowedDuration(std::string_view d) {
    static const char* const allowed[] = {"120", "600", "1800", "3600", "43200", "86400"};
    return std::any_of(std::begin(allowed), std::end(allowed),
                       [&](const char* a) { return d == a; });
}

// The paths there are, and the methods each takes.
const char* allowedMethods(std::string_view path) {
    if (path == "/main.php") return "GET, HEAD, POST";
    if (path == "/" || path == "/style.css" || path == "/paste.js" ||
        path == "/hljs/highlight.min.js") {
        return "GET, HEAD";
    }
    return nullptr;
}

constexpr const char* kHighlightFile = "/highlight.min.js";

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

HttpResponse staticFile(std::string body, const char* type) {
    HttpResponse r;
    r.headers.emplace_back("Content-Type", type);
    r.headers.emplace_back("Cache-Control", "max-age=86400");
    r.body = std::move(body);
    return r;
}

// Only what a refusal needs to say beyond its status.
const char* const kBadForm =
    "Titel und Code m&uuml;ssen ausgef&uuml;llt sein, und die Dauer muss eine der angebotenen "
    "sein.";

const char* const kExpiredNotYetDeleted =
    "Dieser Code war nur f&uuml;r eine begrenzte Zeit sichtbar und ist abgelaufen. Sein Inhalt "
    "wird in K&uuml;rze gel&ouml;scht.";

// However far off the next expiry, the purge runs this often: it also
// forgets old ids, and it catches up with a clock set back.
constexpr std::time_t kPurgeInterval = 60;

}  // namespace

PasteService::PasteService(Store& store, PasteConfig config)
    : store_(store), config_(std::move(config)) {}

std::string PasteService::token(std::size_t n) {
    return config_.randomToken ? config_.randomToken(n) : randomToken(n);
}

HttpResponse PasteService::handle(const HttpRequest& request, const HttpContext& context) {
    std::string_view target = request.target;
    // The client sends the absolute form "http://host/main.php".
    if (target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0) {
        target.remove_prefix(target.find("//") + 2);
        const auto slash = target.find('/');
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    const auto q = target.find('?');
    const std::string_view path = target.substr(0, q);
    const std::string_view query =
        q == std::string_view::npos ? std::string_view() : target.substr(q + 1);

    const bool head = request.method == "HEAD";
    const bool read = head || request.method == "GET";
    const bool posting = request.method == "POST" && path == "/main.php";
    HttpResponse r;
    if (const char* allow = allowedMethods(path); !allow) {
        r = simpleResponse(404);
    } else if (!read && !posting) {
        r = simpleResponse(405);
        r.headers.emplace_back("Allow", allow);
    } else {
        try {
            if (posting) {
                r = post(request, context);
            } else if (path == "/main.php") {
                r = view(query, request, context);
            } else if (path == "/") {
                r = form(request, context);
            } else {
                r = file(path);
            }
        } catch (const StoreError& e) {
            // Disk full, database locked: the client sees a refused paste (no
            // Location), the operator sees why.
            r = simpleResponse(500);
            r.note = std::string("paste storage failed: ") + e.what();
        }
    }
    r.headOnly = head;
    return r;
}

std::time_t PasteService::purgeDue() {
    const std::time_t now = config_.clock();
    if (now < nextPurge_ && nextPurge_ - now <= kPurgeInterval) return nextPurge_ - now;
    nextPurge_ = now + kPurgeInterval;  // also when the purge fails
    store_.purgeExpiredPastes(now);
    if (const std::optional<std::int64_t> next = store_.nextPasteExpiry())
        nextPurge_ = std::clamp<std::time_t>(*next, now + 1, nextPurge_);
    return nextPurge_ - now;
}

long PasteService::takePasteToken(const std::string& address, std::time_t now) {
    if (config_.pastesPerMinute == 0) return 0;
    const double capacity = config_.pastesPerMinute;
    if (buckets_.size() > 4096) {
        // Full buckets hold nothing worth remembering.
        for (auto it = buckets_.begin(); it != buckets_.end();) {
            const bool full =
                it->second.tokens + (now - it->second.last) * capacity / 60.0 >= capacity;
            it = full ? buckets_.erase(it) : std::next(it);
        }
    }
    auto [it, fresh] = buckets_.try_emplace(address);
    Bucket& b = it->second;
    if (fresh) {
        b.tokens = capacity;
    } else {
        b.tokens =
            std::min(capacity, b.tokens + static_cast<double>(now - b.last) * capacity / 60.0);
    }
    b.last = now;
    if (b.tokens < 1.0)
        return std::max(1L, std::lround(std::ceil((1.0 - b.tokens) * 60.0 / capacity)));
    b.tokens -= 1.0;
    return 0;
}

std::string PasteService::linkHost(const HttpRequest& request, const HttpContext& context) const {
    std::string host = config_.host;
    if (host.empty()) {
        const std::optional<std::string> given = request.header("Host");
        if (given && isValidHostHeader(*given)) {
            host = *given;
        } else {
            host = context.localAddress.empty() ? "localhost" : context.localAddress;
        }
        // Drop a port the client put there; the link names the port we serve.
        if (!host.empty() && host.front() == '[') {
            const auto close = host.find(']');
            if (close != std::string::npos) host.erase(close + 1);
        } else if (const auto colon = host.find(':'); colon != std::string::npos) {
            host.erase(colon);
        }
        if (host.empty()) host = "localhost";
    } else if (host.find(':') != std::string::npos) {
        return host;  // --host already names a port
    }
    const std::uint16_t port = context.secure ? config_.tlsPort : config_.port;
    if (port != (context.secure ? 443 : 80)) host += ":" + std::to_string(port);
    return host;
}

std::string PasteService::linkOrigin(const HttpRequest& request, const HttpContext& context) const {
    return (context.secure ? "https://" : "http://") + linkHost(request, context);
}

HttpResponse PasteService::post(const HttpRequest& request, const HttpContext& context) {
    const auto form = parseForm(request.body);
    auto get = [&](const char* key) -> const std::string* {
        auto it = form.find(key);
        return it == form.end() ? nullptr : &it->second;
    };
    const std::string* title = get("titel");
    const std::string* duration = get("dauer");
    const std::string* site = get("site");
    const std::string* code = get("code");
    if (!title || !duration || !site || !code || title->empty() || code->empty() ||
        *site != "script_paste_tempcode" || !allowedDuration(*duration)) {
        return htmlResponse(400, pages::status(400, kBadForm));
    }
    const std::time_t now = config_.clock();
    if (const long wait = takePasteToken(context.peerAddress, now); wait > 0) {
        HttpResponse r = simpleResponse(429);
        r.headers.emplace_back("Retry-After", std::to_string(wait));
        r.note = "paste rate limit (" + std::to_string(config_.pastesPerMinute) + " a minute)";
        return r;
    }
    const std::string_view shownTitle = std::string_view(*title).substr(0, kMaxPasteTitleBytes);
    const std::uint64_t used = store_.pasteBytes(now);
    const std::uint64_t size = shownTitle.size() + code->size();
    if (used + size > config_.storageBytes) {
        HttpResponse r = simpleResponse(507);
        r.note = "paste storage full (" + std::to_string(used) + " of " +
                 std::to_string(config_.storageBytes) + " bytes in use)";
        return r;
    }
    Paste paste;
    paste.id = token(10);
    paste.title = std::string(shownTitle);
    paste.code = *code;
    paste.created = now;
    paste.expires = now + std::stoll(*duration);
    store_.addPaste(paste);
    nextPurge_ = std::min<std::time_t>(nextPurge_, paste.expires);

    HttpResponse r;
    r.status = 302;
    r.headers.emplace_back("Location", linkOrigin(request, context) + "/main.php?sid=" + token(12) +
                                           "&code=" + paste.id);
    r.headers.emplace_back("Content-Type", "text/plain; charset=windows-1252");
    return r;
}

HttpResponse PasteService::view(std::string_view query, const HttpRequest& request,
                                const HttpContext& context) {
    const auto params = parseForm(query);
    const auto it = params.find("code");
    // main.php alone is where a browser posts from.
    if (it == params.end()) return form(request, context);
    if (it->second.empty()) return simpleResponse(404);
    const std::time_t now = config_.clock();
    std::optional<Paste> paste = store_.findPaste(it->second, now);
    if (!paste) {
        if (!store_.expiredPaste(it->second, now)) return simpleResponse(404);
        // Its content goes now, whatever the timer would have done; the
        // page says it is gone only once it is.
        try {
            store_.purgeExpiredPaste(it->second, now);
        } catch (const StoreError& e) {
            HttpResponse r = htmlResponse(410, pages::status(410, kExpiredNotYetDeleted));
            r.note = std::string("expired paste not deleted: ") + e.what();
            return r;
        }
        return simpleResponse(410);
    }

    const std::int64_t left = paste->expires - now;
    // Pastes stored before titles were capped may carry a long one.
    const std::string_view title = std::string_view(paste->title).substr(0, kMaxPasteTitleBytes);
    HttpResponse r;
    const auto raw = params.find("raw");
    if (raw != params.end() && raw->second == "1") {
        r.headers.emplace_back("Content-Type", "text/plain; charset=windows-1252");
        r.headers.emplace_back("Content-Disposition",
                               "inline; filename=\"" + pages::safeFileName(title) + ".txt\"");
        r.body = std::move(paste->code);
    } else {
        pages::PastePage page;
        page.id = paste->id;
        page.title = title;
        page.code = paste->code;
        page.secondsLeft = left;
        page.highlight =
            !config_.highlightDir.empty() && isFile(config_.highlightDir + kHighlightFile);
        r = htmlResponse(200, pages::paste(page));
    }
    // A cache may keep it as long as it lives, and no longer.
    r.headers.emplace_back("Cache-Control", "private, max-age=" + std::to_string(left));
    return r;
}

HttpResponse PasteService::form(const HttpRequest& request, const HttpContext& context) {
    HttpResponse r = htmlResponse(200, pages::form());
    // The reply to the form's post redirects to the paste's link, which
    // names the host the server is configured with; an IPv6 literal has no
    // place in a policy, and its link is this server anyway.
    const std::string link = linkHost(request, context);
    const std::optional<std::string> asked = request.header("Host");
    if (link.front() != '[' && (!asked || *asked != link)) {
        r.headers.emplace_back("Content-Security-Policy",
                               contentSecurityPolicy(linkOrigin(request, context)));
    }
    return r;
}

HttpResponse PasteService::file(std::string_view path) {
    if (path == "/style.css")
        return staticFile(std::string(pages::kStyleSheet), "text/css; charset=utf-8");
    if (path == "/paste.js")
        return staticFile(std::string(pages::kScript), "text/javascript; charset=utf-8");
    // The file is Debian's; it may come or go while we run.
    std::string script = highlightScript();
    if (script.empty()) return simpleResponse(404);
    return staticFile(std::move(script), "text/javascript; charset=utf-8");
}

std::string PasteService::highlightScript() const {
    if (config_.highlightDir.empty()) return {};
    std::ifstream in(config_.highlightDir + kHighlightFile, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace quarnd
