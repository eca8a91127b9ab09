// Construction, destruction and the operations that forward to the title and the compositor.
//
// A null record pointer is refused with E_POINTER instead of being read or written: the host
// gets a status it can test, and nothing changes.
#include "host/TitleHost.h"

#include "host/Boundary.h"

namespace qel {

TitleHost::TitleHost() { compositor_.SetMaxThreads(title_.Settings().MaxThreads); }

// The strings go first, then the compositor's images and threads, then the catalogue.
TitleHost::~TitleHost() { title_.RemoveAllStrings(); }

void* TitleHost::Destroy(uint32_t flags) noexcept {
    if (flags & 1) {
        delete this;
    } else {
        this->~TitleHost();
    }
    return this;
}

// ---- editing ----

int32_t TitleHost::AddString() noexcept {
    return GuardValue<int32_t>(-1, [&] { return title_.AddString(); });
}

HRESULT TitleHost::ClearString(int32_t row) noexcept {
    return Guard([&] { return title_.ClearString(row); });
}

int32_t TitleHost::RemoveAllStrings() noexcept {
    title_.RemoveAllStrings();  // frees only
    return 0;
}

int32_t TitleHost::InsertText(int32_t row, int32_t col, const char16_t* text) noexcept {
    return GuardValue<int32_t>(0, [&] { return title_.InsertText(row, col, text); });
}

int32_t TitleHost::DeleteText(int32_t row, int32_t col, int32_t count) noexcept {
    return GuardValue<int32_t>(0, [&] { return title_.DeleteText(row, col, count); });
}

HRESULT TitleHost::ApplyFont(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&] { return title_.ApplyFont(row, first, count); });
}

HRESULT TitleHost::ApplyFace(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&] { return title_.ApplyFace(row, first, count); });
}

HRESULT TitleHost::ApplyBorder(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&] { return title_.ApplyBorder(row, first, count); });
}

HRESULT TitleHost::ApplyShadow(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&] { return title_.ApplyShadow(row, first, count); });
}

HRESULT TitleHost::ApplySpacing(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&] { return title_.ApplySpacing(row, first, count); });
}

HRESULT TitleHost::ApplyParagraph(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&] { return title_.ApplyParagraph(row, first, count); });
}

HRESULT TitleHost::ApplyString(int32_t row) noexcept {
    return Guard([&] { return title_.ApplyString(row); });
}

HRESULT TitleHost::RemeasureAll() noexcept {
    return Guard([&] { return title_.RemeasureAll(); });
}

// ---- defaults and settings ----

int32_t TitleHost::SetDefaultFont(const FontSpec* font) noexcept {
    if (!font) return E_POINTER;
    // 0 or 1 (substituted); out of memory while looking for the face keeps the previous default.
    return Guard([&] { return title_.SetDefaultFont(*font); });
}

HRESULT TitleHost::SetDefaultFace(const MetaFace* face) noexcept {
    if (!face) return E_POINTER;
    title_.SetDefaultFace(*face);
    return S_OK;
}

HRESULT TitleHost::SetDefaultBorder(const MetaBorder* border) noexcept {
    if (!border) return E_POINTER;
    title_.SetDefaultBorder(*border);
    return S_OK;
}

HRESULT TitleHost::SetDefaultShadow(const MetaShadow* shadow) noexcept {
    if (!shadow) return E_POINTER;
    title_.SetDefaultShadow(*shadow);
    return S_OK;
}

HRESULT TitleHost::SetDefaultSpacing(const CharSpacing* spacing) noexcept {
    if (!spacing) return E_POINTER;
    title_.SetDefaultSpacing(*spacing);
    return S_OK;
}

HRESULT TitleHost::SetDefaultParagraph(const ParagraphAttrs* para) noexcept {
    if (!para) return E_POINTER;
    title_.SetDefaultParagraph(*para);
    return S_OK;
}

HRESULT TitleHost::SetDefaultString(const StringAttrs* attrs) noexcept {
    if (!attrs) return E_POINTER;
    title_.SetDefaultString(*attrs);
    return S_OK;
}

HRESULT TitleHost::SetRenderSettings(const RenderSettings* settings) noexcept {
    if (!settings) return E_POINTER;
    title_.SetRenderSettings(*settings);
    compositor_.SetMaxThreads(settings->MaxThreads);
    return S_OK;
}

HRESULT TitleHost::GetRenderSettings(RenderSettings* out) noexcept {
    if (!out) return E_POINTER;
    *out = title_.Settings();
    return S_OK;
}

HRESULT TitleHost::GetDefaultFont(FontSpec* out) noexcept {
    if (!out) return E_POINTER;
    *out = title_.DefaultFont();
    return S_OK;
}

// ---- queries ----

HRESULT TitleHost::GetCharFont(int32_t row, int32_t col, FontSpec* out) noexcept {
    return Guard([&] { return title_.GetCharFont(row, col, out); });
}

HRESULT TitleHost::GetCharFace(int32_t row, int32_t col, MetaFace* out) noexcept {
    return Guard([&] { return title_.GetCharFace(row, col, out); });
}

HRESULT TitleHost::GetCharBorder(int32_t row, int32_t col, MetaBorder* out) noexcept {
    return Guard([&] { return title_.GetCharBorder(row, col, out); });
}

HRESULT TitleHost::GetCharShadow(int32_t row, int32_t col, MetaShadow* out) noexcept {
    return Guard([&] { return title_.GetCharShadow(row, col, out); });
}

HRESULT TitleHost::GetCharSpacing(int32_t row, int32_t col, CharSpacing* out) noexcept {
    return Guard([&] { return title_.GetCharSpacing(row, col, out); });
}

HRESULT TitleHost::GetCharParagraph(int32_t row, int32_t col, ParagraphAttrs* out) noexcept {
    return Guard([&] { return title_.GetCharParagraph(row, col, out); });
}

HRESULT TitleHost::GetStringAttrs(int32_t row, StringAttrs* out) noexcept {
    return Guard([&] { return title_.GetStringAttrs(row, out); });
}

int32_t TitleHost::GetCharCount(int32_t row) noexcept { return title_.GetCharCount(row); }
int32_t TitleHost::GetLineCount(int32_t row) noexcept { return title_.GetLineCount(row); }
int32_t TitleHost::GetStringCount() noexcept { return title_.GetStringCount(); }
int32_t TitleHost::GetParagraphCount(int32_t row) noexcept { return title_.GetParagraphCount(row); }

HRESULT TitleHost::GetCharRect(int32_t row, int32_t col, RectF* out, int32_t includeBreaks) noexcept {
    return Guard([&] { return title_.GetCharRect(row, col, out, includeBreaks); });
}

HRESULT TitleHost::GetLineRect(int32_t row, int32_t line, RectF* out) noexcept {
    return Guard([&] { return title_.GetLineRect(row, line, out); });
}

HRESULT TitleHost::GetParagraphRect(int32_t row, int32_t para, RectF* out) noexcept {
    return Guard([&] { return title_.GetParagraphRect(row, para, out); });
}

HRESULT TitleHost::GetStringRect(int32_t row, RectF* out) noexcept {
    return Guard([&] { return title_.GetStringRect(row, out); });
}

HRESULT TitleHost::GetCharQuad(int32_t row, int32_t col, QuadF* out, int32_t includeBreaks) noexcept {
    return Guard([&] { return title_.GetCharQuad(row, col, out, includeBreaks); });
}

HRESULT TitleHost::GetLineQuad(int32_t row, int32_t line, QuadF* out) noexcept {
    return Guard([&] { return title_.GetLineQuad(row, line, out); });
}

HRESULT TitleHost::GetParagraphQuad(int32_t row, int32_t para, QuadF* out) noexcept {
    return Guard([&] { return title_.GetParagraphQuad(row, para, out); });
}

HRESULT TitleHost::GetStringQuad(int32_t row, QuadF* out) noexcept {
    return Guard([&] { return title_.GetStringQuad(row, out); });
}

int32_t TitleHost::GetText(int32_t row, char16_t* buffer) noexcept { return title_.GetText(row, buffer); }

HRESULT TitleHost::DumpLayout(int32_t row) noexcept {
    return Guard([&] { return title_.DumpLayout(row); });
}

// ---- key frames and time ----

HRESULT TitleHost::SetKeyFrame(int32_t row, float key, const PathValue* value) noexcept {
    return Guard([&] { return title_.SetKeyFrame(row, key, value); });
}

HRESULT TitleHost::RemoveKeyFrame(int32_t row, float key) noexcept {
    return Guard([&] { return title_.RemoveKeyFrame(row, key); });
}

HRESULT TitleHost::ClearKeyFrames(int32_t row) noexcept {
    return Guard([&] { return title_.ClearKeyFrames(row); });
}

int32_t TitleHost::GetKeyFrameCount(int32_t row) noexcept { return title_.GetKeyFrameCount(row); }

HRESULT TitleHost::GetFirstKeyFrame(int32_t row, float* key, PathValue* value) noexcept {
    return Guard([&] { return title_.GetFirstKeyFrame(row, key, value); });
}

HRESULT TitleHost::GetNextKeyFrame(int32_t row, float* key, PathValue* value) noexcept {
    return Guard([&] { return title_.GetNextKeyFrame(row, key, value); });
}

HRESULT TitleHost::SetTime(int32_t row, float time) noexcept {
    return Guard([&] { return title_.SetTime(row, time); });
}

// ---- drawing ----

HRESULT TitleHost::Render(uint8_t* pixels, float time) noexcept {
    return Guard([&] { return compositor_.Render(title_, pixels, time); });
}

HRESULT TitleHost::GetDirtyRect(RECT* out) noexcept {
    if (!out) return E_POINTER;
    *out = compositor_.DirtyRect();
    return S_OK;
}

int32_t TitleHost::ReleaseCaches() noexcept {
    compositor_.ReleaseCaches();
    return 0;
}

}  // namespace qel
