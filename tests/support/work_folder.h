#pragma once
// A fresh, empty working folder for tests of files the client keeps beside
// itself (prefs.ini, profile/): made under $TMPDIR, entered, and on
// destruction left and removed.

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace kavel::test {

class WorkFolder {
  public:
    WorkFolder() : old_(std::filesystem::current_path()) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kavel-work-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
        std::filesystem::current_path(path_);
    }
    ~WorkFolder() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path old_;
    std::filesystem::path path_;
};

}  // namespace kavel::test
