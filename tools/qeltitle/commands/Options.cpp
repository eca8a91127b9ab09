#include "commands/Options.h"

#include "media/Png.h"
#include "player/Timing.h"

namespace qeltitle {

void DeclareSize(ArgParser& parser, std::string_view help) { parser.Option("--size", "WxH", help); }

void DeclareFps(ArgParser& parser, std::string_view help) { parser.Option("--fps", "F", help); }

void DeclareDuration(ArgParser& parser, std::string_view help) { parser.Option("--duration", "S", help); }

void DeclareThreads(ArgParser& parser) {
    parser.Option("--threads", "N", "drawing threads (default: one per processor)");
    parser.Option("--cache-mb", "MB", "memory for images of scaled and turned characters kept between\n"
                                      "frames, 0 to 65536 (default 64)");
}

void DeclareScale(ArgParser& parser, std::string_view help) { parser.Option("--scale", "S", help); }

void DeclareBackground(ArgParser& parser) {
    parser.Option("--background", "BG", "#RRGGBB, a PNG picture (scaled to the frame) or 'transparent' "
                                        "(default #000000)");
}

void DeclareEncode(ArgParser& parser, bool speedPreset) {
    parser.Option("--codec", "NAME", "the video encoder, as ffmpeg names it (default: libx264 for .mp4/.mov/.mkv,\n"
                                     "VP9 for .webm); hardware encoders such as h264_nvenc where present");
    parser.Option("--crf", "N", "the encoder's quality setting (default 18 for H.264, 30 for VP9)");
    if (speedPreset) parser.Option("--preset", "NAME", "the encoder's speed preset (default medium for H.264)");
    parser.Option("--bitrate", "RATE", "a target bit rate such as 6M or 800k instead of a quality");
}

Expected<Background> ParseBackground(const std::string& text) {
    Background out;
    if (text == "transparent") {
        out.kind = Background::Kind::Transparent;
        return out;
    }
    std::string error;
    if (text.starts_with("#")) {
        out.kind = Background::Kind::Color;
        if (!ParseRgb(text, out.rgb, error)) return Failure(error);
        return out;
    }
    out.kind = Background::Kind::Picture;
    Expected<Image> picture = ReadPng(text);
    if (!picture) return Failure("cannot read background: " + text + ": " + picture.Message());
    out.picture = std::move(*picture);
    return out;
}

std::optional<std::string> OptionReader::Text(std::string_view key) const {
    if (!result_) return std::nullopt;
    return parser_.Value(key);
}

void OptionReader::Refuse(std::string_view key, const std::string& why) {
    if (result_) result_ = Failure("--" + std::string(key) + ": " + why);
}

std::optional<FrameSize> OptionReader::Size() {
    const auto text = Text("size");
    if (!text) return std::nullopt;
    FrameSize size;
    std::string error;
    if (!ParseFrameSize(*text, size, error)) return Refuse("size", error), std::nullopt;
    return size;
}

std::optional<FrameRate> OptionReader::Fps() {
    const auto text = Text("fps");
    if (!text) return std::nullopt;
    FrameRate rate;
    std::string error;
    if (!ParseFrameRate(*text, 0.1, 1000, rate, error)) return Refuse("fps", error), std::nullopt;
    return rate;
}

std::optional<double> OptionReader::Duration() {
    const auto text = Text("duration");
    if (!text) return std::nullopt;
    const Expected<double> seconds = ParseSeconds(*text, kMaxTitleSeconds);
    if (!seconds) return Refuse("duration", seconds.Message()), std::nullopt;
    if (*seconds < 0.001) return Refuse("duration", "must be at least 0.001"), std::nullopt;
    return *seconds;
}

std::optional<float> OptionReader::Scale() {
    const auto text = Text("scale");
    if (!text) return std::nullopt;
    double value = 1;
    std::string error;
    if (!ParseNumber(*text, kMinScale, kMaxScale, value, error)) return Refuse("scale", error), std::nullopt;
    return static_cast<float>(value);
}

EncodeSettings OptionReader::Encode(bool speedPreset) {
    EncodeSettings encode;
    encode.codec = parser_.Value("codec").value_or("");
    if (speedPreset) encode.preset = parser_.Value("preset").value_or("");
    encode.bitrate = parser_.Value("bitrate").value_or("");
    if (const auto text = Text("crf")) {
        long value = 0;
        std::string error;
        if (!ParseInteger(*text, 0, 63, value, error)) return Refuse("crf", error), encode;
        encode.crf = static_cast<int>(value);
    }
    return encode;
}

int OptionReader::CacheMb() {
    const auto text = Text("cache-mb");
    if (!text) return -1;
    long value = 0;
    std::string error;
    if (!ParseInteger(*text, 0, 65536, value, error)) return Refuse("cache-mb", error), -1;
    return static_cast<int>(value);
}

int OptionReader::Threads() {
    const auto text = Text("threads");
    if (!text) return 0;
    long value = 0;
    std::string error;
    if (!ParseInteger(*text, 1, 256, value, error)) return Refuse("threads", error), 0;
    return static_cast<int>(value);
}

}  // namespace qeltitle
