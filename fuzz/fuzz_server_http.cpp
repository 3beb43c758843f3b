// The paste service's request parser over arbitrary bytes: fed whole and in
// two pieces it must reach the same verdict, and a complete request must be
// answered with a well-formed response.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "http.h"
#include "store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using Status = quarnd::HttpRequestParser::Status;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    quarnd::HttpRequestParser whole;
    const Status a = whole.feed(bytes);
    quarnd::HttpRequestParser split;
    const std::size_t cut = size ? data[0] % (size + 1) : 0;
    split.feed(bytes.substr(0, cut));
    const Status b = split.feed(bytes.substr(cut));
    if (a != b) std::abort();
    if (a == Status::Complete && whole.request().body != split.request().body) std::abort();

    if (a == Status::Complete) {
        quarnd::Store store(":memory:", 1);
        quarnd::PasteConfig config;
        config.port = 8080;
        config.clock = [] { return std::time_t(1700000000); };
        config.randomToken = [](std::size_t n) { return std::string(n, 'k'); };
        quarnd::PasteService service(store, config);
        const std::string out = service.handle(whole.request()).serialize();
        if (out.rfind("HTTP/1.1 ", 0) != 0 || out.find("\r\n\r\n") == std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
