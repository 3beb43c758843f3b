// Command line of quarnd.
#pragma once

#include <string>
#include <vector>

#include "server.h"

namespace quarnd {

struct Options {
    ServerConfig server;
    bool help = false;
    std::string error;  // non-empty: the command line was refused
};

Options parseOptions(const std::vector<std::string>& args);
std::string usageText();

}  // namespace quarnd
