// The paste service: an incremental HTTP/1.1 request parser and the handler
// for /main.php. The parser is fed whatever the socket produced and never
// holds more than the header limit plus one body.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store.h"

namespace quarnd {

inline constexpr std::size_t kMaxHttpHeaderBytes = 16 * 1024;
inline constexpr std::size_t kMaxHttpBodyBytes = 1024 * 1024;

struct HttpRequest {
    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // Case-insensitive; the first header of that name, or nullopt.
    std::optional<std::string> header(std::string_view name) const;
};

class HttpRequestParser {
  public:
    enum class Status { Partial, Complete, BadRequest, TooLarge };

    // Appends bytes; once Complete or failed, further input is ignored (one
    // request per connection, and the client sends CR LF after its body).
    Status feed(std::string_view bytes);
    Status status() const { return status_; }
    const HttpRequest& request() const { return request_; }

  private:
    Status parseHead(std::size_t headEnd);

    std::string buffer_;
    Status status_ = Status::Partial;
    bool headDone_ = false;
    std::size_t contentLength_ = 0;
    HttpRequest request_;
};

struct HttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::string serialize() const;
};

HttpResponse simpleResponse(int status);

// application/x-www-form-urlencoded, decoded to raw bytes. A malformed "%"
// escape stays as it is: a paste should lose nothing.
std::map<std::string, std::string> parseForm(std::string_view body);
std::string percentDecode(std::string_view text);
std::string htmlEscape(std::string_view text);

struct PasteConfig {
    std::string host;        // empty: take it from the request's Host header
    std::uint16_t port = 0;  // the port links point at
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
    std::function<std::string(std::size_t)> randomToken;  // empty: /dev/urandom
};

class PasteService {
  public:
    PasteService(Store& store, PasteConfig config);
    HttpResponse handle(const HttpRequest& request);

  private:
    HttpResponse post(const HttpRequest& request);
    HttpResponse view(std::string_view query);
    std::string linkHost(const HttpRequest& request) const;
    std::string token(std::size_t n);

    Store& store_;
    PasteConfig config_;
};

std::string randomToken(std::size_t n);

}  // namespace quarnd
