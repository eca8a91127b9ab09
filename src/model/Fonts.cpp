// (Placeholder until the font layer lands.)
#include "model/Fonts.h"

namespace qel {

struct FontLinker::Impl {};
FontLinker::FontLinker() = default;
FontLinker::~FontLinker() = default;
LOGFONTW LogFontFromSpec(int32_t designHeight, const FontSpec& spec) {
    LOGFONTW lf{};
    for (int i = 0; i < 32; ++i) lf.lfFaceName[i] = spec.FaceName[i];
    lf.lfCharSet = static_cast<uint8_t>(spec.CharSet);
    lf.lfHeight = -designHeight;
    lf.lfWeight = spec.Bold ? 700 : 400;
    lf.lfItalic = static_cast<uint8_t>(spec.Italic);
    return lf;
}
HRESULT MakeFont(int32_t, const FontSpec&, MetaFont*) { return E_FAIL; }
HRESULT BuildMetaFont(int32_t, float, const LOGFONTW&, MetaFont*) { return E_FAIL; }
HRESULT ResolveCharFonts(FontLinker&, const char16_t*, int32_t, int32_t, const FontSpec&, MetaFont*) {
    return E_FAIL;
}
bool MeasureCodeUnit(const LOGFONTW&, char16_t, float*, float*) { return false; }
void MeasureCharacter(MetaCharacter&, const MetaFont&, bool) {}
FontSpec ReportFont(const MetaFont&) { return {}; }
std::vector<std::u16string> EnumerateFaceNames() { return {}; }
LOGFONTW DefaultGuiFont() { return {}; }

}  // namespace qel
