// Start-up: from starting the process to its first window shown, for the
// client (build/src/kavel, on the offscreen platform, in a fresh folder)
// against a bare Qt window (this program with --bare-window), alternating
// in the same run. The preloaded test hook ends each process the moment
// its first window is exposed, so the time is exec, dynamic loading, the
// whole start-up and the first show. Sound output is pointed at nothing, so
// the start-up sound is not played. Prints medians, the difference and the
// ratio. Arguments: runs per program (15); paths of the client and the
// hook, if not where the build puts them.
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Runs the program once in `folder`; the time until it ended after showing
// its first window, or a negative number when it showed none.
double startOnce(const std::string& program, const std::vector<std::string>& args,
                 const fs::path& folder, const std::string& hook) {
    const fs::path report = folder / "report";
    fs::remove(report);
    const double start = nowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("LD_PRELOAD", hook.c_str(), 1);
        setenv("KAVEL_HOOK_REPORT", report.c_str(), 1);
        setenv("KAVEL_HOOK_EXIT_ON_SHOWN", "1", 1);
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        setenv("PULSE_SERVER", "unix:/nonexistent", 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double took = nowMs() - start;
    std::ifstream in(report);
    bool shown = false;
    for (std::string line; std::getline(in, line);)
        shown = shown || line.rfind("shown ", 0) == 0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && shown ? took : -1;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--bare-window") {
        QApplication app(argc, argv);
        QWidget window;
        window.setWindowTitle("bare");
        window.resize(600, 300);
        window.show();
        return app.exec();
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const fs::path self = fs::canonical("/proc/self/exe");
    const fs::path build = self.parent_path().parent_path();
    const std::string client = argc > 2 ? argv[2] : (build / "src/kavel").string();
    const std::string hook =
        argc > 3 ? argv[3] : (build / "tests/hook/kavel_test_hook.so").string();
    for (const std::string& f : {client, hook})
        if (!fs::exists(f)) {
            std::fprintf(stderr, "bench_startup: %s is missing (build it first)\n", f.c_str());
            return 1;
        }

    const fs::path scratch =
        fs::temp_directory_path() / ("bench_startup." + std::to_string(getpid()));
    fs::create_directories(scratch / "bare");
    // Qt wants the runtime folder to be the user's alone.
    fs::permissions(scratch / "bare", fs::perms::owner_all);
    std::vector<double> bare, kavel;
    for (int i = 0; i <= runs; ++i) {
        // A fresh folder each time: a first start, no profile, no sound.
        const fs::path folder = scratch / ("client" + std::to_string(i));
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all);
        std::ofstream(folder / "prefs.ini") << "[General]\r\nprofile = \r\nactivePlugins = \r\n";
        const double b = startOnce(self.string(), {"--bare-window"}, scratch / "bare", hook);
        const double k = startOnce(client, {}, folder, hook);
        if (b < 0 || k < 0) {
            std::fprintf(stderr, "bench_startup: a run showed no window (%s)\n",
                         b < 0 ? "bare window" : "client");
            fs::remove_all(scratch);
            return 1;
        }
        if (i == 0) continue;  // the first pair warms the caches
        bare.push_back(b);
        kavel.push_back(k);
    }
    fs::remove_all(scratch);

    const double mb = median(bare), mk = median(kavel);
    std::printf("start to first window shown, median of %d runs (offscreen, no sound):\n", runs);
    std::printf("  bare Qt window  %7.1f ms  (fastest %.1f)\n", mb,
                *std::min_element(bare.begin(), bare.end()));
    std::printf("  kavel           %7.1f ms  (fastest %.1f)\n", mk,
                *std::min_element(kavel.begin(), kavel.end()));
    std::printf("  difference      %+7.1f ms  ratio %.2f  (target: within 150 ms)\n", mk - mb,
                mk / mb);
    return 0;
}
