// gallery: a contact sheet with one row per effect, showing it at several moments, to choose an
// effect by eye. Every cell and every label is drawn by the library: the sample string keyed to
// the row's effect and rendered at the column's time, the labels as small strings at rest.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands/Args.h"
#include "commands/Commands.h"
#include "authoring/Effects.h"
#include "player/TitlePlayer.h"
#include "authoring/KeyFrames.h"
#include "media/Output.h"
#include "authoring/StyledString.h"
#include "authoring/Text.h"
#include "player/TitleFiles.h"
#include "media/Png.h"

namespace qeltitle {

using namespace qel;

namespace {

constexpr float kMoments[] = {0.25f, 0.5f, 0.75f, 1.0f};  // progress of the columns
constexpr int kColumns = 4;
constexpr int kCellWidth = 256, kCellHeight = 96;  // pixels
constexpr int kMinLabelWidth = 300, kLabelMargin = 14, kHeaderHeight = 44, kGap = 6;  // pixels
constexpr uint32_t kSheetColor = 0x121218, kCellTop = 0x2C3048, kCellBottom = 0x1A1C28;

// A small string at rest, at a fixed place of a label frame.
bool Label(ITitleHost& host, const std::string& text, float x, float y, float size, uint32_t rgb, bool bold,
           std::string& error) {
    StringStyle style;
    style.size = size;
    style.bold = bold;
    style.color1 = style.color2 = rgb;
    style.align = 0;
    style.at = std::make_pair(x, y);
    AddedString added;
    return AddStyledString(host, ExpandTitleText(text), style, added, error);
}

// The two labels of an effect's row: its name, and its identifier and group below.
bool RowLabels(ITitleHost& host, const EffectInfo& effect, std::string& error) {
    host.RemoveAllStrings();
    return Label(host, effect.name, kLabelMargin, 20, 26, 0xFFFFFF, true, error) &&
           Label(host, effect.pathId + "  " + effect.group, kLabelMargin, 58, 14, 0x9098B0, false, error);
}

// The label column is as wide as the widest label needs, so long identifiers and translated
// names are never cut at the first cell.
int LabelColumnWidth(ITitleHost& host, const std::vector<EffectInfo>& effects, std::string& error) {
    float right = 0;
    for (const EffectInfo& effect : effects) {
        if (!RowLabels(host, effect, error)) return -1;
        for (int32_t row = 0; row < host.GetStringCount(); ++row) {
            RectF box{};
            if (host.GetStringRect(row, &box) == S_OK) right = std::max(right, box.x + box.width);
        }
    }
    return std::max(kMinLabelWidth, static_cast<int>(std::ceil(right)) + kLabelMargin);
}

// The gallery's sheet drawn and written; false with `error` set (the labels and key frames are
// set by the authoring helpers, which report that way).
bool DrawGallery(const std::string& output, const std::string& text, int level, const std::string& strings,
                 bool keysOnly, std::string& error) {
    Expected<HostPtr> cellHost = NewHost(), labelHost = NewHost();
    if (!cellHost || !labelHost) return error = cellHost.Message() + labelHost.Message(), false;
    // Both drawn at one layout unit a pixel from the top-left of the cell they fill.
    TitlePlayer cellPlayer(std::move(*cellHost), "the gallery's cells"), labelPlayer(std::move(*labelHost), "its labels");
    ITitleHost* cells = &cellPlayer.Host();
    ITitleHost* labels = &labelPlayer.Host();
    const auto place = [&](TitlePlayer& player, int width, int height) {
        Status placed = player.Place(PlayerFrame{width, height, 1.0f, false, 0});
        error = placed.Message();
        return static_cast<bool>(placed);
    };
    const auto draw = [&](TitlePlayer& player, const Image& base, double time, Image& frame) {
        Status drawn = player.Draw(base, time, frame);
        error = drawn.Message();
        return static_cast<bool>(drawn);
    };
    const std::optional<std::string> named = strings.empty() ? std::nullopt : std::optional<std::string>(strings);
    if (Status loaded = LoadChosenEffectStrings(*cells, named, keysOnly); !loaded) return error = loaded.Message(), false;
    const std::vector<EffectInfo> effects = OfferedEffects(*cells, level);
    if (effects.empty()) {
        error = "no effect is offered at level " + std::to_string(level);
        return false;
    }

    if (!place(cellPlayer, kCellWidth, kCellHeight) || !place(labelPlayer, kCellWidth, kHeaderHeight)) return false;
    const int labelWidth = LabelColumnWidth(*labels, effects, error);
    if (labelWidth < 0) return false;

    StringStyle sample;
    sample.size = 46;
    sample.bold = true;
    sample.color1 = 0xFFE27A;
    sample.color2 = 0xFF8A00;
    sample.gradient = 1;
    sample.border = BorderOption{4, 0x2A1400, 255};
    sample.shadow = ShadowOption{3, 3, 2, false, 0x000000, std::nullopt};
    sample.frame = {kCellWidth, kCellHeight};
    AddedString added;
    if (!AddStyledString(*cells, ExpandTitleText(text), sample, added, error)) return false;

    const int width = labelWidth + kColumns * (kCellWidth + kGap) + kGap;
    const int height = kHeaderHeight + static_cast<int>(effects.size()) * (kCellHeight + kGap) + kGap;
    Image sheet(width, height);
    FillSolid(sheet, kSheetColor);
    Image cellBase(kCellWidth, kCellHeight), headerBase(kCellWidth, kHeaderHeight), labelBase(labelWidth, kCellHeight);
    FillVerticalGradient(cellBase, kCellTop, kCellBottom);
    FillSolid(headerBase, kSheetColor);
    FillSolid(labelBase, kSheetColor);
    Image frame;

    for (int c = 0; c < kColumns; ++c) {
        labels->RemoveAllStrings();
        char header[32];
        std::snprintf(header, sizeof header, "progress %.2f", kMoments[c]);
        if (!Label(*labels, header, 8, 12, 18, 0x9098B0, false, error) ||
            !draw(labelPlayer, headerBase, 1.0, frame))
            return false;
        Blit(sheet, frame, labelWidth + kGap + c * (kCellWidth + kGap), 0);
    }
    if (!place(labelPlayer, labelWidth, kCellHeight)) return false;

    for (size_t r = 0; r < effects.size(); ++r) {
        const EffectInfo& effect = effects[r];
        const int top = kHeaderHeight + static_cast<int>(r) * (kCellHeight + kGap);

        if (!RowLabels(*labels, effect, error) || !draw(labelPlayer, labelBase, 1.0, frame))
            return false;
        Blit(sheet, frame, 0, top);

        if (!SetKeyFrames(*cells, added.row, EffectSchedule(effect.pathId, 0.0f, 1.0f), error)) return false;
        for (int c = 0; c < kColumns; ++c) {
            if (!draw(cellPlayer, cellBase, kMoments[c], frame)) return false;
            Blit(sheet, frame, labelWidth + kGap + c * (kCellWidth + kGap), top);
        }
    }
    if (Status written = WritePng(output, sheet, false, PngKind::Still); !written) {
        error = "cannot write " + output + ": " + written.Message();
        return false;
    }
    return true;
}

}  // namespace

Status WriteGallery(const std::string& output, const std::string& text, int level, const std::string& strings,
                    bool keysOnly) {
    if (std::string error; !DrawGallery(output, text, level, strings, keysOnly, error)) return Failure(error);
    return {};
}

int RunGallery(const std::vector<std::string>& args) {
    ArgParser parser("gallery -o GALLERY.png [--text T]",
                     "Draws a contact sheet: one row per offered effect, labelled with its name, showing\n"
                     "a sample string at progress 0.25, 0.5, 0.75 and 1 of the effect.");
    parser.Option("-o, --output", "FILE", "the PNG to write");
    parser.Option("--text", "T", "sample text (default \"Title\")");
    parser.Option("--level", "N", "availability level as in 'qeltitle effects' (default 1: all 65)");
    parser.Option("--strings", "FILE", "effect string table with the display names (default: the English\n"
                                       "table installed beside the library)");
    parser.Flag("--keys", "label the rows with the display keys instead");
    std::string error;
    if (Status parsed = parser.Parse(args); !parsed) return UsageError("gallery", parsed.Message());
    if (parser.HelpRequested()) return std::printf("%s", parser.Help().c_str()), kExitOk;
    if (!parser.Positionals().empty()) return UsageError("gallery", "unexpected argument " + parser.Positionals()[0]);
    if (!parser.Has("output")) return UsageError("gallery", "missing -o GALLERY.png");
    long level = 1;
    if (auto v = parser.Value("level"); v && !ParseInteger(*v, 1, 255, level, error))
        return UsageError("gallery", "--level: " + error);
    if (parser.Has("keys") && parser.Has("strings"))
        return UsageError("gallery", "give either --strings (names from a table) or --keys (display keys), not both");
    if (Expected<HostPtr> host = NewHost(); !host || !CheckEffectLevel(**host, level, error))
        return host ? UsageError("gallery", "--level: " + error) : Fail(host.Message());
    const std::string text = parser.Value("text").value_or("Title");
    if (text.empty()) return UsageError("gallery", "--text is empty");
    const std::string output = *parser.Value("output");
    if (Status checked = CheckStillOutput(output); !checked) return Fail(checked.Message());
    if (Status written = WriteGallery(output, text, static_cast<int>(level), parser.Value("strings").value_or(""),
                                      parser.Has("keys"));
        !written)
        return Fail(written.Message());
    std::printf("wrote %s\n", output.c_str());
    return kExitOk;
}

}  // namespace qeltitle
