// Editing the title: strings, text, styles, and the passes over whole titles after a settings
// change or a load.
//
// Every edit follows the same course: validate the indices, change the model (style entries are
// interned per string and released when no character uses them any more), re-break lines from the
// edited point where the edit can move text and lay the string out again. Editing breaks lines in
// the direction of the defaults for new text; passes over whole titles use each string's own.
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

#include "model/EditRollback.h"
#include "model/Fonts.h"
#include "model/Layout.h"
#include "model/Plates.h"
#include "model/Title.h"
#include "platform/Shaper.h"

namespace qel {
namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr size_t kMaxChars = static_cast<size_t>(std::numeric_limits<int32_t>::max());

// (first, count) names characters of s: 0 <= first < N and first + count <= N, in 64 bits.
// A range that would split a surrogate pair is widened to take the whole pair, so an edit never
// leaves half of a character behind.
bool ValidRange(const MetaString& s, int32_t& first, int32_t& count) {
    const int64_t n = static_cast<int64_t>(s.chars.size());
    if (!(first >= 0 && first < n && count >= 0 && int64_t{first} + count <= n)) return false;
    if (count > 0 && IsPairTail(s, size_t(first))) --first, ++count;
    if (count > 0 && IsPairLead(s, size_t(first) + size_t(count) - 1)) ++count;
    return true;
}

// One font per code unit: the base font of `spec`, or a linked font where the base font lacks the
// code unit, for the text's language (empty: none). Without a font linker every code unit keeps
// the base font.
void ResolveFonts(FontLinker& linker, const FontSpec& spec, const char16_t* text, size_t count, MetaFont* out,
                  const std::string& language) {
    if (count == 0) return;
    const char* tag = language.empty() ? nullptr : language.c_str();
    if (linker.Valid()) {
        (void)ResolveCharFonts(linker, text, static_cast<int32_t>(count), kDesignHeight, spec, out, tag);
        return;
    }
    MetaFont base;
    (void)MakeFont(kDesignHeight, spec, &base);
    if (tag) std::strncpy(base.Language, tag, QEL_MAX_LANGUAGE);
    for (size_t i = 0; i < count; ++i) out[i] = base;
}

// An edit that brings a lone high surrogate and a lone low one together makes them one
// character, which must stand as if it had been typed whole: both units in the font that links
// for the code point from the lead's font, the tail with the lead's face, border, shadow and
// spacing. Left as they were, the tail kept the font it had alone, and a taller font there raised
// its line's baseline above the line's height (the tail takes no height), so the line's other
// characters stood below their line's box.
void JoinPair(MetaString& s, size_t lead) {
    if (!IsPairLead(s, lead)) return;
    const int32_t tail = static_cast<int32_t>(lead) + 1;
    ReleaseFaceEntries(s, tail, 1);
    ReleaseBorderEntries(s, tail, 1);
    ReleaseShadowEntries(s, tail, 1);
    MetaCharacter& t = s.chars[size_t(tail)];
    const MetaCharacter& l = s.chars[lead];
    t.FaceIndex = l.FaceIndex;
    t.BorderIndex = l.BorderIndex;
    t.ShadowIndex = l.ShadowIndex;
    t.WidthScale = l.WidthScale;
    t.Spacing = l.Spacing;

    const MetaFont& leadFont = FontOf(s, l);
    const FontSpec spec = ReportFont(leadFont);
    const std::string language(leadFont.Language, strnlen(leadFont.Language, sizeof leadFont.Language));
    const char16_t units[2] = {char16_t(l.Value), char16_t(t.Value)};
    MetaFont fonts[2];
    {
        FontLinker linker;
        ResolveFonts(linker, spec, units, 2, fonts, language);
    }
    ReleaseFontEntries(s, tail - 1, 2);
    for (size_t k = 0; k < 2; ++k) s.chars[lead + k].FontIndex = FindOrAdd(s.fonts, fonts[k]);
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
// from the string's table and entries only the range used are released. An empty range adds no
// entry, since nothing would use it.
template <class Entry>
void ApplyStyleEntry(MetaString* s, int32_t first, int32_t count, std::vector<Entry> MetaString::*table,
                     const Entry& entry, int32_t MetaCharacter::*index,
                     void (*release)(MetaString&, int32_t, int32_t)) {
    EditRollback rollback(*s);
    release(*s, first, count);
    const int32_t e = FindOrAdd((*s).*table, entry);
    for (int32_t i = first; i < first + count; ++i) s->chars[static_cast<size_t>(i)].*index = e;
}

// The string-level attributes of a string: position, width limit, angle, direction, path, mask.
void TakeStringAttrs(MetaString& s, const StringAttrs& a) {
    s.Left = a.Left;
    s.Top = a.Top;
    s.WidthLimit = a.WidthLimit;
    s.RotateDegree = a.RotateDegree;
    s.Vertical = a.Vertical;
    std::memcpy(s.PathID, a.PathID, sizeof s.PathID);
    s.PathProgress = a.PathProgress;
    std::memcpy(s.MaskFile, a.MaskFile, sizeof s.MaskFile);
}

}  // namespace

MetaString* Title::EditRange(int32_t row, int32_t& first, int32_t& count, HRESULT* result) {
    const MetaString* s = StringAt(row);
    *result = s && ValidRange(*s, first, count) ? S_OK : E_INVALIDARG;
    return *result == S_OK && count > 0 ? EditString(row) : nullptr;
}

int32_t Title::AddString() {
    if (strings_.size() >= kMaxChars) return -1;
    MetaString s;
    TakeStringAttrs(s, defaultString_);
    UpdateRotation(s);
    LayoutForEdit(s);
    EditStrings().push_back(std::move(s));
    return static_cast<int32_t>(strings_.size() - 1);
}

HRESULT Title::ClearString(int32_t row) {
    MetaString* s = EditString(row);
    if (!s) return E_INVALIDARG;
    s->chars.clear();
    s->lines.clear();
    s->paragraphs.clear();
    s->fonts.clear();
    s->faces.clear();
    s->borders.clear();
    s->shadows.clear();
    EraseAllKeyFrames(*s);
    PlatesAfterClear(*s);
    return S_OK;
}

void Title::RemoveAllStrings() { EditStrings().clear(); }

int32_t Title::InsertText(int32_t row, int32_t col, const char16_t* text) {
    const MetaString* current = StringAt(row);
    if (!current) return 0;
    const size_t n = current->chars.size();
    if (!text || !text[0] || col < 0 || static_cast<size_t>(col) > n) return static_cast<int32_t>(n);
    const size_t len = std::char_traits<char16_t>::length(text);
    if (len > kMaxChars - n) return static_cast<int32_t>(n);
    // Inserting between the two halves of a surrogate pair would leave both lone: refused.
    if (col > 0 && IsPairLead(*current, static_cast<size_t>(col) - 1)) return static_cast<int32_t>(n);
    MetaString& s = *EditString(row);
    EditRollback rollback(s);

    if (n == 0) {
        s.lines.clear();
        s.paragraphs.clear();
        InsertParagraph(s, 0, defaultParagraph_);
        InsertLine(s, 0);
    } else if (!StructureValid(s)) {
        // A title loaded with inconsistent line or paragraph records: rebuild them from the
        // text (keeping the paragraphs' attributes) rather than index outside the vectors.
        RebuildStructure(s, defaultParagraph_);
    }
    const int32_t line = col > 0 ? s.chars[static_cast<size_t>(col) - 1].LineIndex : 0;
    const int32_t face = FindOrAdd(s.faces, defaultFace_);
    const int32_t border = FindOrAdd(s.borders, defaultBorder_);
    const int32_t shadow = FindOrAdd(s.shadows, defaultShadow_);

    std::vector<MetaFont> fonts(len);
    {
        FontLinker linker;
        ResolveFonts(linker, defaultFont_, text, len, fonts.data(), defaultLanguage_);
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
        c.WidthScale = defaultSpacing_.WidthScale;
        c.Spacing = defaultSpacing_.Spacing;
        c.LineIndex = line;
        c.FaceIndex = face;
        c.BorderIndex = border;
        c.ShadowIndex = shadow;
    }
    s.chars.insert(s.chars.begin() + static_cast<ptrdiff_t>(col), added.begin(), added.end());
    // The text may complete a pair at either end (never inside a pair: that is refused above).
    if (col > 0) JoinPair(s, size_t(col) - 1);
    JoinPair(s, size_t(col) + len - 1);
    MeasureSurrogates(s, size_t(col), size_t(col) + len - 1, vertical);
    PlatesAfterInsert(s, col, static_cast<int32_t>(len));

    BreakForEdit(s, col, static_cast<int32_t>(len));
    LayoutForEdit(s);
    return static_cast<int32_t>(s.chars.size());
}

int32_t Title::DeleteText(int32_t row, int32_t col, int32_t count) {
    HRESULT valid;
    MetaString* sp = EditRange(row, col, count, &valid);
    if (!sp) return valid == S_OK ? static_cast<int32_t>(StringAt(row)->chars.size()) : 0;
    MetaString& s = *sp;
    EditRollback rollback(s);

    if (!StructureValid(s)) RebuildStructure(s, defaultParagraph_);
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
    PlatesAfterDelete(s, col, count);
    const int32_t n = static_cast<int32_t>(s.chars.size());
    if (n == 0) {
        s.lines.clear();
        s.paragraphs.clear();
        LayoutForEdit(s);
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
        if (!StructureValid(s)) RebuildStructure(s, defaultParagraph_);
    }

    // The characters that now meet may form a surrogate pair.
    if (col > 0 && col < n) JoinPair(s, size_t(col) - 1);
    MeasureSurrogates(s, size_t(std::min(col, n - 1)), size_t(std::min(col, n - 1)), s.Vertical != 0);
    if (col < n) {
        BreakForEdit(s, col, std::max(mergedEnd - count - col + 1, 0));
    } else {
        BreakForEdit(s, n - 1, 1);
    }
    LayoutForEdit(s);
    return n;
}

HRESULT Title::ApplyFont(int32_t row, int32_t first, int32_t count) {
    HRESULT valid;
    MetaString* sp = EditRange(row, first, count, &valid);
    if (!sp) return valid;
    MetaString& s = *sp;
    EditRollback rollback(s);
    if (!StructureValid(s)) RebuildStructure(s, defaultParagraph_);
    ReleaseFontEntries(s, first, count);

    std::u16string text(static_cast<size_t>(count), u'\0');
    for (int32_t i = 0; i < count; ++i) text[static_cast<size_t>(i)] = s.chars[static_cast<size_t>(first + i)].Value;
    std::vector<MetaFont> fonts(text.size());
    {
        FontLinker linker;
        ResolveFonts(linker, defaultFont_, text.data(), text.size(), fonts.data(), defaultLanguage_);
    }
    const bool vertical = defaultString_.Vertical != 0;
    for (int32_t i = 0; i < count; ++i) {
        const size_t c = static_cast<size_t>(first + i);
        MeasureCharacter(s.chars[c], fonts[static_cast<size_t>(i)], vertical);
        s.chars[c].FontIndex = FindOrAdd(s.fonts, fonts[static_cast<size_t>(i)]);
    }
    MeasureSurrogates(s, size_t(first), size_t(first + count - 1), vertical);
    BreakForEdit(s, first, CountToParagraphEnd(s, first, first + count - 1));
    LayoutForEdit(s);
    return S_OK;
}

HRESULT Title::ApplyFace(int32_t row, int32_t first, int32_t count) {
    HRESULT valid;
    if (MetaString* s = EditRange(row, first, count, &valid)) {
        ApplyStyleEntry(s, first, count, &MetaString::faces, defaultFace_, &MetaCharacter::FaceIndex, ReleaseFaceEntries);
    }
    return valid;
}

HRESULT Title::ApplyBorder(int32_t row, int32_t first, int32_t count) {
    HRESULT valid;
    if (MetaString* s = EditRange(row, first, count, &valid)) {
        ApplyStyleEntry(s, first, count, &MetaString::borders, defaultBorder_, &MetaCharacter::BorderIndex, ReleaseBorderEntries);
    }
    return valid;
}

HRESULT Title::ApplyShadow(int32_t row, int32_t first, int32_t count) {
    HRESULT valid;
    if (MetaString* s = EditRange(row, first, count, &valid)) {
        ApplyStyleEntry(s, first, count, &MetaString::shadows, defaultShadow_, &MetaCharacter::ShadowIndex, ReleaseShadowEntries);
    }
    return valid;
}

HRESULT Title::ApplySpacing(int32_t row, int32_t first, int32_t count) {
    HRESULT valid;
    MetaString* sp = EditRange(row, first, count, &valid);
    if (!sp) return valid;
    MetaString& s = *sp;
    EditRollback rollback(s);
    if (!StructureValid(s)) RebuildStructure(s, defaultParagraph_);
    for (int32_t i = first; i < first + count; ++i) {
        s.chars[static_cast<size_t>(i)].WidthScale = defaultSpacing_.WidthScale;
        s.chars[static_cast<size_t>(i)].Spacing = defaultSpacing_.Spacing;
    }
    BreakForEdit(s, first, CountToParagraphEnd(s, first, first + count - 1));
    LayoutForEdit(s);
    return S_OK;
}

HRESULT Title::ApplyParagraph(int32_t row, int32_t first, int32_t count) {
    HRESULT valid;
    MetaString* sp = EditRange(row, first, count, &valid);
    if (!sp) return valid;
    MetaString& s = *sp;
    EditRollback rollback(s);
    if (!StructureValid(s)) RebuildStructure(s, defaultParagraph_);
    auto paragraphOf = [&](int32_t c) {
        return s.lines[static_cast<size_t>(s.chars[static_cast<size_t>(c)].LineIndex)].ParagraphIndex;
    };
    const int32_t last = first + count - 1;
    for (int32_t p = paragraphOf(first); p <= paragraphOf(last); ++p) {
        s.paragraphs[static_cast<size_t>(p)].SetAttrs(defaultParagraph_);
    }
    BreakForEdit(s, first, CountToParagraphEnd(s, first, last));
    LayoutForEdit(s);
    return S_OK;
}

HRESULT Title::ApplyString(int32_t row) {
    MetaString* sp = EditString(row);
    if (!sp) return E_INVALIDARG;
    MetaString& s = *sp;
    EditRollback rollback(s);
    if (defaultString_.Vertical != s.Vertical) {
        // Characters below 128 lie on their side in a column: their extents swap.
        for (size_t c = 0; c < s.chars.size(); ++c) {
            MeasureCharacter(s.chars[c], FontOf(s, s.chars[c]), defaultString_.Vertical != 0);
        }
        if (!s.chars.empty()) MeasureSurrogates(s, 0, s.chars.size() - 1, defaultString_.Vertical != 0);
    }
    TakeStringAttrs(s, defaultString_);
    UpdateRotation(s);
    LayoutForEdit(s);
    return S_OK;
}

HRESULT Title::RemeasureAll() {
    if (!remeasurePending_) return S_OK;
    for (MetaString& s : EditStrings()) {
        EditRollback rollback(s);  // strings already re-measured stay so; the pass stays pending
        for (MetaCharacter& c : s.chars) MeasureCharacter(c, FontOf(s, c), s.Vertical != 0);
        if (!s.chars.empty()) MeasureSurrogates(s, 0, s.chars.size() - 1, s.Vertical != 0);
        UpdateRotation(s);
        RemeasureString(s);
    }
    remeasurePending_ = false;
    return S_OK;
}

void Title::RemeasureString(MetaString& s) {
    const bool vertical = s.Vertical != 0;
    if (!s.chars.empty()) BreakLines(s, 0, static_cast<int32_t>(s.chars.size()), vertical, defaultParagraph_);
    LayoutString(s, vertical, defaultParagraph_, defaultFont_);
}

void Title::BreakForEdit(MetaString& s, int32_t start, int32_t count) {
    (void)BreakLines(s, start, count, DefaultVertical(), defaultParagraph_);
}

void Title::LayoutForEdit(MetaString& s) { LayoutString(s, DefaultVertical(), defaultParagraph_, defaultFont_); }

void Title::UpdateRotation(MetaString& s) const {
    const double radians = -static_cast<double>(s.RotateDegree) * kRadiansPerDegree;
    s.RotSin = static_cast<float>(std::sin(radians));
    s.RotCos = static_cast<float>(std::cos(radians));
    const RectF box = StringFrameRect(s);
    s.RotOriginX = box.x;
    s.RotOriginY = box.y;
}

void Title::AdoptLoadedStrings(std::vector<MetaString> loaded) {
    std::vector<MetaString>& strings = EditStrings();
    strings = std::move(loaded);
    try {
        FontLinker linker;
        for (MetaString& s : strings) {
            UpdateRotation(s);
            LayoutForEdit(s);
            if (s.chars.empty()) continue;
            // Every character's font is resolved and measured again on this machine, as if each
            // character in turn had its own font applied (a face missing here is replaced by the
            // GUI font's). Breaking lines once per string afterwards gives the same result as
            // re-breaking after every character: each pass re-breaks from its paragraph's start,
            // and the last pass over a paragraph already sees all of its final extents.
            MetaFont storedPrevious{};  // the stored font of the last cluster base
            bool havePrevious = false;
            for (size_t c = 0; c < s.chars.size(); ++c) {
                MetaCharacter& ch = s.chars[c];
                FontSpec spec = defaultFont_;
                std::string language;  // the entry's own, kept
                if (ch.FontIndex >= 0 && static_cast<size_t>(ch.FontIndex) < s.fonts.size()) {
                    const MetaFont& font = s.fonts[static_cast<size_t>(ch.FontIndex)];
                    spec = ReportFont(font);
                    spec.Bold = font.LogFont.lfWeight == 700 ? 1 : 0;
                    language.assign(font.Language, strnlen(font.Language, sizeof font.Language));
                }
                spec.FaceName[31] = 0;
                (void)InstalledOrGuiFont(spec);

                // A surrogate pair is resolved as one character, and its tail takes the same font.
                const size_t units = IsPairLead(s, c) ? 2 : 1;
                // The rest of a cluster that was stored in its base's font stays with the base,
                // as fonts are chosen per cluster (a selector or joiner the face has no glyph for
                // would otherwise be linked to another face).
                const bool storedValid = ch.FontIndex >= 0 && static_cast<size_t>(ch.FontIndex) < s.fonts.size();
                if (c > 0 && storedValid && havePrevious &&
                    std::memcmp(&s.fonts[static_cast<size_t>(ch.FontIndex)], &storedPrevious, sizeof(MetaFont)) == 0 &&
                    ContinuesCluster(CodePointAt(s, c - (IsPairTail(s, c - 1) ? 2 : 1)), CodePointAt(s, c))) {
                    ReleaseFontEntries(s, static_cast<int32_t>(c), static_cast<int32_t>(units));
                    const int32_t previousFont = s.chars[c - 1].FontIndex;  // as renumbered
                    for (size_t k = 0; k < units; ++k) {
                        s.chars[c + k].FontIndex = previousFont;
                        MeasureCharacter(s.chars[c + k], s.fonts[static_cast<size_t>(previousFont)], s.Vertical != 0);
                    }
                    c += units - 1;
                    continue;
                }
                havePrevious = storedValid;
                if (storedValid) storedPrevious = s.fonts[static_cast<size_t>(ch.FontIndex)];
                ReleaseFontEntries(s, static_cast<int32_t>(c), static_cast<int32_t>(units));
                MetaFont fonts[2];
                const char16_t codes[2] = {char16_t(ch.Value), char16_t(units == 2 ? s.chars[c + 1].Value : 0)};
                ResolveFonts(linker, spec, codes, units, fonts, language);
                for (size_t k = 0; k < units; ++k) {
                    MeasureCharacter(s.chars[c + k], fonts[k], s.Vertical != 0);
                    s.chars[c + k].FontIndex = FindOrAdd(s.fonts, fonts[k]);
                }
                c += units - 1;
            }
            MeasureSurrogates(s, 0, s.chars.size() - 1, s.Vertical != 0);
            RemeasureString(s);
        }
    } catch (...) {
        EditStrings().clear();
        throw;
    }
}

}  // namespace qel
