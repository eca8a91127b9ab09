// The title engine's document: the strings, the defaults for new text and the render settings,
// with every operation that edits, measures, lays out or reads them. It knows nothing of slots,
// of drawing or of files: the TitleHost adapts it to the operation table, the compositor draws it
// and the persistence layer reads and writes its strings.
//
// Operations validate their indices and answer as the operation table defines (a status, or a
// count that is 0 for a bad index); they may throw std::bad_alloc, which the adapter maps.
//
// Revision. Every change that can alter a drawn frame goes through EditString, EditStrings or
// ChangeSettings, which bump Revision(); the compositor keeps what it drew together with the
// revision it drew it at, so no operation can leave a stale still frame behind. Evaluating key
// frames at a title time (EvaluateTime, SetTime) is not an edit: it changes only each string's
// path identifier and progress, which the compositor compares itself.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "model/TitleModel.h"
#include "qel/QEL_Title2.h"

namespace qel {

class Title {
public:
    Title();
    Title(const Title&) = delete;
    Title& operator=(const Title&) = delete;

    // ---- editing ----
    int32_t AddString();
    HRESULT ClearString(int32_t row);
    void RemoveAllStrings();
    int32_t InsertText(int32_t row, int32_t col, const char16_t* text);
    int32_t DeleteText(int32_t row, int32_t col, int32_t count);
    HRESULT ApplyFont(int32_t row, int32_t first, int32_t count);
    HRESULT ApplyFace(int32_t row, int32_t first, int32_t count);
    HRESULT ApplyBorder(int32_t row, int32_t first, int32_t count);
    HRESULT ApplyShadow(int32_t row, int32_t first, int32_t count);
    HRESULT ApplySpacing(int32_t row, int32_t first, int32_t count);
    HRESULT ApplyParagraph(int32_t row, int32_t first, int32_t count);
    HRESULT ApplyString(int32_t row);
    HRESULT RemeasureAll();

    // Makes a loaded list the title's strings and rebuilds what the format does not carry:
    // rotation values, layout and every character's font and extent on this machine. On an
    // exception the title is left empty.
    void AdoptLoadedStrings(std::vector<MetaString> loaded);

    // ---- defaults for new text and the render settings ----
    // 0 when the face is installed, 1 when the default GUI font's face replaced it.
    int32_t SetDefaultFont(const FontSpec& font);
    void SetDefaultFace(const MetaFace& face) { defaultFace_ = face; }
    void SetDefaultBorder(const MetaBorder& border) { defaultBorder_ = border; }
    void SetDefaultShadow(const MetaShadow& shadow) { defaultShadow_ = shadow; }
    void SetDefaultSpacing(const CharSpacing& spacing) { defaultSpacing_ = spacing; }
    void SetDefaultParagraph(const ParagraphAttrs& para) { defaultParagraph_ = para; }
    void SetDefaultString(const StringAttrs& attrs);
    void SetRenderSettings(const RenderSettings& settings);

    const FontSpec& DefaultFont() const { return defaultFont_; }
    const MetaFace& DefaultFace() const { return defaultFace_; }
    const MetaBorder& DefaultBorder() const { return defaultBorder_; }
    const MetaShadow& DefaultShadow() const { return defaultShadow_; }
    const CharSpacing& DefaultSpacing() const { return defaultSpacing_; }
    const ParagraphAttrs& DefaultParagraph() const { return defaultParagraph_; }
    const StringAttrs& DefaultString() const { return defaultString_; }
    const RenderSettings& Settings() const { return settings_; }
    // Whether RemeasureAll has work: set by a change of size, scale, quality or colour mode.
    bool RemeasurePending() const { return remeasurePending_; }
    void RequestRemeasure() { remeasurePending_ = true; }

    // ---- queries ----
    HRESULT GetCharFont(int32_t row, int32_t col, FontSpec* out) const;
    HRESULT GetCharFace(int32_t row, int32_t col, MetaFace* out) const;
    HRESULT GetCharBorder(int32_t row, int32_t col, MetaBorder* out) const;
    HRESULT GetCharShadow(int32_t row, int32_t col, MetaShadow* out) const;
    HRESULT GetCharSpacing(int32_t row, int32_t col, CharSpacing* out) const;
    HRESULT GetCharParagraph(int32_t row, int32_t col, ParagraphAttrs* out) const;
    HRESULT GetStringAttrs(int32_t row, StringAttrs* out) const;
    int32_t GetCharCount(int32_t row) const;
    int32_t GetLineCount(int32_t row) const;
    int32_t GetStringCount() const { return static_cast<int32_t>(strings_.size()); }
    int32_t GetParagraphCount(int32_t row) const;
    HRESULT GetCharRect(int32_t row, int32_t col, RectF* out, int32_t includeBreaks) const;
    HRESULT GetLineRect(int32_t row, int32_t line, RectF* out) const;
    HRESULT GetParagraphRect(int32_t row, int32_t para, RectF* out) const;
    HRESULT GetStringRect(int32_t row, RectF* out) const;
    HRESULT GetCharQuad(int32_t row, int32_t col, QuadF* out, int32_t includeBreaks) const;
    HRESULT GetLineQuad(int32_t row, int32_t line, QuadF* out) const;
    HRESULT GetParagraphQuad(int32_t row, int32_t para, QuadF* out) const;
    HRESULT GetStringQuad(int32_t row, QuadF* out) const;
    int32_t GetText(int32_t row, char16_t* buffer) const;
    HRESULT DumpLayout(int32_t row) const;

    // A character's and a string's box in frame units (no validation of col beyond a zero box).
    RectF CharFrameRect(const MetaString& s, int32_t col) const;
    RectF StringFrameRect(const MetaString& s) const;
    // The rectangle the string's characters stand in, in frame units: what effects measure their
    // paths by. The layout box, except across the columns of a vertical string (see there).
    RectF StringTextRect(const MetaString& s) const;

    // ---- key frames and time ----
    HRESULT SetKeyFrame(int32_t row, float key, const PathValue* value);
    HRESULT RemoveKeyFrame(int32_t row, float key);
    HRESULT ClearKeyFrames(int32_t row);
    int32_t GetKeyFrameCount(int32_t row) const;
    HRESULT GetFirstKeyFrame(int32_t row, float* key, PathValue* value);
    HRESULT GetNextKeyFrame(int32_t row, float* key, PathValue* value);
    HRESULT SetTime(int32_t row, float time);
    // Every string's path at title time t.
    void EvaluateTime(float time);

    // ---- plates behind the text and gradients across a string (qel_extensions.h) ----
    int32_t GetPlateCount(int32_t row) const;
    HRESULT GetPlate(int32_t row, int32_t index, QelPlate* out) const;
    // Replaces plate index, or appends one at index == count.
    HRESULT SetPlate(int32_t row, int32_t index, const QelPlate& plate);
    HRESULT RemovePlate(int32_t row, int32_t index);
    HRESULT SetGradientAcross(int32_t row, uint32_t across);
    HRESULT GetGradientAcross(int32_t row, uint32_t* out) const;

    // ---- the text's language and even lines (qel_extensions.h) ----
    // Both shape, break and lay the string out again. A tag that is not of BCP 47's letters,
    // digits and hyphens (or longer than QEL_MAX_LANGUAGE bytes) is refused; empty clears it.
    HRESULT SetLanguage(int32_t row, const char* tag);
    // The tag and its terminator into buffer[size]; E_INVALIDARG (an empty buffer) when it does
    // not fit or the row is bad.
    HRESULT GetLanguage(int32_t row, char* buffer, uint32_t size) const;
    HRESULT SetEvenLines(int32_t row, uint32_t even);
    HRESULT GetEvenLines(int32_t row, uint32_t* out) const;
    // The language of a run: new text and ApplyFont take the default language with the default
    // font, as kerning comes with it; a character reports its own (empty: the string's).
    HRESULT SetDefaultLanguage(const char* tag);
    HRESULT GetCharLanguage(int32_t row, int32_t col, char* buffer, uint32_t size) const;

    // ---- the strings ----
    const std::vector<MetaString>& Strings() const { return strings_; }
    // The string at row, or null when row is not a string index.
    const MetaString* StringAt(int32_t row) const;
    // The same for changing it: counts as an edit.
    MetaString* EditString(int32_t row);
    std::vector<MetaString>& EditStrings() {
        ++revision_;
        return strings_;
    }
    uint64_t Revision() const { return revision_; }

private:
    // The string at row for what is not an edit: the key-frame cursor and time evaluation.
    MetaString* At(int32_t row) {
        return row >= 0 && static_cast<size_t>(row) < strings_.size() ? &strings_[static_cast<size_t>(row)] : nullptr;
    }
    // The string to edit over characters [first, first + count), the range widened to whole
    // surrogate pairs: null without counting as an edit when the row or range is invalid
    // (*result E_INVALIDARG) or the range is empty (*result S_OK, nothing to do).
    MetaString* EditRange(int32_t row, int32_t& first, int32_t& count, HRESULT* result);
    bool DefaultVertical() const { return defaultString_.Vertical != 0; }
    // A request whose face is not installed takes the default GUI font's face and character set.
    bool InstalledOrGuiFont(FontSpec& spec) const;
    // Line breaking and layout with the defaults for new text, as editing does.
    void BreakForEdit(MetaString& s, int32_t start, int32_t count);
    void LayoutForEdit(MetaString& s);
    // The whole string measured, broken and laid out again in its own direction.
    void RemeasureString(MetaString& s);
    void UpdateRotation(MetaString& s) const;

    FontSpec defaultFont_{};
    std::string defaultLanguage_;  // of new text and ApplyFont, beside defaultFont_ (qel.text)
    MetaFace defaultFace_{};
    MetaBorder defaultBorder_{};
    MetaShadow defaultShadow_{};
    CharSpacing defaultSpacing_{};
    ParagraphAttrs defaultParagraph_{};
    StringAttrs defaultString_{};
    RenderSettings settings_{};
    bool remeasurePending_ = false;
    std::vector<MetaString> strings_;
    std::map<std::u16string, int32_t> faceNames_;
    uint64_t revision_ = 0;
};

}  // namespace qel
