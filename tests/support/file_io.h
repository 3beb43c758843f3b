#pragma once
// Whole-file reads and writes for tests that check files byte for byte.

#include <fstream>
#include <iterator>
#include <string>

namespace kavel::test {

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void spit(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

}  // namespace kavel::test
