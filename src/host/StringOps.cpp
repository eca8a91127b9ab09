// Editing operations: slots 0-4 and 13-20, and the string-level helpers they share with loading.
//
// Every edit follows the same course: validate the indices, change the model (style entries are
// interned per string and released when no character uses them any more), re-break lines from the
// edited point where the edit can move text, lay the string out again, flag the characters whose
// images must be rebuilt and drop the composed-frame cache.
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

#include "host/Boundary.h"
#include "host/TitleHost.h"
#include "model/Fonts.h"

namespace qel {
namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr size_t kMaxChars = static_cast<size_t>(std::numeric_limits<int32_t>::max());

// (first, count) names characters of s: 0 <= first < N and first + count <= N, in 64 bits.
bool ValidRange(const MetaString& s, int32_t first, int32_t count) {
    const int64_t n = static_cast<int64_t>(s.chars.size());
    return first >= 0 && first < n && count >= 0 && int64_t{first} + count <= n;
}

// One font per code unit: the base font of `spec`, or a linked font where the base font lacks the
// code unit. Without a font linker every code unit keeps the base font.
void ResolveFonts(FontLinker& linker, const FontSpec& spec, const char16_t* text, size_t count,
                  MetaFont* out) {
    if (count == 0) return;
    if (linker.Valid()) {
        (void)ResolveCharFonts(linker, text, static_cast<int32_t>(count), kDesignHeight, spec, out);
        return;
    }
    MetaFont base;
    (void)MakeFont(kDesignHeight, spec, &base);
    for (size_t i = 0; i < count; ++i) out[i] = base;
}

// A loaded title may arrive with fewer prepared-glyph records than characters.
void EnsureGlyphs(MetaString& s) {
    if (s.Glyphs.size() != s.chars.size()) s.Glyphs.resize(s.chars.size());
}

void SetDirty(MetaString& s, int32_t first, int32_t count, uint8_t bits) {
    EnsureGlyphs(s);
    for (int32_t i = first; i < first + count; ++i) s.Glyphs[static_cast<size_t>(i)].DirtyBits |= bits;
}

// The character count from `first` to the end of the paragraph that holds character `last`.
int32_t CountToParagraphEnd(const MetaString& s, int32_t first, int32_t last) {
    const MetaLine& line = s.lines[static_cast<size_t>(s.chars[static_cast<size_t>(last)].LineIndex)];
    const MetaParagraph& para = s.paragraphs[static_cast<size_t>(line.ParagraphIndex)];
    return s.lines[static_cast<size_t>(para.LineEnd)].CharEnd - first + 1;
}

void EraseLines(MetaString& s, size_t from, size_t to) {
    s.lines.erase(s.lines.begin() + static_cast<ptrdiff_t>(from), s.lines.begin() + static_cast<ptrdiff_t>(to));
}

void EraseParagraphs(MetaString& s, size_t from, size_t to) {
    s.paragraphs.erase(s.paragraphs.begin() + static_cast<ptrdiff_t>(from),
                       s.paragraphs.begin() + static_cast<ptrdiff_t>(to));
}

// The body of ApplyFace, ApplyBorder and ApplyShadow: the characters of the range take `entry`
// from the string's table, entries only the range used are released, and the images that depend
// on the style are flagged. An empty range adds no entry, since nothing would use it.
template <class Entry>
HRESULT ApplyStyleEntry(MetaString* s, int32_t first, int32_t count, std::vector<Entry> MetaString::*table,
                        const Entry& entry, int32_t MetaCharacter::*index,
                        void (*release)(MetaString&, int32_t, int32_t), uint8_t dirtyBits,
                        int32_t& cacheValid) {
    if (!s || !ValidRange(*s, first, count)) return E_INVALIDARG;
    cacheValid = 0;
    if (count == 0) return S_OK;
    release(*s, first, count);
    const int32_t e = FindOrAdd((*s).*table, entry);
    for (int32_t i = first; i < first + count; ++i) s->chars[static_cast<size_t>(i)].*index = e;
    SetDirty(*s, first, count, dirtyBits);
    return S_OK;
}

// Whole-title passes (re-measuring after a settings change, the refresh after a load) measure
// and break each string in its own direction. Editing operations take the direction of the
// defaults for new text; a pass over existing strings must not, or a vertical string in a host set
// up for horizontal text would have its characters turned on their side. Line breaking reads the
// direction from the defaults, so it is lent to each string in turn and given back at the end,
// exceptions included.
class StringDirection {
public:
    explicit StringDirection(StringAttrs& defaults) : defaults_(defaults), saved_(defaults.Vertical) {}
    ~StringDirection() { defaults_.Vertical = saved_; }
    StringDirection(const StringDirection&) = delete;
    StringDirection& operator=(const StringDirection&) = delete;

    bool Use(const MetaString& s) {
        defaults_.Vertical = s.Vertical;
        return s.Vertical != 0;
    }

private:
    StringAttrs& defaults_;
    int32_t saved_;
};

}  // namespace

int32_t TitleHost::AddString() noexcept {
    return GuardValue<int32_t>(-1, [&]() -> int32_t {
        if (Strings.size() >= kMaxChars) return -1;
        MetaString s;
        s.Left = DefaultString.Left;
        s.Top = DefaultString.Top;
        s.WidthLimit = DefaultString.WidthLimit;
        s.RotateDegree = DefaultString.RotateDegree;
        s.Vertical = DefaultString.Vertical;
        std::memcpy(s.PathID, DefaultString.PathID, sizeof s.PathID);
        s.PathProgress = DefaultString.PathProgress;
        std::memcpy(s.MaskFile, DefaultString.MaskFile, sizeof s.MaskFile);
        Strings.push_back(std::move(s));
        const int32_t row = static_cast<int32_t>(Strings.size() - 1);
        UpdateRotation(Strings.back());
        LayoutString(row);
        CacheValid = 0;
        return row;
    });
}

HRESULT TitleHost::ClearString(int32_t row) noexcept {
    return Guard([&]() -> HRESULT {
        MetaString* s = StringAt(row);
        if (!s) return E_INVALIDARG;
        ReleaseStringResources(*s);
        s->chars.clear();
        s->lines.clear();
        s->paragraphs.clear();
        s->fonts.clear();
        s->faces.clear();
        s->borders.clear();
        s->shadows.clear();
        EraseAllKeyFrames(*s);
        CacheValid = 0;
        return S_OK;
    });
}

int32_t TitleHost::RemoveAllStrings() noexcept {
    for (int32_t row = 0; row < static_cast<int32_t>(Strings.size()); ++row) ClearString(row);
    Strings.clear();
    return 0;
}

int32_t TitleHost::InsertText(int32_t row, int32_t col, const char16_t* text) noexcept {
    return GuardValue<int32_t>(0, [&]() -> int32_t {
        MetaString* sp = StringAt(row);
        if (!sp) return 0;
        MetaString& s = *sp;
        const size_t n = s.chars.size();
        if (!text || !text[0] || col < 0 || static_cast<size_t>(col) > n) return static_cast<int32_t>(n);
        const size_t len = std::char_traits<char16_t>::length(text);
        if (len > kMaxChars - n) return static_cast<int32_t>(n);

        CacheValid = 0;
        EnsureGlyphs(s);
        if (n == 0) {
            s.lines.clear();
            s.paragraphs.clear();
            InsertParagraph(s, 0, DefaultParagraph);
            InsertLine(s, 0);
        } else if (!StructureValid(s)) {
            // A title loaded with inconsistent line or paragraph records: rebuild them from the
            // text (keeping the paragraphs' attributes) rather than index outside the vectors.
            RebuildStructure(s, DefaultParagraph);
        }
        const int32_t line = col > 0 ? s.chars[static_cast<size_t>(col) - 1].LineIndex : 0;
        const int32_t face = FindOrAdd(s.faces, DefaultFace);
        const int32_t border = FindOrAdd(s.borders, DefaultBorder);
        const int32_t shadow = FindOrAdd(s.shadows, DefaultShadow);

        std::vector<MetaFont> fonts(len);
        {
            FontLinker linker;
            ResolveFonts(linker, DefaultFont, text, len, fonts.data());
        }

        std::vector<MetaCharacter> added(len);
        const bool vertical = s.Vertical != 0;
        for (size_t i = 0; i < len; ++i) {
            MetaCharacter& c = added[i];
            c.Value = static_cast<uint16_t>(text[i]);
            // Runs of one font are common: only a change of font needs a table search.
            const bool sameAsPrevious = i > 0 && std::memcmp(&fonts[i], &fonts[i - 1], sizeof(MetaFont)) == 0;
            c.FontIndex = sameAsPrevious ? added[i - 1].FontIndex : FindOrAdd(s.fonts, fonts[i]);
            MeasureCharacter(c, fonts[i], vertical);
            c.WidthScale = DefaultSpacing.WidthScale;
            c.Spacing = DefaultSpacing.Spacing;
            c.LineIndex = line;
            c.FaceIndex = face;
            c.BorderIndex = border;
            c.ShadowIndex = shadow;
        }
        const auto at = static_cast<ptrdiff_t>(col);
        s.chars.insert(s.chars.begin() + at, added.begin(), added.end());
        std::vector<PreparedGlyph> glyphs(len);
        s.Glyphs.insert(s.Glyphs.begin() + at, std::make_move_iterator(glyphs.begin()),
                        std::make_move_iterator(glyphs.end()));

        BreakLines(row, col, static_cast<int32_t>(len));
        LayoutString(row);
        return static_cast<int32_t>(s.chars.size());
    });
}

int32_t TitleHost::DeleteText(int32_t row, int32_t col, int32_t count) noexcept {
    return GuardValue<int32_t>(0, [&]() -> int32_t {
        MetaString* sp = StringAt(row);
        if (!sp || !ValidRange(*sp, col, count)) return 0;
        MetaString& s = *sp;
        if (count == 0) return static_cast<int32_t>(s.chars.size());

        CacheValid = 0;
        EnsureGlyphs(s);
        if (!StructureValid(s)) RebuildStructure(s, DefaultParagraph);
        ReleaseFontEntries(s, col, count);
        ReleaseFaceEntries(s, col, count);
        ReleaseBorderEntries(s, col, count);
        ReleaseShadowEntries(s, col, count);

        // Merge every paragraph and line the range touches into the first of them. A range that
        // starts at the LF of a pair starts in the CR's paragraph; one that ends at the CR of a
        // pair whose LF stays ends in the LF's paragraph.
        const size_t first = static_cast<size_t>(col);
        const size_t last = first + static_cast<size_t>(count) - 1;
        auto lineOf = [&](size_t c) { return static_cast<size_t>(s.chars[c].LineIndex); };
        auto paragraphOf = [&](size_t c) { return static_cast<size_t>(s.lines[lineOf(c)].ParagraphIndex); };
        const size_t la = IsPairLF(s, first) ? lineOf(first - 1) : lineOf(first);
        const size_t pa = static_cast<size_t>(s.lines[la].ParagraphIndex);
        const size_t pz = IsPairCR(s, last) ? paragraphOf(last + 1) : paragraphOf(last);
        const size_t lz = static_cast<size_t>(s.paragraphs[pz].LineEnd);
        const int32_t mergedEnd = s.lines[lz].CharEnd;  // last character of the merged paragraph
        const int32_t lineShift = static_cast<int32_t>(lz - la);
        const int32_t paragraphShift = static_cast<int32_t>(pz - pa);

        // The last paragraph's record (with its attributes) and the last line's record remain.
        // The merged paragraph ends at the merged line, not at its own first line: the soft-broken
        // lines in front of La stay inside it, so the records agree with each other at every step.
        s.paragraphs[pz].LineStart = s.paragraphs[pa].LineStart;
        s.paragraphs[pz].LineEnd = static_cast<int32_t>(la);
        EraseParagraphs(s, pa, pz);
        s.lines[lz].CharStart = s.lines[la].CharStart;
        EraseLines(s, la, lz);
        for (size_t l = la; l < s.lines.size(); ++l) s.lines[l].ParagraphIndex -= paragraphShift;
        for (size_t p = pa + 1; p < s.paragraphs.size(); ++p) {
            s.paragraphs[p].LineStart -= lineShift;
            s.paragraphs[p].LineEnd -= lineShift;
        }
        for (size_t c = last + 1; c < s.chars.size(); ++c) {
            MetaCharacter& ch = s.chars[c];
            ch.LineIndex = ch.LineIndex <= static_cast<int32_t>(lz) ? static_cast<int32_t>(la) : ch.LineIndex - lineShift;
        }

        s.chars.erase(s.chars.begin() + static_cast<ptrdiff_t>(first), s.chars.begin() + static_cast<ptrdiff_t>(last + 1));
        s.Glyphs.erase(s.Glyphs.begin() + static_cast<ptrdiff_t>(first),
                       s.Glyphs.begin() + static_cast<ptrdiff_t>(last + 1));
        const int32_t n = static_cast<int32_t>(s.chars.size());
        if (n == 0) {
            s.lines.clear();
            s.paragraphs.clear();
            LayoutString(row);
            return 0;
        }

        // The merged line holds everything up to the end of the merged paragraph; the lines after
        // it move down by the removed count.
        s.lines[la].CharEnd = mergedEnd - count;
        for (size_t l = la + 1; l < s.lines.size(); ++l) {
            s.lines[l].CharStart -= count;
            s.lines[l].CharEnd -= count;
        }
        if (s.lines[la].CharEnd < s.lines[la].CharStart) {
            // The range took a whole soft-broken last line: drop the empty record.
            EraseLines(s, la, la + 1);
            s.paragraphs[pa].LineEnd -= 1;
            if (s.paragraphs[pa].LineEnd < s.paragraphs[pa].LineStart) EraseParagraphs(s, pa, pa + 1);
            if (!StructureValid(s)) RebuildStructure(s, DefaultParagraph);
        }

        if (col < n) {
            BreakLines(row, col, std::max(mergedEnd - count - col + 1, 0));
        } else {
            BreakLines(row, n - 1, 1);
        }
        LayoutString(row);
        return n;
    });
}

HRESULT TitleHost::ApplyFont(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&]() -> HRESULT {
        MetaString* sp = StringAt(row);
        if (!sp || !ValidRange(*sp, first, count)) return E_INVALIDARG;
        MetaString& s = *sp;
        CacheValid = 0;
        if (count == 0) return S_OK;
        EnsureGlyphs(s);
        if (!StructureValid(s)) RebuildStructure(s, DefaultParagraph);
        ReleaseFontEntries(s, first, count);

        std::u16string text(static_cast<size_t>(count), u'\0');
        for (int32_t i = 0; i < count; ++i) text[static_cast<size_t>(i)] = s.chars[static_cast<size_t>(first + i)].Value;
        std::vector<MetaFont> fonts(text.size());
        {
            FontLinker linker;
            ResolveFonts(linker, DefaultFont, text.data(), text.size(), fonts.data());
        }
        const bool vertical = DefaultString.Vertical != 0;
        for (int32_t i = 0; i < count; ++i) {
            const size_t c = static_cast<size_t>(first + i);
            MeasureCharacter(s.chars[c], fonts[static_cast<size_t>(i)], vertical);
            s.chars[c].FontIndex = FindOrAdd(s.fonts, fonts[static_cast<size_t>(i)]);
            s.Glyphs[c].DirtyBits = kDirtyAll;
        }
        BreakLines(row, first, CountToParagraphEnd(s, first, first + count - 1));
        LayoutString(row);
        return S_OK;
    });
}

HRESULT TitleHost::ApplyFace(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&] {
        return ApplyStyleEntry(StringAt(row), first, count, &MetaString::faces, DefaultFace,
                               &MetaCharacter::FaceIndex, ReleaseFaceEntries, kDirtyFace, CacheValid);
    });
}

// The shadow is cast by the border too, so both images are rebuilt.
HRESULT TitleHost::ApplyBorder(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&] {
        return ApplyStyleEntry(StringAt(row), first, count, &MetaString::borders, DefaultBorder,
                               &MetaCharacter::BorderIndex, ReleaseBorderEntries,
                               uint8_t{kDirtyBorder | kDirtyShadow}, CacheValid);
    });
}

HRESULT TitleHost::ApplyShadow(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&] {
        return ApplyStyleEntry(StringAt(row), first, count, &MetaString::shadows, DefaultShadow,
                               &MetaCharacter::ShadowIndex, ReleaseShadowEntries, kDirtyShadow, CacheValid);
    });
}

HRESULT TitleHost::ApplySpacing(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&]() -> HRESULT {
        MetaString* sp = StringAt(row);
        if (!sp || !ValidRange(*sp, first, count)) return E_INVALIDARG;
        MetaString& s = *sp;
        CacheValid = 0;
        if (count == 0) return S_OK;
        if (!StructureValid(s)) RebuildStructure(s, DefaultParagraph);
        for (int32_t i = first; i < first + count; ++i) {
            s.chars[static_cast<size_t>(i)].WidthScale = DefaultSpacing.WidthScale;
            s.chars[static_cast<size_t>(i)].Spacing = DefaultSpacing.Spacing;
        }
        SetDirty(s, first, count, kDirtyAll);
        BreakLines(row, first, CountToParagraphEnd(s, first, first + count - 1));
        LayoutString(row);
        return S_OK;
    });
}

HRESULT TitleHost::ApplyParagraph(int32_t row, int32_t first, int32_t count) noexcept {
    return Guard([&]() -> HRESULT {
        MetaString* sp = StringAt(row);
        if (!sp || !ValidRange(*sp, first, count)) return E_INVALIDARG;
        MetaString& s = *sp;
        CacheValid = 0;
        if (count == 0) return S_OK;
        if (!StructureValid(s)) RebuildStructure(s, DefaultParagraph);
        auto paragraphOf = [&](int32_t c) {
            return s.lines[static_cast<size_t>(s.chars[static_cast<size_t>(c)].LineIndex)].ParagraphIndex;
        };
        const int32_t last = first + count - 1;
        for (int32_t p = paragraphOf(first); p <= paragraphOf(last); ++p) {
            s.paragraphs[static_cast<size_t>(p)].SetAttrs(DefaultParagraph);
        }
        BreakLines(row, first, CountToParagraphEnd(s, first, last));
        LayoutString(row);
        return S_OK;
    });
}

HRESULT TitleHost::ApplyString(int32_t row) noexcept {
    return Guard([&]() -> HRESULT {
        MetaString* sp = StringAt(row);
        if (!sp) return E_INVALIDARG;
        MetaString& s = *sp;
        CacheValid = 0;
        EnsureGlyphs(s);
        if (DefaultString.Vertical != s.Vertical) {
            // Characters below 128 lie on their side in a column: their extents swap.
            for (size_t c = 0; c < s.chars.size(); ++c) {
                MeasureCharacter(s.chars[c], FontOf(s, s.chars[c]), DefaultString.Vertical != 0);
                s.Glyphs[c].DirtyBits = kDirtyAll;
            }
        }
        const bool rotated = std::memcmp(&s.RotateDegree, &DefaultString.RotateDegree, sizeof(float)) != 0;
        s.Left = DefaultString.Left;
        s.Top = DefaultString.Top;
        s.WidthLimit = DefaultString.WidthLimit;
        s.RotateDegree = DefaultString.RotateDegree;
        s.Vertical = DefaultString.Vertical;
        std::memcpy(s.PathID, DefaultString.PathID, sizeof s.PathID);
        s.PathProgress = DefaultString.PathProgress;
        std::memcpy(s.MaskFile, DefaultString.MaskFile, sizeof s.MaskFile);
        UpdateRotation(s);
        if (rotated) {
            for (PreparedGlyph& g : s.Glyphs) g.DirtyBits = kDirtyAll;
        }
        LayoutString(row);
        return S_OK;
    });
}

HRESULT TitleHost::RemeasureAll() noexcept {
    return Guard([&]() -> HRESULT {
        if (!RemeasurePending) return S_OK;
        StringDirection direction(DefaultString);
        for (int32_t row = 0; row < static_cast<int32_t>(Strings.size()); ++row) {
            MetaString& s = Strings[static_cast<size_t>(row)];
            const bool vertical = direction.Use(s);
            EnsureGlyphs(s);
            for (size_t c = 0; c < s.chars.size(); ++c) {
                MeasureCharacter(s.chars[c], FontOf(s, s.chars[c]), vertical);
                s.Glyphs[c].DirtyBits = kDirtyAll;
            }
            UpdateRotation(s);
            if (!s.chars.empty()) BreakLines(row, 0, static_cast<int32_t>(s.chars.size()));
            LayoutString(row);
        }
        RemeasurePending = 0;
        return S_OK;
    });
}

void TitleHost::UpdateRotation(MetaString& s) {
    const double radians = -static_cast<double>(s.RotateDegree) * kRadiansPerDegree;
    s.RotSin = static_cast<float>(std::sin(radians));
    s.RotCos = static_cast<float>(std::cos(radians));
    const RectF box = StringFrameRect(s);
    s.RotOriginX = box.x;
    s.RotOriginY = box.y;
}

// Every character's font is resolved and measured again on this machine, as if each character in
// turn had its own font applied (a face missing here is replaced by the GUI font's). Applying the
// fonts one by one and breaking lines once per string gives the same result as re-breaking after
// every character: each pass re-breaks from its paragraph's start, and the last pass over a
// paragraph already sees all of its final extents.
void TitleHost::RefreshFontsAfterLoad() {
    const FontSpec remembered = DefaultFont;
    // The default font is borrowed below and given back on every way out, exceptions included.
    struct RestoreFont {
        FontSpec& target;
        FontSpec saved;
        ~RestoreFont() { target = saved; }
    } restoreFont{DefaultFont, remembered};
    StringDirection direction(DefaultString);
    FontLinker linker;
    for (int32_t row = 0; row < static_cast<int32_t>(Strings.size()); ++row) {
        MetaString& s = Strings[static_cast<size_t>(row)];
        if (s.chars.empty()) continue;
        EnsureGlyphs(s);
        const bool vertical = direction.Use(s);
        for (size_t c = 0; c < s.chars.size(); ++c) {
            MetaCharacter& ch = s.chars[c];
            FontSpec spec = remembered;
            if (ch.FontIndex >= 0 && static_cast<size_t>(ch.FontIndex) < s.fonts.size()) {
                const MetaFont& font = s.fonts[static_cast<size_t>(ch.FontIndex)];
                spec = ReportFont(font);
                spec.Bold = font.LogFont.lfWeight == 700 ? 1 : 0;
            }
            SetDefaultFont(&spec);

            ReleaseFontEntries(s, static_cast<int32_t>(c), 1);
            MetaFont font;
            const char16_t code = ch.Value;
            ResolveFonts(linker, DefaultFont, &code, 1, &font);
            MeasureCharacter(ch, font, vertical);
            ch.FontIndex = FindOrAdd(s.fonts, font);
            s.Glyphs[c].DirtyBits = kDirtyAll;
        }
        BreakLines(row, 0, static_cast<int32_t>(s.chars.size()));
        LayoutString(row);
    }
    CacheValid = 0;
}

void TitleHost::ReleaseStringResources(MetaString& s) {
    s.Effect.reset();
    for (PreparedGlyph& g : s.Glyphs) g.FreeImages();
    s.Glyphs.clear();
    s.Layers.Reset();
}

}  // namespace qel
