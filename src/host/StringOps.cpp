// Editing operations: slots 0-4 and 13-20. (Placeholder bodies until the editing work lands.)
#include "host/TitleHost.h"

namespace qel {

int32_t TitleHost::AddString() noexcept { return -1; }
HRESULT TitleHost::ClearString(int32_t) noexcept { return E_FAIL; }
int32_t TitleHost::RemoveAllStrings() noexcept {
    for (MetaString& s : Strings) ReleaseStringResources(s);
    Strings.clear();
    return 0;
}
int32_t TitleHost::InsertText(int32_t, int32_t, const char16_t*) noexcept { return 0; }
int32_t TitleHost::DeleteText(int32_t, int32_t, int32_t) noexcept { return 0; }
HRESULT TitleHost::ApplyFont(int32_t, int32_t, int32_t) noexcept { return E_FAIL; }
HRESULT TitleHost::ApplyFace(int32_t, int32_t, int32_t) noexcept { return E_FAIL; }
HRESULT TitleHost::ApplyBorder(int32_t, int32_t, int32_t) noexcept { return E_FAIL; }
HRESULT TitleHost::ApplyShadow(int32_t, int32_t, int32_t) noexcept { return E_FAIL; }
HRESULT TitleHost::ApplySpacing(int32_t, int32_t, int32_t) noexcept { return E_FAIL; }
HRESULT TitleHost::ApplyParagraph(int32_t, int32_t, int32_t) noexcept { return E_FAIL; }
HRESULT TitleHost::ApplyString(int32_t) noexcept { return E_FAIL; }
HRESULT TitleHost::RemeasureAll() noexcept { return S_OK; }
void TitleHost::UpdateRotation(MetaString&) {}
void TitleHost::RefreshFontsAfterLoad() {}
void TitleHost::ReleaseStringResources(MetaString& s) {
    Effects.ReleaseEffect(s.Effect);
    s.Effect = nullptr;
    s.Glyphs.clear();
    s.Layers.Reset();
}

}  // namespace qel
