// fill and batch through the built tool: a bad row costs only itself and is named, outputs keep
// their alpha (read back by ffprobe and ffmpeg), and refusals write nothing. Every program runs
// under `timeout`.
#include "ToolTest.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class Batch : public qeltitle_test::ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        Write("lower.json", R"({"length": 1, "style": {"size": 100, "bold": true},
          "strings": [{"spans": [{"text": "{{name}}\n"}, {"text": "{{role}}", "size": 40}],
                       "anchor": "bottom-left", "margin": [80, 100], "effect": "PATH_FADE"}]})");
    }
    // The tool's messages and output kept in stderr.txt and stdout.txt.
    int Shell(const std::string& script) const { return ToolTest::Shell(script, "2>>stderr.txt >>stdout.txt"); }
};

TEST_F(Batch, BadRowIsNamedAndTheOthersAreMade) {
    // Row 3 lacks its role (a JSON row); its old output stays as it was.
    Write("people.json", R"([{"name": "Ann", "role": "Editor"}, {"name": "Bo", "role": "Host"}, {"name": "Cy"}])");
    fs::create_directories(dir_ / "out");
    Write("out/Cy.xml", "old");
    EXPECT_EQ(Shell("EXE batch lower.json people.json -o 'out/{name}.xml'"), 1);
    EXPECT_TRUE(fs::exists(dir_ / "out/Ann.xml") && fs::exists(dir_ / "out/Bo.xml"));
    EXPECT_EQ(Read("out/Cy.xml"), "old");
    EXPECT_NE(Read("stderr.txt").find("row 3: field role: missing"), std::string::npos) << Read("stderr.txt");
    EXPECT_NE(Read("stderr.txt").find("2 of 3 rows made; 1 failed (row 3)"), std::string::npos);
    // --rows takes part of the table; the filled title is the same as one filled by hand.
    fs::remove(dir_ / "out/Bo.xml");
    EXPECT_EQ(Shell("EXE batch lower.json people.json -o 'out/{name}.xml' --rows 2:9"), 1);
    EXPECT_TRUE(fs::exists(dir_ / "out/Bo.xml"));
    ASSERT_EQ(Shell("EXE fill lower.json --set name=Bo --set role=Host -o bo.xml"), 0);
    EXPECT_EQ(Read("bo.xml").size(), Read("out/Bo.xml").size());
}

TEST_F(Batch, VideosKeepTheirAlpha) {
    Write("people.csv", "name,role\n\"Doe, Jane\",Reporter\n");
    ASSERT_EQ(Shell("EXE batch lower.json people.csv -o 'v/{name}.mov' --size 320x180 --fps 10 && "
                    "EXE batch lower.json people.csv -o 'v/{name}.webm' --size 320x180 --fps 10"),
              0)
        << Read("stderr.txt");
    const struct {
        const char* file;
        const char* decoder;
        const char* pixelFormat;
    } videos[] = {{"v/Doe, Jane.mov", "prores", "yuva444p"}, {"v/Doe, Jane.webm", "libvpx-vp9", "yuva420p"}};
    for (const auto& v : videos) {
        // The stream as its decoder reads it (ffmpeg's own VP9 decoder drops the alpha; ProRes
        // 4444 is stored at 10 bits and read back at 12).
        EXPECT_EQ(Shell(std::string("timeout 60 ffmpeg -hide_banner -c:v ") + v.decoder + " -i '" + v.file +
                        "' 2>&1 | grep -q 'Video: .*" + v.pixelFormat + "'"),
                  0)
            << v.file;
        // The last frame as RGBA: a clear corner, the name's letters opaque.
        ASSERT_EQ(Shell(std::string("timeout 60 ffmpeg -v error -y -c:v ") + v.decoder + " -i '" + v.file +
                        "' -vf 'select=eq(n\\,9)' -frames:v 1 -f rawvideo -pix_fmt rgba last.rgba"),
                  0);
        const std::string rgba = Read("last.rgba");
        ASSERT_EQ(rgba.size(), 320u * 180 * 4);
        EXPECT_EQ(static_cast<uint8_t>(rgba[3]), 0) << v.file;
        int opaque = 0;
        for (int y = 100; y < 180; ++y)
            for (int x = 0; x < 160; ++x) opaque += static_cast<uint8_t>(rgba[(y * 320 + x) * 4 + 3]) > 200;
        EXPECT_GT(opaque, 100) << v.file;
    }
}

TEST_F(Batch, RefusalsWriteNothing) {
    Write("people.csv", "name,role,extra\nA,B,C\n");
    const std::pair<const char*, const char*> cases[] = {
        {"EXE batch lower.json people.csv -o 'o/{name}.xml'", "field extra: not in the template"},
        {"EXE batch lower.json people.csv -o 'o/{name}.mp4'", "--ignore-extra"},
        {"EXE batch lower.json people.csv -o 'o/{name}.mp4' --ignore-extra", "or give --background"},
        {"EXE fill lower.json --set name=A -o o/a.xml", "field role: missing"},
        {"EXE fill lower.json --set name=A --set role=B --set x=1 -o o/a.xml", "field x is not in the template"},
    };
    for (const auto& [command, message] : cases) {
        EXPECT_NE(Shell(command), 0) << command;
        EXPECT_NE(Read("stderr.txt").find(message), std::string::npos) << command << "\n" << Read("stderr.txt");
    }
    EXPECT_FALSE(fs::exists(dir_ / "o")) << "nothing written";
}

}  // namespace
