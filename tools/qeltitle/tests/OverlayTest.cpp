// qeltitle overlay with the real ffmpeg: a generated clip with a tone (testsrc2 + sine), two titles
// over overlapping spans, encoded losslessly (FFV1 in BGRA), so the output's frames can be compared
// byte for byte with the input's decoded frames and with `qeltitle render` over them. Every
// program runs under `timeout`.
#include "ToolTest.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "player/Image.h"
#include "media/Output.h"
#include "media/Png.h"

namespace qeltitle {
namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 320, kHeight = 180, kFrames = 50;  // 2 s at 25 fps

class Overlay : public qeltitle_test::ToolTest {
protected:
    void SetUp() override {
        if (FindProgram("ffmpeg").empty() || FindProgram("ffprobe").empty()) GTEST_SKIP() << "ffmpeg is not installed";
        ToolTest::SetUp();
    }
    // Runs a shell line in the test's directory, EXE standing for the tool; status, stdout, stderr.
    int Shell(const std::string& line, std::string* out = nullptr, std::string* err = nullptr) const {
        const int status = ToolTest::Shell(line, ">out.txt 2>err.txt");
        if (out) *out = Read("out.txt");
        if (err) *err = Read("err.txt");
        return status;
    }
    // Frame n of a decoded BGRA stream.
    std::string Frame(const std::string& raw, int n) const {
        return raw.substr(static_cast<size_t>(n) * kWidth * kHeight * 4, static_cast<size_t>(kWidth) * kHeight * 4);
    }
    // The colour channels of a PNG as BGRA bytes with alpha 255, as the decoded frames carry it.
    std::string Png(const std::string& name) const {
        Expected<Image> read = ReadPng((dir_ / name).string());
        EXPECT_TRUE(read) << read.Message();
        Image image = read ? std::move(*read) : Image();
        for (size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
        return std::string(image.pixels.begin(), image.pixels.end());
    }
    static int MaxDifference(const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return 256;
        int most = 0;
        for (size_t i = 0; i < a.size(); ++i)
            most = std::max(most, std::abs(static_cast<uint8_t>(a[i]) - static_cast<uint8_t>(b[i])));
        return most;
    }
};

TEST_F(Overlay, TitlesOverTheirSpansOfAClip) {
    ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -f lavfi -i testsrc2=s=320x180:r=25:d=2 -f lavfi -i sine=d=2 "
                    "-vf format=bgra -c:v ffv1 -c:a flac -shortest clip.mkv"), 0);
    // One laid out for 640x360 (fitted at half size), sliding in and fading out; one at rest on top of
    // it for the last frames, running past the end of the clip.
    ASSERT_EQ(Shell("EXE text One -o one.xml --frame 640x360 --size 80 --anchor bottom-left --margin 20 "
                    "--length 1.6 --in 0.4 --out 0.4 --effect PATH_SLIDERIGHT --then PATH_FADE"), 0);
    ASSERT_EQ(Shell("EXE text Two -o two.xml --frame 320x180 --size 40 --anchor bottom-left --margin 10 "
                    "--color '#FF8000C0'"), 0);
    std::string out, err;
    ASSERT_EQ(Shell("EXE overlay clip.mkv -o out.mkv --codec ffv1 --title one.xml@0.2 --title two.xml@0:01.5+1",
                    &out, &err), 0) << err;
    EXPECT_NE(out.find("wrote out.mkv (50 frames, 320x180, 25/1 fps, audio copied)"), std::string::npos) << out;
    EXPECT_NE(err.find("two.xml runs until 0:02.500, past the end of clip.mkv"), std::string::npos) << err;

    // Size, rate, frame count and the audio stream, as ffprobe reads them.
    ASSERT_EQ(Shell("timeout 60 ffprobe -v error -count_frames -show_entries "
                    "stream=codec_type,width,height,r_frame_rate,nb_read_frames -of csv=p=0 out.mkv", &out), 0);
    EXPECT_NE(out.find("video,320,180,25/1,50"), std::string::npos) << out;
    EXPECT_NE(out.find("audio,"), std::string::npos) << out;

    ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -i clip.mkv -f rawvideo -pix_fmt bgra in.raw && "
                    "timeout 60 ffmpeg -v error -i out.mkv -f rawvideo -pix_fmt bgra out.raw"), 0);
    const std::string in = Read("in.raw"), result = Read("out.raw");
    ASSERT_EQ(in.size(), static_cast<size_t>(kFrames) * kWidth * kHeight * 4);
    ASSERT_EQ(result.size(), in.size());
    // Outside every span (one: frames 5 to 44; two: 38 to 62, cut at 49) the frames are the input's.
    for (int n = 0; n < 5; ++n) EXPECT_TRUE(Frame(result, n) == Frame(in, n)) << "frame " << n;

    // Inside, the pixels `render` draws over the same frame: one alone at frame 20, and two drawn
    // over one at frame 40 (later titles on top), each at (t - start) / length.
    for (int n : {20, 40}) {
        ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -y -i clip.mkv -vf 'select=eq(n\\," + std::to_string(n) +
                        ")' -frames:v 1 bg.png"), 0);
        char time[32];
        std::snprintf(time, sizeof time, "%.17g", (n / 25.0 - 0.2) / 1.6);
        ASSERT_EQ(Shell(std::string("EXE render one.xml -o a.png --size 320x180 --background bg.png --time ") + time), 0);
        std::string expected = Png("a.png");
        if (n == 40) {
            std::snprintf(time, sizeof time, "%.17g", (n / 25.0 - 1.5) / 1.0);
            ASSERT_EQ(Shell(std::string("EXE render two.xml -o b.png --size 320x180 --background a.png --time ") + time), 0);
            expected = Png("b.png");
        }
        // Each title is drawn alone and blended over the frame: rounding differs by a step or two.
        EXPECT_LE(MaxDifference(Frame(result, n), expected), 2) << "frame " << n;
        EXPECT_FALSE(Frame(result, n) == Frame(in, n)) << "frame " << n << " shows no title";
    }
}

// A clip filmed upright on a phone is stored on its side with a rotation: the output is upright,
// its sides swapped, as the frames decode.
TEST_F(Overlay, RotatedClipComesOutUpright) {
    ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -f lavfi -i testsrc2=s=64x36:r=10:d=1 -c:v libx264 -preset ultrafast "
                    "side.mp4 && timeout 60 ffmpeg -v error -i side.mp4 -c copy -metadata:s:v:0 rotate=90 rot.mp4"), 0);
    ASSERT_EQ(Shell("EXE text Up -o t.xml"), 0);
    std::string out, err;
    ASSERT_EQ(Shell("EXE overlay rot.mp4 -o out.mp4 --title t.xml", &out, &err), 0) << err;
    EXPECT_NE(out.find("(10 frames, 36x64,"), std::string::npos) << out;
    ASSERT_EQ(Shell("timeout 60 ffprobe -v error -show_entries stream=width,height -of csv=p=0 out.mp4", &out), 0);
    EXPECT_EQ(out, "36,64\n");
}

TEST_F(Overlay, RefusalsFailuresAndCtrlCLeaveTheOutputAlone) {
    ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -f lavfi -i testsrc2=s=64x36:r=10:d=1 -c:v ffv1 clip.mkv && "
                    "echo kept > out.mkv && echo 'not a video' > notes.txt && mkdir dir"), 0);
    // Cut short, sound alone, and a video stream without frames.
    ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -f lavfi -i testsrc2=s=320x180:r=25:d=2 -c:v libx264 -preset ultrafast "
                    "long.mkv && head -c 40000 long.mkv > cut.mkv && "
                    "timeout 60 ffmpeg -v error -f lavfi -i sine=d=1 -c:a aac tone.m4a && "
                    "timeout 60 ffmpeg -v error -f lavfi -i testsrc2=s=64x36:r=10 -frames:v 0 -c:v libx264 zero.mkv"), 0);
    ASSERT_EQ(Shell("EXE text Hi -o t.xml"), 0);
    const struct {
        const char* args;
        const char* message;
        int status;
    } cases[] = {
        {"missing.mp4 -o out.mkv --title t.xml", "cannot read video missing.mp4: No such file or directory", 1},
        {"dir -o out.mkv --title t.xml", "cannot read video dir: is a directory", 1},
        {"notes.txt -o out.mkv --title t.xml", "cannot read video notes.txt: not a video", 1},
        {"cut.mkv -o out.mkv --title t.xml", "cannot read video cut.mkv: its frames end at", 1},
        {"tone.m4a -o out.mkv --title t.xml", "cannot read video tone.m4a: it holds no video stream", 1},
        {"zero.mkv -o out.mkv --title t.xml", "cannot read video zero.mkv", 1},
        {"clip.mkv -o notes.txt/out.mkv --title t.xml", "cannot write notes.txt/out.mkv", 1},
        {"clip.mkv -o clip.mkv --title t.xml", "the output clip.mkv is the video it reads", 2},
        {"clip.mkv -o ./clip.mkv --title t.xml", "is the video it reads", 2},
        {"clip.mkv -o out.mkv --title t.xml@1+-2", "times cannot be negative", 2},
        {"clip.mkv -o out.mkv --title t.xml@-1", "times cannot be negative", 2},
        {"clip.mkv -o out.mkv --title t.xml@0+0", "a title lasts longer than 0 seconds", 2},
        {"clip.mkv -o out.mkv --title t.xml@5", "t.xml starts at 0:05, after the end of clip.mkv (0:01)", 2},
        {"clip.mkv -o out.mkv --title missing.xml", "cannot load title: missing.xml", 1},
        {"clip.mkv -o out.mkv --title name@home.xml", "cannot load title: name@home.xml", 1},
        {"clip.mkv -o out.mkv", "give at least one --title", 2},
        {"clip.mkv -o 'f/%04d.png' --title t.xml", "overlay writes a video", 2},
        // ffmpeg refuses the codec: the run fails and the old output stays.
        {"clip.mkv -o out.mkv --title t.xml --codec no-such-codec", "ffmpeg", 1},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(Shell(std::string("EXE overlay ") + c.args, nullptr, &err), c.status) << c.args << "\n" << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.args << "\nstderr: " << err;
        EXPECT_EQ(Read("out.mkv"), "kept\n") << c.args;
    }
    // Ctrl-C part-way: exit 130, the old output as it was, the partial one removed. The signal is
    // sent once the partial output exists, so a slow start (a sanitizer build) cannot see it first.
    ASSERT_EQ(Shell("rm long.mkv && timeout 60 ffmpeg -v error -f lavfi -i testsrc2=s=320x180:r=25:d=60 -c:v ffv1 long.mkv"), 0);
    std::string err;
    EXPECT_EQ(Shell("(EXE overlay long.mkv -o out.mkv --title t.xml --codec libx264 --crf 0 & pid=$!; "
                    "for i in $(seq 600); do ls -a | grep -q '[.]partial' && break; sleep 0.1; done; "
                    "kill -INT $pid; wait $pid)", nullptr, &err), 130) << err;
    EXPECT_NE(err.find("interrupted; out.mkv left as it was"), std::string::npos) << err;
    EXPECT_EQ(Read("out.mkv"), "kept\n");
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
}

// Tagged clips as cameras and phones write them: the output keeps the pixel format, depth and
// colour tags, frames outside the title's span are as close to the input as a plain transcode at
// the same settings, and inside it the picture is the title drawn by `render` over the frame.
TEST_F(Overlay, ColourTagsDepthAndUntouchedFrames) {
    ASSERT_EQ(Shell("EXE text 'Lower third' -o t.xml --frame 320x180 --size 24 --anchor bottom-left --margin 10 "
                    "--effect PATH_SLIDERIGHT"), 0);
    const struct {
        const char* name;
        const char* encode;  // ffmpeg's options for the clip
    } clips[] = {
        {"bt709 limited", "-vf format=yuv420p -colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv"},
        {"bt709 full", "-vf scale=out_range=full:out_color_matrix=bt709,format=yuvj420p -colorspace bt709 "
                       "-color_primaries bt709 -color_trc bt709 -color_range pc"},
        {"bt601", "-vf format=yuv420p -colorspace smpte170m -color_primaries smpte170m -color_trc smpte170m -color_range tv"},
        {"10-bit", "-vf format=yuv420p10le -colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv"},
    };
    const std::string tags = "timeout 60 ffprobe -v error -select_streams v -show_entries "
                             "stream=pix_fmt,color_range,color_space,color_primaries,color_transfer -of csv=p=0 ";
    // PSNR of each frame of `video` against the clip's (psnr_avg, "inf" for equal frames).
    const auto psnr = [&](const std::string& video) {
        std::vector<double> db;
        EXPECT_EQ(Shell("timeout 60 ffmpeg -v error -i clip.mp4 -i " + video +
                        " -lavfi '[0][1]psnr=stats_file=psnr.txt' -f null -"), 0);
        std::istringstream lines(Read("psnr.txt"));
        for (std::string line; std::getline(lines, line);) {
            const size_t at = line.find("psnr_avg:");
            db.push_back(at == std::string::npos ? 0 : line.compare(at + 9, 3, "inf") == 0 ? 99 : std::atof(line.c_str() + at + 9));
        }
        return db;
    };
    for (const auto& c : clips) {
        ASSERT_EQ(Shell(std::string("timeout 60 ffmpeg -v error -y -f lavfi -i testsrc2=s=320x180:r=25:d=1 -f lavfi -i sine=d=1 ") +
                        c.encode + " -c:v libx264 -preset ultrafast -crf 8 -c:a aac clip.mp4"), 0) << c.name;
        std::string err, inTags, outTags;
        ASSERT_EQ(Shell("EXE overlay clip.mp4 -o out.mp4 --title t.xml@0.4+0.4", nullptr, &err), 0) << c.name << err;
        EXPECT_EQ(err.find("cannot keep"), std::string::npos) << c.name << err;
        ASSERT_EQ(Shell(tags + "clip.mp4", &inTags), 0);
        ASSERT_EQ(Shell(tags + "out.mp4", &outTags), 0);
        EXPECT_EQ(outTags, inTags) << c.name;
        std::string audio;
        ASSERT_EQ(Shell("timeout 60 ffprobe -v error -select_streams a -show_entries stream=codec_name -of csv=p=0 out.mp4", &audio), 0);
        EXPECT_EQ(audio, "aac\n") << c.name;

        ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -y -i clip.mp4 -c:v libx264 -preset medium -crf 18 -c:a copy plain.mp4"), 0);
        const std::vector<double> ours = psnr("out.mp4"), plain = psnr("plain.mp4");
        ASSERT_EQ(ours.size(), 25u) << c.name;
        ASSERT_EQ(plain.size(), 25u) << c.name;
        double oursSum = 0, plainSum = 0;
        for (int n = 0; n < 25; ++n) {
            if (n >= 10 && n < 20) continue;  // the title's frames
            EXPECT_GE(ours[n], 45) << c.name << " frame " << n;
            oursSum += ours[n], plainSum += plain[n];
        }
        EXPECT_GE(oursSum / 15, plainSum / 15 - 1.0) << c.name;
    }
    // An encoder that cannot keep the depth says so (VP8 takes 8-bit 4:2:0 only).
    std::string err;
    ASSERT_EQ(Shell("EXE overlay clip.mp4 -o out.webm --codec libvpx --title t.xml@0.4+0.4", nullptr, &err), 0) << err;
    EXPECT_NE(err.find("libvpx cannot keep yuv420p10le (10-bit): the video is written as yuv420p (8-bit)"),
              std::string::npos) << err;

    // Inside the span, losslessly encoded (FFV1) in 4:2:0: the title `render` draws over the decoded
    // frame, but for the chroma that 4:2:0 shares between neighbouring pixels at the letters' edges.
    ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -y -f lavfi -i testsrc2=s=320x180:r=25:d=1 -vf format=yuv420p "
                    "-colorspace bt709 -color_primaries bt709 -color_trc bt709 -color_range tv -c:v ffv1 clip.mkv"), 0);
    ASSERT_EQ(Shell("EXE overlay clip.mkv -o out.mkv --codec ffv1 --title t.xml@0.4+0.4"), 0);
    ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -y -i clip.mkv -vf 'select=eq(n\\,15)' -frames:v 1 bg.png && "
                    "timeout 60 ffmpeg -v error -y -i out.mkv -vf 'select=eq(n\\,15)' -frames:v 1 got.png"), 0);
    // Frame 15 is shown at 0.6 s: the title drawn at (0.6 - 0.4) / 0.4.
    ASSERT_EQ(Shell("EXE render t.xml -o want.png --size 320x180 --background bg.png --time 0.5"), 0);
    std::string out;
    ASSERT_EQ(Shell("timeout 60 ffmpeg -i want.png -i got.png -lavfi '[0]format=rgb24[a];[1]format=rgb24[b];[a][b]psnr' "
                    "-f null - 2>&1 | grep -o 'average:[0-9.inf]*'", &out), 0);
    EXPECT_GE(std::atof(out.c_str() + 8), 32) << out;  // against the frame without the title: 24 dB
}

}  // namespace
}  // namespace qeltitle
