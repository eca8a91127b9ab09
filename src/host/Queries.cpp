// Getters, rectangles, quads, text and the layout dump: slots 21-41, 49, 65.
// (Placeholder bodies until the query work lands.)
#include "host/TitleHost.h"

namespace qel {

MetaString* TitleHost::StringAt(int32_t row) noexcept {
    if (row < 0 || static_cast<size_t>(row) >= Strings.size()) return nullptr;
    return &Strings[static_cast<size_t>(row)];
}

HRESULT TitleHost::GetCharFont(int32_t, int32_t, FontSpec*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetCharFace(int32_t, int32_t, MetaFace*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetCharBorder(int32_t, int32_t, MetaBorder*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetCharShadow(int32_t, int32_t, MetaShadow*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetCharSpacing(int32_t, int32_t, CharSpacing*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetCharParagraph(int32_t, int32_t, ParagraphAttrs*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetStringAttrs(int32_t, StringAttrs*) noexcept { return E_FAIL; }
int32_t TitleHost::GetCharCount(int32_t) noexcept { return 0; }
int32_t TitleHost::GetLineCount(int32_t) noexcept { return 0; }
int32_t TitleHost::GetStringCount() noexcept { return static_cast<int32_t>(Strings.size()); }
int32_t TitleHost::GetParagraphCount(int32_t) noexcept { return 0; }
HRESULT TitleHost::GetCharRect(int32_t, int32_t, RectF*, int32_t) noexcept { return E_FAIL; }
HRESULT TitleHost::GetLineRect(int32_t, int32_t, RectF*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetParagraphRect(int32_t, int32_t, RectF*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetStringRect(int32_t, RectF*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetCharQuad(int32_t, int32_t, QuadF*, int32_t) noexcept { return E_FAIL; }
HRESULT TitleHost::GetLineQuad(int32_t, int32_t, QuadF*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetParagraphQuad(int32_t, int32_t, QuadF*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetStringQuad(int32_t, QuadF*) noexcept { return E_FAIL; }
int32_t TitleHost::GetText(int32_t, char16_t*) noexcept { return 0; }
HRESULT TitleHost::DumpLayout(int32_t) noexcept { return E_FAIL; }
HRESULT TitleHost::GetDirtyRect(RECT* out) noexcept {
    if (!out) return E_POINTER;
    *out = DirtyRect;
    return S_OK;
}
RectF TitleHost::CharFrameRect(const MetaString&, int32_t) const { return {}; }
RectF TitleHost::StringFrameRect(const MetaString&) const { return {}; }

}  // namespace qel
