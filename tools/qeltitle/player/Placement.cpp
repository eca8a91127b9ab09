#include "player/Placement.h"

#include "qel/qel_extensions.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdio>

namespace qeltitle {

FrameFit FitDesignFrame(const DesignFrame& design, int outputWidth, int outputHeight) {
    const double scale = std::min(static_cast<double>(outputWidth) / design.width,
                                  static_cast<double>(outputHeight) / design.height);
    FrameFit fit;
    fit.scale = static_cast<float>(scale);
    // The side that limits the scale is the output's own, exactly; the other is rounded.
    fit.width = std::clamp(static_cast<int>(std::lround(design.width * scale)), 1, outputWidth);
    fit.height = std::clamp(static_cast<int>(std::lround(design.height * scale)), 1, outputHeight);
    fit.x = (outputWidth - fit.width) / 2;
    fit.y = (outputHeight - fit.height) / 2;
    return fit;
}

FrameFit OutputFrame(const DesignFrame& design, int outputWidth, int outputHeight) {
    const double scale = double(std::min(outputWidth, outputHeight)) / std::max(1, std::min(design.width, design.height));
    const FrameFit fit = FitDesignFrame(design, outputWidth, outputHeight);
    return WholeFrame(static_cast<float>(std::max<double>(fit.scale, scale)), outputWidth, outputHeight);
}

FrameFit WholeFrame(float scale, int outputWidth, int outputHeight) {
    return FrameFit{scale, 0, 0, outputWidth, outputHeight};
}

namespace {

float Offset(int side, float margin, float low, float high, float size) {
    if (side < 0) return margin - low;
    if (side > 0) return size - margin - high;
    return size * 0.5f - (low + high) * 0.5f;
}

constexpr const char* kAnchorNames[3][3] = {{"top-left", "top", "top-right"},
                                            {"left", "center", "right"},
                                            {"bottom-left", "bottom", "bottom-right"}};

std::string ShortFloat(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

bool ParseLength(std::string_view text, float& out) {
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(value) ||
        std::fabs(value) > 1e6)
        return false;
    out = static_cast<float>(value);
    return true;
}

}  // namespace

bool ParseAnchor(std::string_view text, Anchor& out) {
    static constexpr struct {
        std::string_view name;
        int x, y;
    } kNames[] = {{"top-left", 0, 0},     {"top", 1, 0},           {"top-center", 1, 0},  {"top-right", 2, 0},
                  {"left", 0, 1},         {"center", 1, 1},        {"centre", 1, 1},      {"right", 2, 1},
                  {"bottom-left", 0, 2},  {"bottom", 1, 2},        {"bottom-center", 1, 2}, {"bottom-right", 2, 2}};
    for (const auto& n : kNames)
        if (n.name == text) {
            out = Anchor{n.x, n.y};
            return true;
        }
    return false;
}

Expected<Anchor> ParseAnchor(std::string_view text) {
    Anchor anchor;
    if (ParseAnchor(text, anchor)) return anchor;
    return Failure("bad anchor '" + std::string(text) +
                   "': expected top-left, top, top-right, left, center, right, bottom-left, bottom or bottom-right");
}

Expected<Margin> ParseMargin(std::string_view text) {
    const size_t comma = text.find(',');
    Margin margin;
    const bool ok = comma == std::string_view::npos
                        ? ParseLength(text, margin.x) && ParseLength(text, margin.y)
                        : ParseLength(text.substr(0, comma), margin.x) && ParseLength(text.substr(comma + 1), margin.y);
    if (!ok) return Failure("bad margin '" + std::string(text) + "': expected X or X,Y in layout units");
    return margin;
}

std::pair<float, float> AnchorOffset(Anchor anchor, const Margin& margin, const Extent& extent,
                                     const DesignFrame& frame) {
    return {Offset(anchor.x - 1, margin.x, extent.left, extent.right, static_cast<float>(frame.width)),
            Offset(anchor.y - 1, margin.y, extent.top, extent.bottom, static_cast<float>(frame.height))};
}

bool OutsideFrame(const Extent& extent, const DesignFrame& frame) {
    // Half a unit of slack: placement rounds the corner to whole units.
    constexpr float kSlack = 0.5f;
    return extent.left < -kSlack || extent.top < -kSlack || extent.right > frame.width + kSlack ||
           extent.bottom > frame.height + kSlack;
}

using namespace qel;

Extent MeasureString(ITitleHost& host, int row) {
    // The drawn characters: turned, and for vertical text extending to the left of the corner.
    float minX = FLT_MAX, minY = FLT_MAX, maxX = -FLT_MAX, maxY = -FLT_MAX;
    const int32_t count = host.GetCharCount(row);
    for (int32_t i = 0; i < count; ++i) {
        QuadF quad{};
        if (host.GetCharQuad(row, i, &quad, 0) != S_OK) continue;
        minX = std::min({minX, quad.x0, quad.x1, quad.x2, quad.x3});
        maxX = std::max({maxX, quad.x0, quad.x1, quad.x2, quad.x3});
        minY = std::min({minY, quad.y0, quad.y1, quad.y2, quad.y3});
        maxY = std::max({maxY, quad.y0, quad.y1, quad.y2, quad.y3});
    }
    if (minX > maxX) {
        RectF box{};
        host.GetStringRect(row, &box);
        minX = box.x, maxX = box.x + box.width, minY = box.y, maxY = box.y + box.height;
    }
    // A plate reaches its padding beyond the characters (in layout units, as the frame's).
    float padX = 0, padY = 0;
    if (const auto* plates = static_cast<const QelPlatesV1*>(QelGetExtension(QEL_PLATES_EXTENSION, 1))) {
        for (int32_t i = 0, n = plates->GetPlateCount(&host, row); i < n; ++i) {
            QelPlate p{};
            if (plates->GetPlate(&host, row, i, &p) != S_OK) continue;
            padX = std::max(padX, p.PadX);
            padY = std::max(padY, p.PadY);
        }
    }
    RenderSettings settings{};
    host.GetRenderSettings(&settings);
    const float sx = settings.ScaleX != 0 ? settings.ScaleX : 1.0f;
    const float sy = settings.ScaleY != 0 ? settings.ScaleY : 1.0f;
    return Extent{minX / sx - padX, minY / sy - padY, maxX / sx + padX, maxY / sy + padY};
}

std::string FormatAnchors(const std::vector<AnchoredString>& anchors) {
    std::string text;
    for (const AnchoredString& a : anchors)
        text += (text.empty() ? "" : " ") + std::to_string(a.row) + ":" + kAnchorNames[a.anchor.y][a.anchor.x] + ":" +
                ShortFloat(a.marginX) + "," + ShortFloat(a.marginY);
    return text;
}

std::vector<AnchoredString> ParseAnchors(std::string_view text) {
    std::vector<AnchoredString> anchors;
    while (!text.empty()) {
        const size_t end = std::min(text.find(' '), text.size());
        const std::string entry(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        const size_t first = entry.find(':'), second = entry.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        AnchoredString a;
        const auto [ptr, ec] = std::from_chars(entry.data(), entry.data() + first, a.row);
        const Expected<Margin> margin = ParseMargin(std::string_view(entry).substr(second + 1));
        if (ec != std::errc() || ptr != entry.data() + first || a.row < 0 ||
            !ParseAnchor(entry.substr(first + 1, second - first - 1), a.anchor) || !margin)
            continue;
        a.marginX = margin->x, a.marginY = margin->y;
        anchors.push_back(a);
    }
    return anchors;
}

}  // namespace qeltitle
