// The TitleHost: the one object a host application holds for a whole title. It owns the defaults
// for new text, the render settings, the strings, the effect catalogue, the worker pool, the
// installed face names and the composed-frame cache, and implements the 69 operations.
//
// The operations are split over several files by subject:
//   TitleHost.cpp       construction, destruction, Destroy (slot 68)
//   StringOps.cpp       editing: slots 0-4, 13-20
//   DefaultsOps.cpp     defaults and settings: slots 5-12, 28, 67
//   Queries.cpp         getters, rectangles, quads, text, dirty rectangle: slots 21-41, 49, 65
//   KeyFrameOps.cpp     key frames and time: slots 50-56
//   EffectOps.cpp       catalogue slots 57-64
//   ../persist/TitleOps.cpp     load and save: slots 42-47
//   ../render/Compositor.cpp    Render (48), ReleaseCaches (66)
//   ../render/CharacterLayers.cpp  PrepareGlyphLayers
#pragma once

#include <map>
#include <string>
#include <vector>

#include "effects/EffectCatalog.h"
#include "model/TitleModel.h"
#include "qel/QEL_Title2.h"
#include "render/WorkerPool.h"

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

    // ---- engine internals shared by the subsystems (no validation unless stated) ----

    // The string at row, or null when row is not a string index.
    MetaString* StringAt(int32_t row) noexcept;

    // Line breaking and layout of one string.
    int BreakLines(int32_t row, int32_t start, int32_t count);
    void LayoutString(int32_t row);

    // RotSin/RotCos from RotateDegree, and the rotation origin from the string's box.
    void UpdateRotation(MetaString& s);

    // A character's box in frame units (the unvalidated body of GetCharRect).
    RectF CharFrameRect(const MetaString& s, int32_t col) const;
    RectF StringFrameRect(const MetaString& s) const;

    // After a load: every character's font is resolved and measured again on this machine.
    void RefreshFontsAfterLoad();

    // The character images of one character (may run on a worker thread): 1 when built (or
    // nothing to build), 0 when the character has nothing to draw, kPrepareOutOfMemory when
    // memory ran out; the character then keeps its rebuild flags and no images.
    static constexpr int kPrepareOutOfMemory = -1;
    int PrepareGlyphLayers(int32_t row, int32_t col, PreparedGlyph* out, float scaleX, float scaleY,
                           float angle) noexcept;

    // Creates the string's effect again when its identifier changed.
    void RebuildEffect(MetaString& s);

    // Frees a string's effect, layers and glyph buffers (the body of ClearString's releases).
    void ReleaseStringResources(MetaString& s);

    // ---- members, in the documented order ----
    FontSpec DefaultFont{};
    MetaFace DefaultFace{};
    MetaBorder DefaultBorder{};
    MetaShadow DefaultShadow{};
    CharSpacing DefaultSpacing{};
    ParagraphAttrs DefaultParagraph{};
    StringAttrs DefaultString{};
    RenderSettings Settings{};
    int32_t RemeasurePending = 0;
    int32_t ProcessorCount = 1;
    std::vector<MetaString> Strings;
    EffectCatalog Effects;
    WorkerPool Workers;
    std::map<std::u16string, int32_t> FaceNames;
    RECT DirtyRect{};
    // The still-frame cache keeps the strings' finished images in their own layers and replays
    // their final blends (see render/Compositor.cpp), so it needs no frame-sized buffer of its own.
    int32_t CacheValid = 0;
    RECT CacheRect{};

private:
    ~TitleHost();
};

}  // namespace qel
