#include "authoring/StyledString.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "authoring/Language.h"
#include "authoring/PlateJson.h"
#include "authoring/LineBreak.h"
#include "authoring/Text.h"
#include "player/TitleFiles.h"

namespace qeltitle {

using namespace qel;

namespace {

void CopyFaceName(char16_t (&target)[32], const std::u16string& name) {
    std::memset(target, 0, sizeof target);
    std::copy_n(name.begin(), std::min<size_t>(name.size(), 31), target);
}

// The text with line breaks (CR LF) where each paragraph wraps at `width` by the line breaking
// rules (spaces before a break dropped), from the advances of the characters as the library laid
// them out in string `row`.
std::u16string WrapText(ITitleHost& host, int row, const std::u16string& text, float width, const std::string& language,
                        int& breaks) {
    RenderSettings settings{};
    host.GetRenderSettings(&settings);
    const float sx = settings.ScaleX != 0 ? settings.ScaleX : 1.0f;
    std::u16string wrapped;
    breaks = 0;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(u"\r\n", start);
        if (end == std::u16string::npos) end = text.size();
        const std::u16string_view paragraph(text.data() + start, end - start);
        std::vector<float> advances(paragraph.size());
        for (size_t i = 0; i < paragraph.size(); ++i) {
            RectF box{};
            if (host.GetCharRect(row, static_cast<int32_t>(start + i), &box, 0) == S_OK) advances[i] = box.width / sx;
        }
        const std::vector<size_t> at = FillLines(paragraph, advances, width, LineBreakOpportunities(paragraph, language));
        breaks += static_cast<int>(at.size());
        wrapped += InsertLineBreaks(paragraph, at);
        if (end == text.size()) break;
        wrapped += u"\r\n";
        start = end + 2;
    }
    return wrapped;
}

}  // namespace

bool AddStyledString(ITitleHost& host, std::u16string_view text, const StringStyle& style, AddedString& out,
                     std::string& error) {
    FontSpec font{};
    host.GetDefaultFont(&font);
    if (!style.font.empty()) {
        CopyFaceName(font.FaceName, Utf8ToUtf16(style.font));
    } else if (!style.language.empty()) {
        // No face asked for: the one fontconfig chooses for the language, when one covers it.
        const std::u16string face = Utf8ToUtf16(FaceForLanguage(style.language));
        if (!face.empty() && face.size() <= 31) CopyFaceName(font.FaceName, face);
    }
    // Bit 8 of the character set asks the library to kern; older libraries read the low 8 bits only.
    font.CharSet = style.kerning ? 0x101 : 1;
    font.Size = style.size;
    font.Bold = style.bold ? 1 : 0;
    font.Italic = style.italic ? 1 : 0;
    font.Underline = font.StrikeOut = 0;
    out.fontSubstituted = host.SetDefaultFont(&font) == 1;
    FontSpec used{};
    host.GetDefaultFont(&used);
    out.fontUsed = Utf16ToUtf8(std::u16string(used.FaceName, std::find(used.FaceName, used.FaceName + 32, u'\0')));

    MetaFace face{1, ModelColor(style.color1), ModelColor(style.color2), style.gradient,
                  static_cast<uint32_t>(std::clamp(style.alpha, 0, 255)), 0};
    host.SetDefaultFace(&face);

    MetaBorder border{};
    if (style.border && style.border->size > 0) {
        const uint32_t c = ModelColor(style.border->rgb);
        border = {1, style.border->size, c, c, 0, static_cast<uint32_t>(std::clamp(style.border->alpha, 0, 255)), 0};
    }
    host.SetDefaultBorder(&border);

    MetaShadow shadow{};
    if (style.shadow) {
        const ShadowOption& s = *style.shadow;
        const uint32_t c = ModelColor(s.rgb);
        const uint32_t alpha = s.alpha ? static_cast<uint32_t>(std::clamp(*s.alpha, 0, 255)) : s.extrude ? 255u : 160u;
        shadow = {1, border.Enable, c, c, 0, alpha, s.blur, s.dx, s.dy, s.extrude ? 1u : 0u};
    }
    host.SetDefaultShadow(&shadow);

    // A getter given a bad row still reports the default, which is how a host reads the defaults
    // it did not set itself.
    ParagraphAttrs paragraph{};
    host.GetCharParagraph(-1, 0, &paragraph);
    paragraph.Align = style.align;
    host.SetDefaultParagraph(&paragraph);

    StringAttrs attrs{};
    host.GetStringAttrs(-1, &attrs);
    attrs.Left = style.at ? style.at->first : 0.0f;
    attrs.Top = style.at ? style.at->second : 0.0f;
    attrs.RotateDegree = style.rotate;
    attrs.Vertical = style.vertical ? 1 : 0;
    std::strcpy(attrs.PathID, "PATH_NOEFFECT");
    attrs.PathProgress = 1.0f;

    if (style.width) attrs.WidthLimit = *style.width;
    host.SetDefaultString(&attrs);

    out.row = host.AddString();
    // Before the text goes in, so that it is shaped in its language once.
    if (out.row < 0 || !SetStringText(host, out.row, style.language, style.evenLines, error)) {
        if (error.empty()) error = "the title library could not add a string";
        return false;
    }
    std::u16string terminated(text);
    int32_t count = host.InsertText(out.row, 0, terminated.c_str());
    if (count == static_cast<int32_t>(terminated.size()) && style.width && !style.vertical) {
        // The library breaks a full line at any character; lines break where the line breaking
        // rules allow instead, and the library's limit then breaks only pieces longer than a line.
        const std::u16string wrapped = WrapText(host, out.row, terminated, *style.width, style.language, out.wrappedLines);
        if (wrapped != terminated) {
            host.DeleteText(out.row, 0, count);
            terminated = wrapped;
            count = host.InsertText(out.row, 0, terminated.c_str());
        }
    }
    if (count != static_cast<int32_t>(terminated.size())) {
        error = "the title library kept " + std::to_string(count) + " of " + std::to_string(terminated.size()) +
                " characters";
        return false;
    }
    std::vector<QelPlate> plates;
    if (style.plate) plates.push_back(*style.plate);
    if (!SetStringPlates(host, out.row, plates, style.gradientAcross, error)) return false;
    const DesignFrame frame{style.frame.width, style.frame.height};
    out.extent = MeasureString(host, out.row);
    if (!style.at) {
        // The move is rigid (the turn's origin moves with the string), so one correction suffices.
        const auto [dx, dy] = AnchorOffset(style.anchor, style.margin, out.extent, frame);
        attrs.Left = std::round(attrs.Left + dx);
        attrs.Top = std::round(attrs.Top + dy);
        host.SetDefaultString(&attrs);
        if (const HRESULT status = host.ApplyString(out.row); status != S_OK) {
            error = "the title library could not place the string: " + StatusText(status);
            return false;
        }
        out.extent = MeasureString(host, out.row);
    }
    out.outside = OutsideFrame(out.extent, frame);
    return true;
}

std::optional<Extent> TitleOutsideArea(ITitleHost& host, const FrameFit& area) {
    const int32_t rows = host.GetStringCount();
    if (rows <= 0) return std::nullopt;
    Extent all{FLT_MAX, FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (int32_t row = 0; row < rows; ++row) {
        const Extent e = MeasureString(host, row);
        const Extent pixels{area.x + e.left * area.scale, area.y + e.top * area.scale, area.x + e.right * area.scale,
                            area.y + e.bottom * area.scale};
        if (pixels.right > area.x && pixels.left < area.x + area.width && pixels.bottom > area.y &&
            pixels.top < area.y + area.height)
            return std::nullopt;
        all = Extent{std::min(all.left, pixels.left), std::min(all.top, pixels.top), std::max(all.right, pixels.right),
                     std::max(all.bottom, pixels.bottom)};
    }
    return all;
}

}  // namespace qeltitle
