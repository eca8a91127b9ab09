// Safe output files: what a path resolves to. Failed writes (size limit, full device), FIFOs,
// directories and the encoder's reserved name are checked end to end in CliTest.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "player/SafeFile.h"

namespace qeltitle {
namespace {

namespace fs = std::filesystem;

class SafeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qeltitle-safefile-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "sub");
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string P(const std::string& name) const { return (dir_ / name).string(); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Every name in the directory tree: a temporary left behind shows here.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(dir_))
            names.push_back(entry.path().lexically_relative(dir_).string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

TEST_F(SafeFileTest, WritesThroughLinksAndKeepsWhatItReplaces) {
    std::ofstream(P("sub/real.txt")) << "old";
    fs::permissions(P("sub/real.txt"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("sub/real.txt", P("link.txt"));          // relative to the link's directory
    fs::create_symlink(P("link.txt"), P("sub/link2.txt"));      // a chain, absolute
    fs::create_symlink("missing.txt", P("sub/dangling.txt"));  // the target does not exist yet
    const struct {
        std::string path;
        std::string writtenFile;
    } cases[] = {
        {P("new.txt"), P("new.txt")},
        {P("link.txt"), P("sub/real.txt")},
        {P("sub/link2.txt"), P("sub/real.txt")},
        {P("sub/dangling.txt"), P("sub/missing.txt")},
    };
    for (const auto& c : cases) {
        std::string error;
        ASSERT_TRUE(WriteWholeFile(c.path, "new " + c.path, error)) << c.path << ": " << error;
        EXPECT_EQ(Read(c.writtenFile), "new " + c.path);
    }
    EXPECT_TRUE(fs::is_symlink(P("link.txt")));
    EXPECT_TRUE(fs::is_symlink(P("sub/link2.txt")));
    EXPECT_TRUE(fs::is_symlink(P("sub/dangling.txt")));
    EXPECT_EQ(fs::status(P("sub/real.txt")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Names(), (std::vector<std::string>{"link.txt", "new.txt", "sub", "sub/dangling.txt", "sub/link2.txt",
                                                 "sub/missing.txt", "sub/real.txt"}));

    fs::create_symlink("loop", P("loop"));
    std::string error;
    EXPECT_FALSE(WriteWholeFile(P("loop"), "x", error));
    EXPECT_EQ(error, "Too many levels of symbolic links");
}

}  // namespace
}  // namespace qeltitle
