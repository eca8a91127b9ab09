// The producer module through the real melt: frames melt writes as PNG equal the frames
// `qeltitle render` writes at the same title time, size and scale; laid over a colour clip through
// a compositing transition the clip shows where the title is transparent; frames asked for out of
// order and from several threads are the same; the module lists its description; a title that
// cannot be loaded and a scale out of range are refused with their reason.
//
// melt loads modules from one directory: each test run makes a directory that links the system's
// MLT modules plus ours (and the same for MLT's data), and points MLT_REPOSITORY and MLT_DATA at them.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <framework/mlt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The running test's own directory, so that tests may run in parallel.
fs::path gWork;

struct Rgba {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // red, green, blue, alpha
    const uint8_t* At(int x, int y) const { return &pixels[(static_cast<size_t>(y) * width + x) * 4]; }
};

// Any 8-bit PNG as RGBA, without gamma or colour conversions (opaque files get alpha 255).
bool ReadPng(const fs::path& file, Rgba& out) {
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_read_png(png, info, PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_GRAY_TO_RGB, nullptr);
        out.width = static_cast<int>(png_get_image_width(png, info));
        out.height = static_cast<int>(png_get_image_height(png, info));
        const int channels = png_get_channels(png, info);
        png_bytepp rows = png_get_rows(png, info);
        out.pixels.assign(static_cast<size_t>(out.width) * out.height * 4, 255);
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                for (int c = 0; c < channels && c < 4; ++c)
                    out.pixels[(static_cast<size_t>(y) * out.width + x) * 4 + c] = rows[y][x * channels + c];
        ok = channels == 3 || channels == 4;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return ok;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Every melt or qeltitle run ends within this (each takes about a second): a run that waits for
// ever is ended and made once more (see MeltToPngs), so a hang fails its test, never the suite.
constexpr const char* kTimeLimit = "/usr/bin/timeout -k 5 30 ";
// timeout's exit status when it had to end the command: 124, or 137 when melt ignored SIGTERM and
// the KILL that follows it ended melt.
bool TimedOut(int status) { return WIFEXITED(status) && (WEXITSTATUS(status) == 124 || WEXITSTATUS(status) == 137); }

// Runs a shell command with the test's MLT directories; its exit status and what it printed.
int Shell(const std::string& command, std::string* output = nullptr) {
    const fs::path log = gWork / "command.log";
    const std::string line = "MLT_REPOSITORY=" + Quote((gWork / "modules").string()) +
                             " MLT_DATA=" + Quote((gWork / "data").string()) + " " + kTimeLimit + command + " > " +
                             Quote(log.string()) + " 2>&1";
    int status = std::system(line.c_str());
    if (TimedOut(status)) {
        std::fprintf(stderr, "timed out, once more: %s\n", command.c_str());
        status = std::system(line.c_str());
    }
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    if (output) *output = text.str();
    if (status != 0) std::fprintf(stderr, "%s\n%s\n", command.c_str(), text.str().c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Links every entry of `system` and then `ours` into `dir`.
void LinkFarm(const fs::path& dir, const fs::path& system, const fs::path& ours) {
    fs::create_directories(dir);
    for (const auto& entry : fs::directory_iterator(system)) fs::create_symlink(entry.path(), dir / entry.path().filename());
    fs::create_symlink(ours, dir / ours.filename());
}

class Melt : public ::testing::Test {
protected:
    void SetUp() override {
        gWork = fs::path(QEL_MLT_TEST_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(gWork);
        LinkFarm(gWork / "modules", QEL_MLT_SYSTEM_MODULES, QEL_MLT_MODULE);
        LinkFarm(gWork / "data", QEL_MLT_SYSTEM_DATA, QEL_MLT_MODULE_DATA);
        // 480x270 at 25 fps: a title laid out for 1920x1080 fills it at scale 0.25.
        std::ofstream(gWork / "profile") << "description=test 480x270\nframe_rate_num=25\nframe_rate_den=1\n"
                                            "width=480\nheight=270\nprogressive=1\nsample_aspect_num=1\n"
                                            "sample_aspect_den=1\ndisplay_aspect_num=16\ndisplay_aspect_den=9\n"
                                            "colorspace=709\n";
    }

    static std::string Qeltitle() { return Quote(QELTITLE_EXE); }
    static std::string MeltExe() { return Quote(MELT_EXE); }
    // The null consumer as these tests use it: real_time=0 leaves out melt's read-ahead thread. At
    // its start melt 7.12's consumer waits until that thread has queued `buffer` (25) frames, but
    // once the producer is paused at its end (at once for out=0) the thread queues only one more,
    // so on a loaded machine the two can wait for each other for ever (and SIGTERM only asks the
    // stuck consumer to stop); MLT's own producers do the same (scripts/melt_refusal_stress.sh).
    static std::string NullConsumer() { return " -consumer null terminate_on_pause=1 real_time=0"; }
    static std::string MeltCommand() { return MeltExe() + " -quiet -profile " + Quote((gWork / "profile").string()); }
    // Runs `melt ARGS` writing PNG frames numbered from 0 into dir (made afresh); `options` go to the
    // consumer. real_time=0: the consumer's default drops frames it cannot draw in time, which a
    // loaded machine turned into repeated pictures (options may still ask for threads, as
    // real_time=-2 does).
    // Debian's melt 7.12 now and then, on a loaded machine and with only its own producers too,
    // exits 0 having written no frame, or waits for ever after the last one; such a run is made
    // again, three times at most, so that the test judges our frames rather than melt's luck.
    static int MeltToPngs(const std::string& args, const fs::path& dir, const char* pixelFormat,
                          const std::string& options = "") {
        int status = -1;
        for (int attempt = 0; attempt < 3; ++attempt) {
            fs::remove_all(dir);
            fs::create_directories(dir);
            status = Shell(MeltCommand() + " " + args + " -consumer avformat:" + Quote((dir / "%d.png").string()) +
                           " vcodec=png pix_fmt=" + pixelFormat + " start_number=0 real_time=0" + options);
            if (status != 0 || !fs::is_empty(dir)) break;
            std::fprintf(stderr, "melt wrote no frame; once more\n");
        }
        return status;
    }
};

TEST_F(Melt, FramesEqualQeltitleRender) {
    const fs::path title = gWork / "hello.xml";
    ASSERT_EQ(Shell(Qeltitle() + " text 'Hello, MLT' -o " + Quote(title.string()) +
                  " --size 160 --color '#FFE27A:#FF7A00' --border 5:#3A1800 --shadow 8,8:6 --effect PATH_SLIDEUP"
                  " --then PATH_FADE"),
              0);
    // Laid out for a portrait frame: fitted into the landscape profile, a column in the middle.
    const fs::path portrait = gWork / "portrait.xml";
    ASSERT_EQ(Shell(Qeltitle() + " text 'Up' -o " + Quote(portrait.string()) +
                    " --size 300 --frame 1080x1920 --length 0.2 --in 0.1 --effect PATH_SLIDEUP"),
              0);
    struct Case {
        const char* name;
        const fs::path& title;
        const char* properties;  // of the producer
        const char* renderOptions;  // the same frame for qeltitle render
        const char* consumerOptions;
    } cases[] = {
        {"default", title, "", "--background transparent", ""},
        // Several threads ask for frames at once.
        {"scale and colour", title, "scale=0.2 background=#203040", "--scale 0.2 --background '#203040'",
         " real_time=-2"},
        // The title's own length (0.2 s: frames 0..4) when no out point is given.
        {"portrait fitted", portrait, "", "--background transparent", ""},
    };
    constexpr int kLast = 4;  // frames 0..4 of five: times 0, 0.2, 0.4, 0.6, 0.8
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path frames = gWork / (std::string("frames-") + c.name);
        const std::string out = c.title == portrait ? "" : " out=" + std::to_string(kLast);
        ASSERT_EQ(MeltToPngs("qeltitle:" + Quote(c.title.string()) + out + " " + c.properties, frames, "rgba",
                             c.consumerOptions),
                  0);
        for (int i = 0; i <= kLast; ++i) {
            char time[32];
            std::snprintf(time, sizeof time, "%.17g", static_cast<double>(i) / (kLast + 1));
            const fs::path expected = frames / ("expected-" + std::to_string(i) + ".png");
            ASSERT_EQ(Shell(Qeltitle() + " render " + Quote(c.title.string()) + " -o " + Quote(expected.string()) +
                          " --size 480x270 --time " + time + " " + c.renderOptions),
                      0);
            Rgba got, want;
            ASSERT_TRUE(ReadPng(frames / (std::to_string(i) + ".png"), got)) << "frame " << i;
            ASSERT_TRUE(ReadPng(expected, want));
            ASSERT_EQ(got.width, 480);
            ASSERT_EQ(got.height, 270);
            EXPECT_TRUE(got.pixels == want.pixels) << "frame " << i << " differs from qeltitle render --time " << time;
        }
        // The animation moves: the first and middle frames differ.
        Rgba first, middle;
        ASSERT_TRUE(ReadPng(frames / "0.png", first) && ReadPng(frames / "2.png", middle));
        EXPECT_FALSE(first.pixels == middle.pixels);
        EXPECT_FALSE(fs::exists(frames / (std::to_string(kLast + 1) + ".png")));
    }
}

TEST_F(Melt, OverlayShowsTheClipWhereTheTitleIsTransparent) {
    // A red full block in the middle of the frame, over a blue clip.
    const fs::path title = gWork / "block.xml";
    ASSERT_EQ(Shell(Qeltitle() + " text '█' -o " + Quote(title.string()) + " --size 600 --color '#FF0000'"), 0);
    const fs::path frames = gWork / "overlay";
    ASSERT_EQ(MeltToPngs("color:#0000FF out=2 -track qeltitle:" + Quote(title.string()) +
                             " out=2 -transition affine a_track=0 b_track=1 out=2",
                         frames, "rgb24"),
              0);
    Rgba frame;
    ASSERT_TRUE(ReadPng(frames / "1.png", frame));
    ASSERT_EQ(frame.width, 480);
    // Tolerance 2 per channel: the transition may round once.
    auto near = [](const uint8_t* p, int r, int g, int b) {
        return std::abs(p[0] - r) <= 2 && std::abs(p[1] - g) <= 2 && std::abs(p[2] - b) <= 2;
    };
    const uint8_t* corner = frame.At(10, 10);
    const uint8_t* centre = frame.At(240, 135);
    EXPECT_TRUE(near(corner, 0, 0, 255)) << int(corner[0]) << "," << int(corner[1]) << "," << int(corner[2]);
    EXPECT_TRUE(near(centre, 255, 0, 0)) << int(centre[0]) << "," << int(centre[1]) << "," << int(centre[2]);
}

TEST_F(Melt, PlateShowsBehindTheTextWithRoundCorners) {
    // A green plate (padding 40 by 20 units, radius 40) behind white text, over a blue clip: at
    // 480x270 the padding is 10 by 5 pixels and the corners' radius 10.
    const fs::path title = gWork / "plate.xml";
    ASSERT_EQ(Shell(Qeltitle() + " text 'Plate' -o " + Quote(title.string()) +
                    " --size 200 --plate '#20C040:40,20:40'"),
              0);
    const fs::path frames = gWork / "plate";
    ASSERT_EQ(MeltToPngs("color:#0000FF out=2 -track qeltitle:" + Quote(title.string()) +
                             " out=2 -transition affine a_track=0 b_track=1 out=2",
                         frames, "rgb24"),
              0);
    Rgba frame;
    ASSERT_TRUE(ReadPng(frames / "1.png", frame));
    ASSERT_EQ(frame.width, 480);
    auto is = [&](int x, int y, int r, int g, int b) {
        const uint8_t* p = frame.At(x, y);
        return std::abs(p[0] - r) <= 2 && std::abs(p[1] - g) <= 2 && std::abs(p[2] - b) <= 2;
    };
    // The plate's left edge on the middle row, and its top edge a little further in.
    int left = 0, top = 0;
    while (left < 240 && is(left, 135, 0, 0, 255)) ++left;
    ASSERT_LT(left, 200) << "no plate on the middle row";
    while (top < 135 && is(left + 12, top, 0, 0, 255)) ++top;
    ASSERT_LT(top, 120) << "no plate above the middle row";
    // Plate colour inside the padding, outside the letters; the clip in the cut corner and beyond.
    for (int dx = 2; dx <= 7; ++dx) EXPECT_TRUE(is(left + dx, 135, 0x20, 0xC0, 0x40)) << "padding at +" << dx;
    EXPECT_TRUE(is(left + 12, top + 2, 0x20, 0xC0, 0x40));
    EXPECT_TRUE(is(left + 1, top + 1, 0, 0, 255)) << "the corner is round";
    EXPECT_TRUE(is(left - 3, 135, 0, 0, 255));
}

// Through MLT's own interface: frames asked for out of order and from several threads at once are
// the frames asked for in order from one thread.
TEST_F(Melt, FramesInAnyOrderFromAnyThread) {
    const fs::path title = gWork / "spin.xml";
    ASSERT_EQ(Shell(Qeltitle() + " text 'Any order' -o " + Quote(title.string()) +
                    " --size 200 --border 4 --effect PATH_FADE --then PATH_SLIDELEFT"),
              0);
    setenv("MLT_DATA", (gWork / "data").c_str(), 1);
    ASSERT_TRUE(mlt_factory_init((gWork / "modules").c_str()));
    mlt_profile profile = mlt_profile_init(nullptr);
    profile->width = 320, profile->height = 180, profile->frame_rate_num = 25, profile->frame_rate_den = 1;
    profile->sample_aspect_num = profile->sample_aspect_den = 1, profile->progressive = 1;
    mlt_producer producer = mlt_factory_producer(profile, "qeltitle", title.c_str());
    ASSERT_NE(producer, nullptr);
    constexpr int kFrames = 8;
    mlt_properties_set_int(MLT_PRODUCER_PROPERTIES(producer), "out", kFrames - 1);

    // Frames are taken in the given order on the calling thread (as MLT's consumers do) and drawn
    // by whichever thread asks for the image.
    std::vector<mlt_frame> frames(kFrames);
    auto take = [&](const std::vector<int>& order) {
        for (int i : order) {
            mlt_producer_seek(producer, i);
            mlt_service_get_frame(MLT_PRODUCER_SERVICE(producer), &frames[i], 0);
        }
    };
    auto draw = [&](int i) {
        mlt_image_format format = mlt_image_rgba;
        int width = 320, height = 180;
        uint8_t* image = nullptr;
        const bool ok = mlt_frame_get_image(frames[i], &image, &format, &width, &height, 0) == 0 &&
                        format == mlt_image_rgba && width == 320 && height == 180;
        std::vector<uint8_t> pixels;
        if (ok) pixels.assign(image, image + width * height * 4);
        mlt_frame_close(frames[i]);
        return pixels;
    };
    std::vector<std::vector<uint8_t>> inOrder(kFrames);
    take({0, 1, 2, 3, 4, 5, 6, 7});
    for (int i = 0; i < kFrames; ++i) inOrder[i] = draw(i);
    ASSERT_FALSE(inOrder[0].empty());
    EXPECT_NE(inOrder[1], inOrder[6]);

    take({5, 2, 7, 0, 3, 6, 1, 4});
    std::vector<std::vector<uint8_t>> shuffled(kFrames);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = kFrames - 1 - t; i >= 0; i -= 4) shuffled[i] = draw(i);
        });
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < kFrames; ++i) EXPECT_TRUE(shuffled[i] == inOrder[i]) << "frame " << i;

    mlt_producer_close(producer);
    mlt_profile_close(profile);
    mlt_factory_close();
}

TEST_F(Melt, ListsItsDescriptionAndRefusesBadInput) {
    std::string output;
    ASSERT_EQ(Shell(MeltExe() + " -query producer=qeltitle", &output), 0);
    EXPECT_NE(output.find("identifier: qeltitle"), std::string::npos) << output;
    EXPECT_NE(output.find("identifier: background"), std::string::npos) << output;

    // A title that cannot be loaded fails the producer with the reason. melt itself exits with 0
    // after a producer fails; the producer's refusal is what counts.
    const fs::path notATitle = gWork / "not-a-title.xml";
    std::ofstream(notATitle) << "<html/>";
    const std::pair<fs::path, std::string> files[] = {
        {gWork / "missing.xml", "No such file or directory"},
        {gWork, "is a directory"},
        {notATitle, "not a title document (its root element is <html>, not <CTitle>)"}};
    for (const auto& [bad, reason] : files) {
        Shell(MeltExe() + " qeltitle:" + Quote(bad.string()) + " out=1" + NullConsumer(), &output);
        EXPECT_NE(output.find("qeltitle: cannot load title: " + bad.string() + ": " + reason), std::string::npos) << output;
        EXPECT_NE(output.find("Failed to load \"qeltitle:"), std::string::npos) << output;
    }

    // A scale outside 0.01..100 (or not a number) and a background that is not a colour are
    // refused with the reason, not a guess; the frames then show nothing, and melt finishes them.
    const fs::path title = gWork / "ok.xml";
    ASSERT_EQ(Shell(Qeltitle() + " text 'ok' -o " + Quote(title.string())), 0);
    const std::pair<std::string, std::string> properties[] = {
        {"scale=1000", "scale 1000 is not a number from 0.01 to 100"},
        {"scale=0", "scale 0 is not a number from 0.01 to 100"},
        {"scale=big", "scale big is not a number from 0.01 to 100"},
        {"background=purple", "background purple is not a colour"},
        {"background=#12345", "background #12345 is not a colour"},
        {"background=0xFF0000", "background 0xFF0000 is not a colour"}};
    for (const auto& [property, reason] : properties) {
        EXPECT_EQ(Shell(MeltExe() + " qeltitle:" + Quote(title.string()) + " out=0 " + property + NullConsumer(), &output),
                  0);
        EXPECT_NE(output.find(reason), std::string::npos) << output;
        EXPECT_NE(output.find("; the title is not drawn"), std::string::npos) << output;
    }
    const fs::path frames = gWork / "refused";
    ASSERT_EQ(MeltToPngs("qeltitle:" + Quote(title.string()) + " out=0 background=purple", frames, "rgba"), 0);
    Rgba empty;
    ASSERT_TRUE(ReadPng(frames / "0.png", empty));
    EXPECT_TRUE(std::all_of(empty.pixels.begin(), empty.pixels.end(), [](uint8_t v) { return v == 0; }));

    // A border wider than the library draws is drawn at its widest, and melt is told so.
    const fs::path wide = gWork / "wide.xml";
    ASSERT_EQ(Shell(Qeltitle() + " text W --size 200 --border 1000 -o " + Quote(wide.string())), 0);
    EXPECT_EQ(Shell(MeltExe() + " qeltitle:" + Quote(wide.string()) + " out=0 -profile atsc_1080p_25 -consumer avformat:" +
                        Quote((gWork / "wide-%d.png").string()) + " vcodec=png real_time=0",
                    &output),
              0);
    EXPECT_NE(output.find("border 1000 is 2500 px wide at scale 1, more than the 2048 px the library draws"),
              std::string::npos)
        << output;
}

}  // namespace

// `qeltitle captions -o PROJECT.mlt` gives one producer per cue at its time: melt draws from it
// the frames `captions -o frames/%04d.png` writes, word-by-word cues and the gaps between cues
// included.
TEST_F(Melt, CaptionsProjectRendersTheCaptionFrames) {
    const fs::path subs = gWork / "talk.vtt";
    std::ofstream(subs) << "WEBVTT\n\n00:00.200 --> 00:01.000\nA first cue\n\n"
                           "00:01.400 --> 00:02.600\nWord <00:00:01.800>by <00:00:02.200>word\n";
    const std::string common = " --size 480x270 --preset social";
    ASSERT_EQ(Shell(Qeltitle() + " captions " + Quote(subs.string()) + " -o " +
                    Quote((gWork / "talk.mlt").string()) + common), 0);
    const fs::path expected = gWork / "expected";
    ASSERT_EQ(Shell(Qeltitle() + " captions " + Quote(subs.string()) + " -o " +
                    Quote((expected / "%d.png").string()) + common), 0);
    const fs::path frames = gWork / "melt";
    ASSERT_EQ(MeltToPngs(Quote((gWork / "talk.mlt").string()), frames, "rgba"), 0);
    int compared = 0;
    for (int i = 0; fs::exists(expected / (std::to_string(i) + ".png")); ++i, ++compared) {
        Rgba got, want;
        ASSERT_TRUE(ReadPng(frames / (std::to_string(i) + ".png"), got)) << "frame " << i;
        ASSERT_TRUE(ReadPng(expected / (std::to_string(i) + ".png"), want));
        EXPECT_TRUE(got.pixels == want.pixels) << "frame " << i << " differs";
    }
    EXPECT_EQ(compared, 65);  // to the end of the last cue at 25 fps
}

// Cues of one frame, two frames and many draw at the same title times in PNG frames, over a video
// and through melt: frame i of a cue's n frames from `first` at (i - first) / n, as `render
// --time` draws the cue's title. The last frame of each still shows the cue.
TEST_F(Melt, CuesDrawAtTheSameTimesInEveryOutput) {
    struct Cue {
        const char* times;
        int first, count;
    } const cues[] = {{"00:00.000 --> 00:00.040", 0, 1}, {"00:00.400 --> 00:00.480", 10, 2},
                      {"00:00.800 --> 00:01.600", 20, 20}};
    std::ofstream subs(gWork / "cues.vtt");
    subs << "WEBVTT\n";
    for (const Cue& c : cues) subs << "\n" << c.times << "\nSame times\n";
    subs.close();
    const std::string common = " --size 480x270 --fps 25";
    const std::string vtt = Quote((gWork / "cues.vtt").string());
    ASSERT_EQ(Shell(Qeltitle() + " captions " + vtt + " -o " + Quote((gWork / "cues.mlt").string()) + common), 0);
    ASSERT_EQ(Shell(Qeltitle() + " captions " + vtt + " -o " + Quote((gWork / "png/%d.png").string()) + common), 0);
    ASSERT_EQ(MeltToPngs(Quote((gWork / "cues.mlt").string()), gWork / "melt", "rgba"), 0);
    ASSERT_EQ(Shell("ffmpeg -v error -f lavfi -i color=black:s=480x270:r=25:d=1.6 -vf format=bgra -c:v ffv1 " +
                    Quote((gWork / "black.mkv").string())), 0);
    ASSERT_EQ(Shell(Qeltitle() + " captions " + vtt + " --over " + Quote((gWork / "black.mkv").string()) + " -o " +
                    Quote((gWork / "over.mkv").string()) + " --codec ffv1"), 0);
    fs::create_directories(gWork / "over");
    ASSERT_EQ(Shell("ffmpeg -v error -i " + Quote((gWork / "over.mkv").string()) + " -pix_fmt rgba -start_number 0 " +
                    Quote((gWork / "over/%d.png").string())), 0);
    // The scale the project gives its producers, which `render` is given too.
    std::ifstream project(gWork / "cues.mlt");
    const std::string xml((std::istreambuf_iterator<char>(project)), std::istreambuf_iterator<char>());
    const size_t at = xml.find("<property name=\"scale\">") + 23;
    const std::string scale = xml.substr(at, xml.find('<', at) - at);

    for (size_t k = 0; k < std::size(cues); ++k) {
        const Cue& c = cues[k];
        char file[64];
        std::snprintf(file, sizeof file, "cues_titles/cue%04zu.xml", k + 1);
        // Its first, middle and last frames.
        const std::set<int> frames = {c.first, c.first + c.count / 2, c.first + c.count - 1};
        for (const int i : frames) {
            SCOPED_TRACE("cue " + std::to_string(k + 1) + ", frame " + std::to_string(i));
            char time[32];
            std::snprintf(time, sizeof time, "%.17g", static_cast<double>(i - c.first) / c.count);
            const std::string render = Qeltitle() + " render " + Quote((gWork / file).string()) +
                                       " --size 480x270 --scale " + scale + " --time " + time + " -o ";
            ASSERT_EQ(Shell(render + Quote((gWork / "alone.png").string()) + " --background transparent"), 0);
            ASSERT_EQ(Shell(render + Quote((gWork / "black.png").string()) + " --background '#000000'"), 0);
            Rgba alone, black, png, melt, over;
            const std::string n = std::to_string(i) + ".png";
            ASSERT_TRUE(ReadPng(gWork / "alone.png", alone) && ReadPng(gWork / "black.png", black));
            ASSERT_TRUE(ReadPng(gWork / "png" / n, png) && ReadPng(gWork / "melt" / n, melt) &&
                        ReadPng(gWork / "over" / n, over));
            EXPECT_TRUE(png.pixels == alone.pixels) << "PNG frame";
            EXPECT_TRUE(melt.pixels == alone.pixels) << "melt frame";
            // Over the video a title is blended as a layer: within 2 steps of drawing it over black.
            int worst = 0;
            for (size_t p = 0; p < over.pixels.size(); ++p)
                worst = std::max(worst, std::abs(over.pixels[p] - black.pixels[p]));
            EXPECT_LE(worst, 2) << "frame over the video";
        }
        // The cue's last frame still shows it.
        Rgba last;
        ASSERT_TRUE(ReadPng(gWork / "png" / (std::to_string(c.first + c.count - 1) + ".png"), last));
        bool shown = false;
        for (size_t p = 3; p < last.pixels.size() && !shown; p += 4) shown = last.pixels[p] > 0;
        EXPECT_TRUE(shown) << "the last frame of cue " << k + 1 << " is blank";
    }
}
