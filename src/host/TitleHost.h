// The TitleHost: the object a host application holds for a whole title, and the adapter between
// the host's table of 69 operations and the engine: it keeps the slot order, checks the pointers
// the host passes, maps exceptions to status codes (Boundary.h) and forwards to the title
// (model/Title.h), the compositor (compositor/Compositor.h), the effect catalogue and the
// persistence layer. It holds no title data of its own.
//
//   TitleHost.cpp    construction, destruction and the forwarding operations
//   PersistOps.cpp   load and save (slots 42-47)
//   EffectOps.cpp    the effect catalogue (slots 57-64)
#pragma once

#include "compositor/Compositor.h"
#include "effects/EffectCatalog.h"
#include "model/Title.h"
#include "qel/QEL_Title2.h"

namespace qel {

class TitleHost final : public ITitleHost {
public:
    TitleHost();
    TitleHost(const TitleHost&) = delete;
    TitleHost& operator=(const TitleHost&) = delete;

    // ---- the operation table, in slot order ----
    int32_t AddString() noexcept override;
    HRESULT ClearString(int32_t row) noexcept override;
    int32_t RemoveAllStrings() noexcept override;
    int32_t InsertText(int32_t row, int32_t col, const char16_t* text) noexcept override;
    int32_t DeleteText(int32_t row, int32_t col, int32_t count) noexcept override;
    int32_t SetDefaultFont(const FontSpec* font) noexcept override;
    HRESULT SetDefaultFace(const MetaFace* face) noexcept override;
    HRESULT SetDefaultBorder(const MetaBorder* border) noexcept override;
    HRESULT SetDefaultShadow(const MetaShadow* shadow) noexcept override;
    HRESULT SetDefaultSpacing(const CharSpacing* spacing) noexcept override;
    HRESULT SetDefaultParagraph(const ParagraphAttrs* para) noexcept override;
    HRESULT SetDefaultString(const StringAttrs* attrs) noexcept override;
    HRESULT SetRenderSettings(const RenderSettings* settings) noexcept override;
    HRESULT ApplyFont(int32_t row, int32_t first, int32_t count) noexcept override;
    HRESULT ApplyFace(int32_t row, int32_t first, int32_t count) noexcept override;
    HRESULT ApplyBorder(int32_t row, int32_t first, int32_t count) noexcept override;
    HRESULT ApplyShadow(int32_t row, int32_t first, int32_t count) noexcept override;
    HRESULT ApplySpacing(int32_t row, int32_t first, int32_t count) noexcept override;
    HRESULT ApplyParagraph(int32_t row, int32_t first, int32_t count) noexcept override;
    HRESULT ApplyString(int32_t row) noexcept override;
    HRESULT RemeasureAll() noexcept override;
    HRESULT GetCharFont(int32_t row, int32_t col, FontSpec* out) noexcept override;
    HRESULT GetCharFace(int32_t row, int32_t col, MetaFace* out) noexcept override;
    HRESULT GetCharBorder(int32_t row, int32_t col, MetaBorder* out) noexcept override;
    HRESULT GetCharShadow(int32_t row, int32_t col, MetaShadow* out) noexcept override;
    HRESULT GetCharSpacing(int32_t row, int32_t col, CharSpacing* out) noexcept override;
    HRESULT GetCharParagraph(int32_t row, int32_t col, ParagraphAttrs* out) noexcept override;
    HRESULT GetStringAttrs(int32_t row, StringAttrs* out) noexcept override;
    HRESULT GetRenderSettings(RenderSettings* out) noexcept override;
    int32_t GetCharCount(int32_t row) noexcept override;
    int32_t GetLineCount(int32_t row) noexcept override;
    int32_t GetStringCount() noexcept override;
    int32_t GetParagraphCount(int32_t row) noexcept override;
    HRESULT GetCharRect(int32_t row, int32_t col, RectF* out, int32_t includeBreaks) noexcept override;
    HRESULT GetLineRect(int32_t row, int32_t line, RectF* out) noexcept override;
    HRESULT GetParagraphRect(int32_t row, int32_t para, RectF* out) noexcept override;
    HRESULT GetStringRect(int32_t row, RectF* out) noexcept override;
    HRESULT GetCharQuad(int32_t row, int32_t col, QuadF* out, int32_t includeBreaks) noexcept override;
    HRESULT GetLineQuad(int32_t row, int32_t line, QuadF* out) noexcept override;
    HRESULT GetParagraphQuad(int32_t row, int32_t para, QuadF* out) noexcept override;
    HRESULT GetStringQuad(int32_t row, QuadF* out) noexcept override;
    int32_t GetText(int32_t row, char16_t* buffer) noexcept override;
    HRESULT LoadTitleFromBuffer(const char16_t* text) noexcept override;
    HRESULT SaveTitleToBuffer(char16_t* buffer, uint32_t* sizeBytes) noexcept override;
    HRESULT LoadTitleFromFile(const char16_t* path) noexcept override;
    HRESULT SaveTitleToFile(const char16_t* path) noexcept override;
    HRESULT LoadTitleFromNode(pugi::xml_node* node) noexcept override;
    HRESULT SaveTitleToNode(pugi::xml_node* node) noexcept override;
    HRESULT Render(uint8_t* pixels, float time) noexcept override;
    HRESULT DumpLayout(int32_t row) noexcept override;
    HRESULT SetKeyFrame(int32_t row, float key, const PathValue* value) noexcept override;
    HRESULT RemoveKeyFrame(int32_t row, float key) noexcept override;
    HRESULT ClearKeyFrames(int32_t row) noexcept override;
    int32_t GetKeyFrameCount(int32_t row) noexcept override;
    HRESULT GetFirstKeyFrame(int32_t row, float* key, PathValue* value) noexcept override;
    HRESULT GetNextKeyFrame(int32_t row, float* key, PathValue* value) noexcept override;
    HRESULT SetTime(int32_t row, float time) noexcept override;
    int32_t SelectByLevel(int32_t level) noexcept override;
    HRESULT LoadEffectStrings(const char16_t* path) noexcept override;
    int32_t EnumEffects(EffectEnumProc proc) noexcept override;
    int32_t EnumEffectsW(EffectEnumProc proc) noexcept override;
    const char* GetEffectName(const char* pathId) noexcept override;
    const char16_t* GetEffectNameW(const char* pathId) noexcept override;
    const char* GetEffectDesc(const char* pathId) noexcept override;
    const char16_t* GetEffectDescW(const char* pathId) noexcept override;
    HRESULT GetDirtyRect(RECT* out) noexcept override;
    int32_t ReleaseCaches() noexcept override;
    HRESULT GetDefaultFont(FontSpec* out) noexcept override;
    void* Destroy(uint32_t flags) noexcept override;

    // ---- the engine behind the table (for tests and tools inside the library) ----
    Title& Engine() { return title_; }
    const Title& Engine() const { return title_; }
    Compositor& Renderer() { return compositor_; }
    EffectCatalog& Effects() { return effects_; }

private:
    ~TitleHost();

    Title title_;
    EffectCatalog effects_;
    Compositor compositor_;
};

}  // namespace qel
