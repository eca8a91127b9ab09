// What a clip holds besides its pictures, carried through `overlay` and `captions --over`, with
// ffprobe reading input and output the same way as the oracle: chapters and subtitle streams,
// the timestamps of a variable-rate clip, a display rotation, sizes of odd length in 4:2:0. The
// title runs at the clip's end, so every frame before it must match the input (ffmpeg's psnr,
// the input as ffmpeg shows it, turned upright). Every program runs under `timeout`.
#include "ToolTest.h"

#include <cstdlib>
#include <sstream>
#include <string>

#include "media/Output.h"

namespace {

class VideoStreams : public qeltitle_test::ToolTest {};

TEST_F(VideoStreams, KeptThroughTheTools) {
    if (qeltitle::FindProgram("ffmpeg").empty() || qeltitle::FindProgram("ffprobe").empty())
        GTEST_SKIP() << "ffmpeg is not installed";
    const std::string ffmpeg = "timeout 60 ffmpeg -v error -y ", clip = "-f lavfi -i testsrc2=s=320x180:r=10:d=2 ";
    Write("chapters.txt", ";FFMETADATA1\ntitle=Clip\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=One\n"
                          "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=Two\n");
    Write("cue.srt", "1\n00:00:00,000 --> 00:00:01,000\nA cue\n");
    Write("late.srt", "1\n00:00:01,700 --> 00:00:02,000\nLate\n");
    ASSERT_EQ(Shell("EXE text Late -o t.xml >/dev/null"), 0) << Read("stderr.txt");
    const std::string streams = "-show_entries chapter=start_time,end_time:chapter_tags=title:stream=codec_type,"
                                "codec_name:stream_tags=language:format_tags=title";
    const struct Case {
        const char* name;
        std::string make, in;  // the shell line making the clip, and its name
        std::string run, out;  // the tool's run, and what it writes
        std::string probe;   // ffprobe's options, whose answer must be the same for clip and out
        std::string expect;  // else, the answer out must give
        int untouched;       // leading frames that must match the input
    } cases[] = {
        {"chapters and subtitles, Matroska",
         ffmpeg + clip + "-i cue.srt -i chapters.txt -map 0 -map 1 -map_metadata 2 -map_chapters 2 -c:v libx264 "
                         "-preset ultrafast -c:s srt -metadata:s:s:0 language=fra clip.mkv", "clip.mkv",
         "EXE overlay clip.mkv -o out.mkv --title t.xml@1.7+0.3", "out.mkv", streams, "", 16},
        {"chapters and subtitles, MP4",
         ffmpeg + clip + "-i cue.srt -i chapters.txt -map 0 -map 1 -map_metadata 2 -map_chapters 2 -c:v libx264 "
                         "-preset ultrafast -c:s mov_text -metadata:s:s:0 language=fra clip.mp4", "clip.mp4",
         "EXE overlay clip.mp4 -o out.mp4 --title t.xml@1.7+0.3", "out.mp4", streams, "", 16},
        {"variable frame rate",
         ffmpeg + clip + "-vf \"setpts='N/10/TB+if(gte(N,6),0.35/TB,0)+if(gte(N,12),0.5/TB,0)'\" -fps_mode passthrough "
                         "-c:v libx264 -preset ultrafast -video_track_timescale 1000 clip.mp4", "clip.mp4",
         "EXE overlay clip.mp4 -o out.mp4 --title t.xml@2.6", "out.mp4", "-select_streams v -show_entries frame=pts_time", "", 16},
        {"rotation 180", ffmpeg + clip + "-c:v libx264 -preset ultrafast side.mp4 && " + ffmpeg +
                             "-i side.mp4 -c copy -metadata:s:v:0 rotate=180 clip.mp4", "clip.mp4",
         "EXE overlay clip.mp4 -o out.mp4 --title t.xml@1.7+0.3", "out.mp4",
         "-select_streams v -show_entries stream=width,height:stream_side_data=rotation", "320,180\n", 16},
        {"721x405 4:2:0 into H.264",
         ffmpeg + "-f lavfi -i testsrc=s=721x405:r=10:d=2 -vf format=yuv420p -c:v ffv1 clip.mkv", "clip.mkv",
         "EXE overlay clip.mkv -o out.mp4 --title t.xml@1.7+0.3", "out.mp4", "-select_streams v -show_entries stream=width,height",
         "", 16},
        {"1279x719 4:2:0 captions",
         ffmpeg + "-f lavfi -i testsrc=s=1279x719:r=10:d=2 -vf format=yuv420p -c:v libvpx-vp9 -deadline realtime "
                  "clip.webm", "clip.webm",
         "EXE captions late.srt --over clip.webm -o out.mkv >/dev/null", "out.mkv",
         "-select_streams v -show_entries stream=width,height", "", 16},
    };
    const auto probe = [&](const std::string& options, const std::string& file) {
        EXPECT_EQ(Shell("timeout 60 ffprobe -v error " + options + " -of csv=p=0 " + file + " >probe.txt"), 0) << file;
        return Read("probe.txt");
    };
    for (const Case& c : cases) {
        Shell("rm -f clip.* out.* stderr.txt");
        ASSERT_EQ(Shell(c.make), 0) << c.name << Read("stderr.txt");
        ASSERT_EQ(Shell(c.run), 0) << c.name << Read("stderr.txt");
        const std::string got = probe(c.probe, c.out);
        EXPECT_EQ(got, c.expect.empty() ? probe(c.probe, c.in) : c.expect) << c.name;
        if (c.untouched == 0) continue;
        // Frame by frame against the input as ffmpeg decodes it: what the encoder loses alone.
        ASSERT_EQ(Shell("timeout 60 ffmpeg -v error -i " + c.in + " -i " + c.out +
                        " -lavfi '[0][1]psnr=stats_file=psnr.txt' -f null -"), 0) << c.name << Read("stderr.txt");
        std::istringstream lines(Read("psnr.txt"));
        int n = 0;
        for (std::string line; std::getline(lines, line) && n < c.untouched; ++n) {
            const size_t at = line.find("psnr_avg:");
            ASSERT_NE(at, std::string::npos) << c.name << line;
            if (line.compare(at + 9, 3, "inf") != 0) {
                EXPECT_GE(std::atof(line.c_str() + at + 9), 45) << c.name << " frame " << n;
            }
        }
        EXPECT_EQ(n, c.untouched) << c.name;
    }
}

}  // namespace
