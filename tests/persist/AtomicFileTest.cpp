// Saving a title never destroys what was there: a save that fails part-way leaves the old file
// whole, links stay links, devices are written into, directories are never replaced.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "base/Unicode.h"
#include "qel/QEL_Title2.h"

namespace qel {
namespace {

namespace fs = std::filesystem;

struct HostDeleter {
    void operator()(ITitleHost* h) const { ReleaseTitleHost(h); }
};

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SafeSave : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) / ("atomic_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "sub");
        host_.reset(GetTitleHost());
        const int32_t row = host_->AddString();
        ASSERT_EQ(host_->InsertText(row, 0, std::u16string(200, u'x').c_str()), 200);
    }
    void TearDown() override { fs::remove_all(dir_); }
    HRESULT Save(const fs::path& path) { return host_->SaveTitleToFile(Utf8ToUtf16(path.string()).c_str()); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir_))
            names.push_back(entry.path().lexically_relative(dir_).string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
    std::unique_ptr<ITitleHost, HostDeleter> host_;
};

TEST_F(SafeSave, FailedSaveLeavesTheOldTitleWhole) {
    const fs::path path = dir_ / "t.xml";
    std::ofstream(path, std::ios::binary) << "the old title";
    // In a child limited to 4 KiB per file, the save of a larger title fails part-way.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(Save(path) == E_FAIL ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read(path), "the old title");
    EXPECT_EQ(Names(), (std::vector<std::string>{"sub", "t.xml"}));

    EXPECT_EQ(Save("/dev/full"), E_FAIL);
    EXPECT_EQ(Save(dir_ / "sub"), E_FAIL);
    EXPECT_TRUE(fs::is_directory(dir_ / "sub"));
    EXPECT_EQ(Save("/dev/null"), S_OK);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // Through a link the file it names is replaced; the link stays.
    fs::create_symlink("t.xml", dir_ / "link.xml");
    ASSERT_EQ(Save(dir_ / "link.xml"), S_OK);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.xml"));
    EXPECT_EQ(Read(path).substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(Names(), (std::vector<std::string>{"link.xml", "sub", "t.xml"}));
}

}  // namespace
}  // namespace qel
