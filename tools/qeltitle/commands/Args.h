// Command-line parsing for the subcommands: options with values (--size 1920x1080 or
// --size=1920x1080), flags, positionals, generated --help; and the parsers of the option values
// (sizes, colours, points, shadows). Every parser returns false with a message naming the bad text.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "player/FrameDefaults.h"
#include "player/Result.h"

namespace qeltitle {

class ArgParser {
public:
    // usage: the synopsis after "qeltitle"; about: a paragraph printed under it by --help.
    ArgParser(std::string usage, std::string about);

    // names: "-o, --output" style list, the first long name is the key used by Value and Has.
    void Option(std::string_view names, std::string_view valueName, std::string_view help);
    void Flag(std::string_view names, std::string_view help);
    // Free text appended to --help (examples, notes).
    void Epilog(std::string text) { epilog_ = std::move(text); }

    // Fails on an unknown option or a missing value. "--help" and "-h" set HelpRequested and stop
    // parsing successfully.
    Status Parse(const std::vector<std::string>& args);

    bool HelpRequested() const { return help_; }
    std::string Help() const;
    bool Has(std::string_view key) const;
    std::optional<std::string> Value(std::string_view key) const;  // the last one given
    std::vector<std::string> Values(std::string_view key) const;   // every one, in order
    const std::vector<std::string>& Positionals() const { return positionals_; }

private:
    struct Spec {
        std::vector<std::string> names;
        std::string key;
        std::string valueName;  // empty for a flag
        std::string help;
    };
    const Spec* Find(std::string_view name) const;

    std::string usage_;
    std::string about_;
    std::string epilog_;
    std::vector<Spec> specs_;
    std::map<std::string, std::string, std::less<>> values_;
    std::map<std::string, std::vector<std::string>, std::less<>> allValues_;
    std::vector<std::string> positionals_;
    bool help_ = false;
};

struct FrameSize {
    int width = 0;
    int height = 0;
};

// Whole numbers and decimals in plain notation ("12", "-3.5"), within [lo, hi].
bool ParseNumber(std::string_view text, double lo, double hi, double& out, std::string& error);
bool ParseInteger(std::string_view text, long lo, long hi, long& out, std::string& error);

// Frames per second as a fraction, so that the NTSC rates stay exact (30000/1001, not 29.97).
struct FrameRate {
    long num = 25, den = 1;
    double Value() const { return static_cast<double>(num) / static_cast<double>(den); }
    std::string Text() const;  // "25", "30000/1001": as ffmpeg and MLT read a rate
};
// "25", "12.5", "N/D", reduced; 23.976, 29.97, 59.94 (and the other N/1.001 rates written to
// two or three decimals) are N * 1000 / 1001. The value must lie within [lo, hi].
bool ParseFrameRate(std::string_view text, double lo, double hi, FrameRate& out, std::string& error);

// "WIDTHxHEIGHT", each side 1 to kMaxFrameSide.
bool ParseFrameSize(std::string_view text, FrameSize& out, std::string& error);

// "#RRGGBB" to 0x00RRGGBB.
bool ParseRgb(std::string_view text, uint32_t& rgb, std::string& error);
// "#RRGGBB" or "#RRGGBBAA" (AA: opacity, 00 clear to FF opaque) to 0x00RRGGBB and the alpha,
// which stays unset without AA.
bool ParseColor(std::string_view text, uint32_t& rgb, std::optional<int>& alpha, std::string& error);
// 0x00RRGGBB to the title model's 0x00BBGGRR.
constexpr uint32_t ModelColor(uint32_t rgb) {
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

// "X,Y".
bool ParsePoint(std::string_view text, float& x, float& y, std::string& error);

// "#RRGGBB[:#RRGGBB]"; one colour gives both ends of the gradient. Either may carry an alpha
// (#RRGGBBAA): a face has one, so two different ones are refused.
bool ParseColorPair(std::string_view text, uint32_t& first, uint32_t& second, std::string& error);
bool ParseColorPair(std::string_view text, uint32_t& first, uint32_t& second, std::optional<int>& alpha,
                    std::string& error);

// "N[:#RRGGBB[AA]]": outline width in the model's units and its colour (default black).
struct BorderOption {
    int size = 0;
    uint32_t rgb = 0;
    int alpha = 255;  // #RRGGBBAA
};
bool ParseBorder(std::string_view text, BorderOption& out, std::string& error);

// "DX,DY[:BLUR][:extrude][:#RRGGBB[AA]]" in any order after the offsets; default black, no blur.
struct ShadowOption {
    float dx = 0, dy = 0;
    int blur = 0;
    bool extrude = false;
    uint32_t rgb = 0;
    std::optional<int> alpha;  // #RRGGBBAA; unset: 160 for a flat shadow, 255 for a slab
};
bool ParseShadow(std::string_view text, ShadowOption& out, std::string& error);

// "left", "center" (or "centre"), "right" to the paragraph's alignment code.
bool ParseAlign(std::string_view text, uint32_t& align, std::string& error);

}  // namespace qeltitle
