// The options that several commands take, each declared and read in one place: its names, the
// form and range of its value, and the message for a bad one. A command declares those it takes
// (with a help line of its own where its default differs) and reads them through an
// OptionReader, which keeps the message of the first bad value:
//
//     OptionReader read(parser);
//     const std::optional<FrameSize> size = read.Size();
//     const int threads = read.Threads();
//     if (const Status status = read.Result(); !status) return UsageError("render", status.Message());
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "commands/Args.h"
#include "media/VideoPipeline.h"
#include "player/Result.h"
#include "player/TitlePlayer.h"

namespace qeltitle {

void DeclareSize(ArgParser& parser, std::string_view help = "frame size in pixels (default 1920x1080)");
void DeclareFps(ArgParser& parser,
                std::string_view help = "frames per second: 25, 29.97 (stored as 30000/1001), 24000/1001 (default 25)");
void DeclareDuration(ArgParser& parser, std::string_view help);
// --threads and --cache-mb.
void DeclareThreads(ArgParser& parser);
void DeclareScale(ArgParser& parser, std::string_view help);
void DeclareBackground(ArgParser& parser);
// --codec, --crf, --preset and --bitrate: the video encoder of `overlay` and `captions --over`
// (where --preset names a caption style, so the encoder's preset is left out).
void DeclareEncode(ArgParser& parser, bool speedPreset = true);

// --background: "#RRGGBB", "transparent", or a PNG file scaled to the frame. A picture that
// cannot be read fails with the file's name and why.
Expected<Background> ParseBackground(const std::string& text);

class OptionReader {
public:
    explicit OptionReader(const ArgParser& parser) : parser_(parser) {}

    std::optional<FrameSize> Size();      // --size WxH
    std::optional<FrameRate> Fps();       // --fps, 0.1 to 1000
    std::optional<double> Duration();     // --duration, seconds or [hh:]mm:ss[.fff], at least 0.001
    std::optional<float> Scale();         // --scale, kMinScale to kMaxScale
    int Threads();                        // --threads, 1 to 256; 0 when not given
    int CacheMb();                        // --cache-mb, 0 to 65536; -1 when not given
    EncodeSettings Encode(bool speedPreset = true);  // DeclareEncode's options; --crf 0 to 63
    // The first bad value ("--size: ..."), or success.
    const Status& Result() const { return result_; }

private:
    // The option's text when it is given and no earlier one was bad.
    std::optional<std::string> Text(std::string_view key) const;
    void Refuse(std::string_view key, const std::string& why);

    const ArgParser& parser_;
    Status result_;
};

}  // namespace qeltitle
