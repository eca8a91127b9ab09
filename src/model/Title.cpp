// The title's construction, its defaults for new text and its render settings.
#include "model/Title.h"

#include <cstring>

#include "model/Fonts.h"

namespace qel {
namespace {

void CopyFaceName(char16_t (&dst)[32], const char16_t* src) {
    size_t i = 0;
    for (; i < 31 && src[i]; ++i) dst[i] = src[i];
    for (; i < 32; ++i) dst[i] = 0;
}

// Chosen defaults for new paragraphs: start-aligned, no extra spacing, no indents.
constexpr ParagraphAttrs kDefaultParagraph = {0, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};

}  // namespace

Title::Title() {
    for (const std::u16string& name : EnumerateFaceNames()) faceNames_[name] = 1;

    FontSpec font{};
    CopyFaceName(font.FaceName, u"Arial");
    font.CharSet = 1;
    font.Size = 24.0f;
    SetDefaultFont(font);

    defaultFace_ = {1, 0xFFFFFF, 0xFFFFFF, 0, 255, 0};
    defaultBorder_ = {1, 3, 0xFF, 0xFF, 0, 255, 0};
    defaultShadow_ = {1, 1, 0, 0, 0, 128, 3, 3.0f, 3.0f, 0};
    defaultSpacing_ = {1.0f, 0.0f};
    defaultParagraph_ = kDefaultParagraph;
    defaultString_ = {};
    defaultString_.Left = 100.0f;
    defaultString_.Top = 100.0f;
    defaultString_.WidthLimit = 1.0e9f;
    std::strcpy(defaultString_.PathID, "PATH_NOEFFECT");
    defaultString_.PathProgress = 1.0f;

    settings_.Reserved = 1.0f;
    settings_.QualityMode = 1;
    settings_.Width = 320;
    settings_.Height = 240;
    settings_.ScaleX = 1.0f;
    settings_.ScaleY = 1.0f;
    settings_.ClipRect = {0, 0, 320, 240};
    settings_.UseGlyphCache = 1;
    settings_.MaxThreads = 1;
}

bool Title::InstalledOrGuiFont(FontSpec& spec) const {
    // The name is kept as the host wrote it: fontconfig matches it in any case.
    if (FaceNameKnown(faceNames_, std::u16string(spec.FaceName))) return true;
    const LOGFONTW gui = DefaultGuiFont();
    std::memcpy(spec.FaceName, gui.lfFaceName, sizeof spec.FaceName);
    spec.CharSet = gui.lfCharSet | (spec.CharSet & kCharSetKerning);
    return false;
}

int32_t Title::SetDefaultFont(const FontSpec& font) {
    // Built aside and stored whole: out of memory while looking for the face (an exception) leaves
    // the previous default in place.
    FontSpec spec = font;
    spec.FaceName[31] = 0;  // a name without terminator must not be read past its array
    const int32_t substituted = InstalledOrGuiFont(spec) ? 0 : 1;
    defaultFont_ = spec;
    return substituted;
}

void Title::SetDefaultString(const StringAttrs& attrs) {
    defaultString_ = attrs;
    // Both names are NUL-terminated inside their arrays from here on.
    defaultString_.PathID[sizeof defaultString_.PathID - 1] = 0;
    defaultString_.MaskFile[sizeof defaultString_.MaskFile - 1] = 0;
}

// Size, scale, quality or colour mode change every character's images and extents: the host is
// expected to re-measure (RemeasureAll). Every other field that draws differently counts as an
// edit too, so no still frame outlives it.
void Title::SetRenderSettings(const RenderSettings& s) {
    const RenderSettings& old = settings_;
    const bool remeasure = s.QualityMode != old.QualityMode || s.ColorMode != old.ColorMode ||
                           s.ScaleX != old.ScaleX || s.ScaleY != old.ScaleY || s.Height != old.Height ||
                           s.Width != old.Width;
    if (remeasure || s.Smoothing != old.Smoothing || s.KeepAlpha != old.KeepAlpha ||
        std::memcmp(&s.ClipRect, &old.ClipRect, sizeof(RECT)) != 0) {
        ++revision_;
    }
    if (remeasure) remeasurePending_ = true;
    settings_ = s;
    settings_.UseGlyphCache = 1;
}

const MetaString* Title::StringAt(int32_t row) const {
    if (row < 0 || static_cast<size_t>(row) >= strings_.size()) return nullptr;
    return &strings_[static_cast<size_t>(row)];
}

MetaString* Title::EditString(int32_t row) {
    if (row < 0 || static_cast<size_t>(row) >= strings_.size()) return nullptr;
    ++revision_;
    return &strings_[static_cast<size_t>(row)];
}

void Title::EvaluateTime(float time) {
    if (!(time >= 0.0f && time <= 1.0f)) return;  // not a title time: every string stays as it is
    for (MetaString& s : strings_) EvaluateKeyFrames(s, time);
}

}  // namespace qel
