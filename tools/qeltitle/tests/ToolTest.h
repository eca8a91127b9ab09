// The ground of the tests that drive the built tool: a working folder of its own per test
// (QELTITLE_WORK_DIR/Suite.Name, emptied first) and a shell that runs there, with EXE standing for
// the tool under a time limit, so a hung tool fails its test instead of stalling the run. Other
// programs a script starts (ffmpeg, ffprobe) are given their own `timeout` by the script.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qeltitle_test {

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::path(QELTITLE_WORK_DIR) / (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    // Runs a shell script in the test's folder, its output redirected by `redirect` (by default the
    // errors appended to stderr.txt); its exit status.
    int Shell(std::string script, const std::string& redirect = "2>>stderr.txt") const {
        for (size_t at; (at = script.find("EXE")) != std::string::npos;)
            script.replace(at, 3, "timeout 120 '" QELTITLE_EXE "'");
        const int raw = std::system(("cd '" + dir_.string() + "' && { " + script + "; } " + redirect).c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    void Write(const std::string& name, const std::string& text) const { std::ofstream(dir_ / name) << text; }
    std::string Read(const std::string& name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::filesystem::path dir_;
};

}  // namespace qeltitle_test
