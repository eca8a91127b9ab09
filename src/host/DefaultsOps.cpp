// Defaults for new text and the render settings: slots 5-12, 28 and 67.
//
// A null record pointer is refused with E_POINTER instead of being read or written: the host
// gets a status it can test, and no default changes.
#include <cstring>

#include "host/Boundary.h"
#include "host/TitleHost.h"
#include "model/Fonts.h"

namespace qel {

int32_t TitleHost::SetDefaultFont(const FontSpec* font) noexcept {
    if (!font) return E_POINTER;
    // Built aside and stored whole: out of memory while looking for the face leaves the previous
    // default in place.
    return GuardValue<int32_t>(E_OUTOFMEMORY, [&]() -> int32_t {
        FontSpec spec = *font;
        spec.FaceName[31] = 0;  // a name without terminator must not be read past its array
        int32_t substituted = 0;
        if (!FaceNames.count(std::u16string(spec.FaceName))) {
            const LOGFONTW gui = DefaultGuiFont();
            std::memcpy(spec.FaceName, gui.lfFaceName, sizeof spec.FaceName);
            spec.CharSet = gui.lfCharSet;
            substituted = 1;
        }
        DefaultFont = spec;
        return substituted;
    });
}

HRESULT TitleHost::SetDefaultFace(const MetaFace* face) noexcept {
    if (!face) return E_POINTER;
    DefaultFace = *face;
    return S_OK;
}

HRESULT TitleHost::SetDefaultBorder(const MetaBorder* border) noexcept {
    if (!border) return E_POINTER;
    DefaultBorder = *border;
    return S_OK;
}

HRESULT TitleHost::SetDefaultShadow(const MetaShadow* shadow) noexcept {
    if (!shadow) return E_POINTER;
    DefaultShadow = *shadow;
    return S_OK;
}

HRESULT TitleHost::SetDefaultSpacing(const CharSpacing* spacing) noexcept {
    if (!spacing) return E_POINTER;
    DefaultSpacing = *spacing;
    return S_OK;
}

HRESULT TitleHost::SetDefaultParagraph(const ParagraphAttrs* para) noexcept {
    if (!para) return E_POINTER;
    DefaultParagraph = *para;
    return S_OK;
}

HRESULT TitleHost::SetDefaultString(const StringAttrs* attrs) noexcept {
    if (!attrs) return E_POINTER;
    DefaultString = *attrs;
    // Both names are NUL-terminated inside their arrays from here on.
    DefaultString.PathID[sizeof DefaultString.PathID - 1] = 0;
    DefaultString.MaskFile[sizeof DefaultString.MaskFile - 1] = 0;
    return S_OK;
}

HRESULT TitleHost::SetRenderSettings(const RenderSettings* s) noexcept {
    if (!s) return E_POINTER;
    const RenderSettings& old = Settings;
    if (s->QualityMode != old.QualityMode || s->ColorMode != old.ColorMode ||
        s->ScaleX != old.ScaleX || s->ScaleY != old.ScaleY || s->Height != old.Height ||
        s->Width != old.Width) {
        for (MetaString& str : Strings) str.Layers.Reset();
        CacheValid = 0;
        RemeasurePending = 1;
    }
    if (s->Smoothing != old.Smoothing || s->KeepAlpha != old.KeepAlpha ||
        std::memcmp(&s->ClipRect, &old.ClipRect, sizeof(RECT)) != 0) {
        CacheValid = 0;
    }
    Settings = *s;
    Settings.UseGlyphCache = 1;
    Workers.SetMaxThreads(static_cast<uint32_t>(Settings.MaxThreads));
    return S_OK;
}

HRESULT TitleHost::GetRenderSettings(RenderSettings* out) noexcept {
    if (!out) return E_POINTER;
    *out = Settings;
    return S_OK;
}

HRESULT TitleHost::GetDefaultFont(FontSpec* out) noexcept {
    if (!out) return E_POINTER;
    *out = DefaultFont;
    return S_OK;
}

}  // namespace qel
