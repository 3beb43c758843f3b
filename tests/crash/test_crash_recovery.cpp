// What is left after a fault: the state the abandoned pass leaves behind for
// the passes after it, and a plug-in that faulted while loading kept out of
// the next start even when the report itself faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "crash/crash_child_process.h"
#include "support/file_io.h"

namespace kavel {
namespace {

using test::Child;
using test::exitedWith;
using test::kQuestion;

// A folder that outlives its children: the fault plug-in in plugins/.
class PluginFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/crash-recovery-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        folder = tmpl;
        std::filesystem::create_directory(folder + "/plugins");
        std::filesystem::copy_file(FAULT_PLUGIN, folder + "/plugins/fault_plugin.so");
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::string prefs() const { return test::slurp(folder + "/prefs.ini"); }

    std::string folder;
};

std::vector<std::string> containing(const std::vector<std::string>& lines,
                                    const std::string& part) {
    std::vector<std::string> out;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(out),
                 [&](const std::string& l) { return l.find(part) != std::string::npos; });
    return out;
}

TEST_F(PluginFolder, AfterAPluginFaultOurOwnFaultsBlameNoPlugin) {
    // The plug-in faults, then our code while the plug-in is loaded, then
    // our code after it is gone (its name freed).
    Child child({"blame", "yes"}, folder);
    const int status = child.finish();
    ASSERT_TRUE(exitedWith(status, 0)) << status << child.output << child.errors();
    EXPECT_EQ(child.linesStartingWith(kQuestion).size(), 3u) << child.output;
    EXPECT_EQ(
        containing(child.linesStartingWith("status "), "Plugin"),
        std::vector<std::string>{
            "Der Fehler trat im Plugin fault_plugin.so auf - schalte es im Plugin Manager ab."})
        << child.output;
}

// What the abandoned pass would have put back on its way out, and what the
// child says when it finds it put back.
struct LeftOver {
    const char* scenario;
    const char* putBack;
    friend void PrintTo(const LeftOver& c, std::ostream* out) { *out << c.scenario; }
};

class Recovery : public ::testing::TestWithParam<LeftOver> {};

TEST_P(Recovery, WhatTheAbandonedPassLeftIsPutBack) {
    Child child({GetParam().scenario, "yes"});
    const int status = child.finish();
    EXPECT_TRUE(exitedWith(status, 0)) << status << child.output << child.errors();
    EXPECT_TRUE(child.hasLine(kQuestion)) << child.output;
    EXPECT_TRUE(child.hasLine(GetParam().putBack)) << child.output;
}

INSTANTIATE_TEST_SUITE_P(State, Recovery,
                         ::testing::Values(
                             // The handler runs with the default floating-point environment; the
                             // long jump out of it must not leave the loop with that one.
                             LeftOver{"fenv", "rounding kept"},
                             // A class abandoned half-way would make every later one fail.
                             LeftOver{"assembly", "object built"}),
                         [](const auto& info) { return std::string(info.param.scenario); });

TEST_F(PluginFolder, AFaultInTheReportOfALoadFaultStillKeepsThePluginOut) {
    test::spit(folder + "/prefs.ini",
               "[General]\r\nprofile = anna\r\nactivePlugins = fault_plugin.so\r\n");
    Child first({"load-twice", "yes"}, folder);
    const int status = first.finish();
    // The second fault ends the process at once, before any dump or box.
    EXPECT_TRUE(exitedWith(status, 128 + SIGSEGV)) << status << first.output << first.errors();
    EXPECT_NE(first.errors().find("fault while reporting a fault"), std::string::npos)
        << first.errors();
    EXPECT_FALSE(first.hasLine("not faulted"));
    EXPECT_EQ(prefs(),
              "[General]\r\nprofile = anna\r\nactivePlugins = \r\n"
              "faultedPlugin = fault_plugin.so\r\n");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              3)  // plugins/, prefs.ini and the child's stderr
        << first.output;

    Child next({"start", "yes"}, folder);
    EXPECT_TRUE(exitedWith(next.finish(), 0)) << next.output << next.errors();
    EXPECT_TRUE(next.hasLine("continued")) << next.output;
    EXPECT_TRUE(next.linesStartingWith("plugin ").empty()) << next.output;
    EXPECT_FALSE(containing(next.linesStartingWith("status "),
                            "Das Plugin fault_plugin.so wurde nicht geladen")
                     .empty())
        << next.output;
}

}  // namespace
}  // namespace kavel
