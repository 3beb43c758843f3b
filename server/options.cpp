#include "options.h"

#include <charconv>

namespace quarnd {

namespace {

bool parsePort(const std::string& text, std::uint16_t& port) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || p != end || text.empty() || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace

std::string usageText() {
    return "usage: quarnd [options]\n"
           "\n"
           "  --port N          chat port (default 1998; 0 picks a free port)\n"
           "  --paste-port N    paste service port (default 8080; 0 picks a free port)\n"
           "  --paste-port off  run without the paste service (same as --no-paste)\n"
           "  --no-paste        run without the paste service\n"
           "  --data DIR        folder for quarn.db, admins.txt and rooms.txt\n"
           "                    (default ./quarnd-data, created when missing)\n"
           "  --host NAME       host name written into paste links\n"
           "                    (default: the Host header of the request)\n"
           "  --help            show this text\n"
           "\n"
           "The first line on standard output is always\n"
           "  listening chat=PORT paste=PORT\n"
           "with the ports actually bound (paste=0 when the paste service is off).\n"
           "SIGINT or SIGTERM stops the server cleanly.\n";
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
            hasValue = true;
        }
        auto take = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= args.size()) {
                o.error = arg + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--no-paste") {
            o.server.pastePort.reset();
        } else if (arg == "--port") {
            if (!take()) return o;
            if (!parsePort(value, o.server.chatPort)) {
                o.error = "bad chat port '" + value + "'";
                return o;
            }
        } else if (arg == "--paste-port") {
            if (!take()) return o;
            std::uint16_t port = 0;
            if (value == "off") {
                o.server.pastePort.reset();
            } else if (parsePort(value, port)) {
                o.server.pastePort = port;
            } else {
                o.error = "bad paste port '" + value + "'";
                return o;
            }
        } else if (arg == "--data") {
            if (!take()) return o;
            if (value.empty()) {
                o.error = "--data needs a folder";
                return o;
            }
            o.server.dataDir = value;
        } else if (arg == "--host") {
            if (!take()) return o;
            o.server.host = value;
        } else {
            o.error = "unknown option '" + args[i] + "'";
            return o;
        }
    }
    return o;
}

}  // namespace quarnd
