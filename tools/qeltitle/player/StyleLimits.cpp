#include "player/StyleLimits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qeltitle {

using namespace qel;

std::vector<std::string> StyleLimitWarnings(ITitleHost& host, int row, float scale) {
    // The widest border and blur asked for, in frame pixels, with the style value behind each.
    double border = 0, blur = 0;
    int borderValue = 0, blurValue = 0;
    auto note = [](double pixels, int value, double& widest, int& widestValue) {
        if (pixels > widest) widest = pixels, widestValue = value;
    };
    const int rows = host.GetStringCount();
    for (int r = row < 0 ? 0 : row; r < (row < 0 ? rows : std::min(row + 1, rows)); ++r) {
        for (int i = 0; i < host.GetCharCount(r); ++i) {
            FontSpec font{};
            MetaFace face{};
            MetaBorder b{};
            MetaShadow shadow{};
            CharSpacing spacing{};
            if (host.GetCharFont(r, i, &font) != S_OK || host.GetCharFace(r, i, &face) != S_OK ||
                host.GetCharBorder(r, i, &b) != S_OK || host.GetCharShadow(r, i, &shadow) != S_OK ||
                host.GetCharSpacing(r, i, &spacing) != S_OK) {
                continue;
            }
            const double size = std::fabs(font.Size);
            const bool withBorder = (b.Enable & 0xFF) && b.Size >= 1;
            // A stretched character's border is wider across by its width scale.
            if (withBorder)
                note(StylePixels(b.Size, size, scale) * std::max(1.0, std::fabs(double(spacing.WidthScale))), b.Size,
                     border, borderValue);
            if (face.Enable & 0xFF) note(StylePixels(face.BlurRadius, size, scale), face.BlurRadius, blur, blurValue);
            if (withBorder) note(StylePixels(b.BlurRadius, size, scale), b.BlurRadius, blur, blurValue);
            if ((shadow.EnableFace | shadow.EnableBorder) & 0xFF)
                note(StylePixels(shadow.BlurRadius, size, scale), shadow.BlurRadius, blur, blurValue);
        }
    }
    std::vector<std::string> warnings;
    auto warn = [&](const char* what, int value, double pixels, const char* drawn, const char* wide) {
        if (!(pixels > kMaxStylePixels)) return;
        char line[200];
        std::snprintf(line, sizeof line, "%s %d is %.0f px%s at scale %g, more than the %d px the library draws: %s %d px%s",
                      what, value, pixels, wide, double(scale), int(kMaxStylePixels), drawn, int(kMaxStylePixels), wide);
        warnings.push_back(line);
    };
    warn("border", borderValue, border, "drawn", " wide");
    warn("blur", blurValue, blur, "blurred by", "");
    return warnings;
}

}  // namespace qeltitle
