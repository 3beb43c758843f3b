// crash_child as a child process in a folder of its own (or one given): its
// output line by line, its exit status and the dump it leaves; and the lines
// the helpers' sources mark as their faults.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/file_io.h"

namespace kavel::test {

// The line of a "FAULT: name" mark in one of the helpers' sources.
inline int markedLine(const std::string& file, const std::string& mark) {
    std::ifstream in(std::string(CRASH_SOURCES) + "/" + file);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (line.find("FAULT: " + mark) != std::string::npos) return n;
    return 0;
}

class Child {
  public:
    // In a fresh folder, removed again at the end, or in the one given,
    // which stays (a second child may start where the first ended).
    explicit Child(const std::vector<std::string>& args, const std::string& in = {}) : folder(in) {
        char tmpl[] = "/tmp/crash-test-XXXXXX";
        if (folder.empty() && mkdtemp(tmpl)) folder = ownFolder = tmpl;
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            const int err =
                ::open((folder + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err >= 0) dup2(err, STDERR_FILENO);
            if (chdir(folder.c_str()) != 0) _exit(126);
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            std::vector<char*> argv;
            std::vector<std::string> all = {CRASH_CHILD};
            all.insert(all.end(), args.begin(), args.end());
            for (auto& a : all)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ::close(out[1]);
        fd = out[0];
    }
    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (fd >= 0) ::close(fd);
        std::error_code ec;
        if (!ownFolder.empty()) std::filesystem::remove_all(ownFolder, ec);
    }

    // Reads output until a line starts with prefix; false after timeoutMs.
    bool waitFor(const std::string& prefix, int timeoutMs = 30000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!hasLine(prefix)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0 || !fill(static_cast<int>(left))) return false;
        }
        return true;
    }
    // Reads to the end and returns the exit status as waitpid gives it.
    int finish(int timeoutMs = 60000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0 || !fill(static_cast<int>(left))) break;
        }
        int status = -1;
        if (pid > 0) {
            if (waitpid(pid, &status, WNOHANG) == 0) {
                ::kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
            }
            pid = -1;
        }
        return status;
    }
    bool hasLine(const std::string& prefix) const { return !linesStartingWith(prefix).empty(); }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::size_t start = 0;
        for (auto nl = output.find('\n'); nl != std::string::npos; nl = output.find('\n', start)) {
            out.push_back(output.substr(start, nl - start));
            start = nl + 1;
        }
        return out;
    }
    std::vector<std::string> linesStartingWith(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& l : lines())
            if (l.rfind(prefix, 0) == 0) out.push_back(l.substr(prefix.size()));
        return out;
    }
    // The one dump file the child left, or "" when there is none.
    std::string dump(std::string* name = nullptr) const {
        std::string found;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
            const std::string n = e.path().filename().string();
            if (n.size() > 9 && n.substr(n.size() - 9) == ".dump.txt") {
                if (!found.empty()) return "more than one dump";
                found = slurp(e.path().string());
                if (name) *name = n;
            }
        }
        return found;
    }
    std::string errors() const { return slurp(folder + "/stderr"); }

    pid_t pid = -1;
    std::string folder;
    std::string output;

  private:
    std::string ownFolder;
    bool fill(int waitMs) {
        if (fd < 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) return false;
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return false;
        output.append(buf, static_cast<std::size_t>(n));
        return true;
    }
    int fd = -1;
};

inline const std::string kQuestion =
    "dialog yesno FEHLER|Es ist ein Fehler aufgetreten.\\r"
    "Informationen dazu finden sich in der dump.txt.\\r"
    "Soll das Programm fortgesetzt werden?";

inline bool exitedWith(int status, int code) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

}  // namespace kavel::test
