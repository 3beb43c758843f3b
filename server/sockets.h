// Socket and file chores of quarnd's loop, each a thin wrapper over one or
// two system calls.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quarnd {

// The whole file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
std::string addressText(const in_addr& addr);
// The address a connected socket was reached at, empty when unknown.
std::string localAddressOf(int fd);
// A non-blocking listening socket; throws ServerError saying which port
// (`what`) could not be opened and why.
int listenOn(const std::string& address, std::uint16_t port, const char* what);
std::uint16_t boundPort(int fd);
// The data folder holds password hashes and pastes: only our own user may
// read it, whatever the umask, and an older folder is tightened too.
// Returns what the operator should hear about.
std::vector<std::string> prepareDataDir(const std::filesystem::path& dir);

}  // namespace quarnd
