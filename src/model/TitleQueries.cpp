// Reading the title: styles, counts, rectangles, quads, text and the layout dump.
//
// Every index is checked before use. A failing style getter still fills its output with the
// matching default, a failing rectangle or quad getter with zeros. Boxes are in frame units: the
// layout positions of string, paragraph, line and character added up, times ScaleX and ScaleY.
#include <algorithm>
#include <chrono>
#include <optional>
#include <cstring>

#include "base/DebugOutput.h"
#include "model/Fonts.h"
#include "model/Title.h"

namespace qel {
namespace {

const MetaCharacter* CharAt(const MetaString* s, int32_t col) {
    if (!s || col < 0 || static_cast<size_t>(col) >= s->chars.size()) return nullptr;
    return &s->chars[static_cast<size_t>(col)];
}

const MetaLine* LineAt(const MetaString& s, int32_t line) {
    if (line < 0 || static_cast<size_t>(line) >= s.lines.size()) return nullptr;
    return &s.lines[static_cast<size_t>(line)];
}

const MetaParagraph* ParagraphAt(const MetaString& s, int32_t para) {
    if (para < 0 || static_cast<size_t>(para) >= s.paragraphs.size()) return nullptr;
    return &s.paragraphs[static_cast<size_t>(para)];
}

// The entry of table[index], or null for an index outside the table.
template <class T>
const T* EntryAt(const std::vector<T>& table, int32_t index) {
    if (index < 0 || static_cast<size_t>(index) >= table.size()) return nullptr;
    return &table[static_cast<size_t>(index)];
}

// A style getter: copies the character's entry, or the default with E_INVALIDARG for a bad
// index (E_FAIL for a character whose entry index is outside its table).
template <class T>
HRESULT GetStyle(const MetaString* s, int32_t col, const std::vector<T> MetaString::*table,
                 int32_t MetaCharacter::*field, const T& fallback, T* out) {
    if (!out) return E_POINTER;
    *out = fallback;
    const MetaCharacter* c = CharAt(s, col);
    if (!c) return E_INVALIDARG;
    const T* entry = EntryAt(s->*table, c->*field);
    if (!entry) return E_FAIL;
    *out = *entry;
    return S_OK;
}

QuadF RotatedQuad(const MetaString& s, const RectF& r) {
    const float xs[4] = {r.x, r.x + r.width, r.x + r.width, r.x};
    const float ys[4] = {r.y, r.y, r.y + r.height, r.y + r.height};
    const float ox = s.RotOriginX, oy = s.RotOriginY, sn = s.RotSin, cs = s.RotCos;
    float pts[8];  // x0, y0, x1, y1, ...: the order of QuadF's fields
    for (int k = 0; k < 4; ++k) {
        pts[2 * k] = ox + (xs[k] - ox) * cs + (ys[k] - oy) * sn;
        pts[2 * k + 1] = oy + (ys[k] - oy) * cs - (xs[k] - ox) * sn;
    }
    return QuadF{pts[0], pts[1], pts[2], pts[3], pts[4], pts[5], pts[6], pts[7]};
}

// A rectangle query: null output E_POINTER; a failed look-up (a null box) zeros and E_INVALIDARG.
template <class Box>
HRESULT WriteRect(RectF* out, Box&& box) {
    if (!out) return E_POINTER;
    *out = RectF{};
    const std::optional<RectF> r = box();
    if (!r) return E_INVALIDARG;
    *out = *r;
    return S_OK;
}

template <class Box>
HRESULT WriteQuad(const MetaString* s, QuadF* out, Box&& box) {
    if (!out) return E_POINTER;
    *out = QuadF{};
    const std::optional<RectF> r = box();
    if (!r) return E_INVALIDARG;
    *out = RotatedQuad(*s, *r);
    return S_OK;
}

}  // namespace

HRESULT Title::GetCharFont(int32_t row, int32_t col, FontSpec* out) const {
    if (!out) return E_POINTER;
    const MetaString* s = StringAt(row);
    const MetaCharacter* c = CharAt(s, col);
    const MetaFont* font = c ? EntryAt(s->fonts, c->FontIndex) : nullptr;
    if (font) {
        *out = ReportFont(*font);
        return S_OK;
    }
    // The default as a character made with it would report it.
    MetaFont made;
    (void)MakeFont(kDesignHeight, defaultFont_, &made);
    *out = ReportFont(made);
    return c ? E_FAIL : E_INVALIDARG;
}

HRESULT Title::GetCharFace(int32_t row, int32_t col, MetaFace* out) const {
    return GetStyle(StringAt(row), col, &MetaString::faces, &MetaCharacter::FaceIndex, defaultFace_, out);
}

HRESULT Title::GetCharBorder(int32_t row, int32_t col, MetaBorder* out) const {
    return GetStyle(StringAt(row), col, &MetaString::borders, &MetaCharacter::BorderIndex, defaultBorder_, out);
}

HRESULT Title::GetCharShadow(int32_t row, int32_t col, MetaShadow* out) const {
    return GetStyle(StringAt(row), col, &MetaString::shadows, &MetaCharacter::ShadowIndex, defaultShadow_, out);
}

HRESULT Title::GetCharSpacing(int32_t row, int32_t col, CharSpacing* out) const {
    if (!out) return E_POINTER;
    *out = defaultSpacing_;
    const MetaCharacter* c = CharAt(StringAt(row), col);
    if (!c) return E_INVALIDARG;
    *out = {c->WidthScale, c->Spacing};
    return S_OK;
}

HRESULT Title::GetCharParagraph(int32_t row, int32_t col, ParagraphAttrs* out) const {
    if (!out) return E_POINTER;
    *out = defaultParagraph_;
    const MetaString* s = StringAt(row);
    const MetaCharacter* c = CharAt(s, col);
    if (!c) return E_INVALIDARG;
    const MetaLine* line = LineAt(*s, c->LineIndex);
    const MetaParagraph* para = line ? ParagraphAt(*s, line->ParagraphIndex) : nullptr;
    if (!para) return E_FAIL;
    *out = para->Attrs();
    return S_OK;
}

HRESULT Title::GetStringAttrs(int32_t row, StringAttrs* out) const {
    if (!out) return E_POINTER;
    *out = defaultString_;
    const MetaString* s = StringAt(row);
    if (!s) return E_INVALIDARG;
    out->Left = s->Left;
    out->Top = s->Top;
    out->WidthLimit = s->WidthLimit;
    out->RotateDegree = s->RotateDegree;
    out->Vertical = s->Vertical;
    std::memcpy(out->PathID, s->PathID, sizeof out->PathID);
    out->PathProgress = s->PathProgress;
    std::memcpy(out->MaskFile, s->MaskFile, sizeof out->MaskFile);
    return S_OK;
}

int32_t Title::GetCharCount(int32_t row) const {
    const MetaString* s = StringAt(row);
    return s ? static_cast<int32_t>(s->chars.size()) : 0;
}

int32_t Title::GetLineCount(int32_t row) const {
    const MetaString* s = StringAt(row);
    return s ? static_cast<int32_t>(s->lines.size()) : 0;
}

int32_t Title::GetParagraphCount(int32_t row) const {
    const MetaString* s = StringAt(row);
    return s ? static_cast<int32_t>(s->paragraphs.size()) : 0;
}

// ---- boxes in frame units ----

RectF Title::CharFrameRect(const MetaString& s, int32_t col) const {
    const MetaCharacter* c = CharAt(&s, col);
    if (!c) return {};
    const MetaLine* line = LineAt(s, c->LineIndex);
    const MetaParagraph* para = line ? ParagraphAt(s, line->ParagraphIndex) : nullptr;
    const float lineLeft = line ? line->Left : 0, lineTop = line ? line->Top : 0;
    const float paraLeft = para ? para->Left : 0, paraTop = para ? para->Top : 0;
    const float sx = settings_.ScaleX, sy = settings_.ScaleY;
    return {(c->Left + s.Left + paraLeft + lineLeft) * sx, (c->Top + lineTop + paraTop + s.Top) * sy,
            c->WidthScale * c->Width * sx, c->Height * sy};
}

RectF Title::StringFrameRect(const MetaString& s) const {
    const float sx = settings_.ScaleX, sy = settings_.ScaleY;
    return {s.Left * sx, s.Top * sy, s.Width * sx, s.Height * sy};
}

// A vertical string's columns run from its layout box's left edge towards negative x, and each
// character stands at its font's ascent less the column's largest ascent and internal leading, so
// from -IntLead in a column of one font: the layout box holds neither the columns after the first
// nor the left part of the first. Across the columns the text's span is that of its character
// boxes (line breaks drawn as such excluded); along them it is the layout box, widened only where
// a box reaches past it. Horizontal strings keep their layout box, which holds their text.
RectF Title::StringTextRect(const MetaString& s) const {
    const RectF box = StringFrameRect(s);
    if (!s.Vertical) return box;
    float left = 0, right = 0, top = box.y, bottom = box.y + box.height;
    bool any = false;
    for (size_t i = 0; i < s.chars.size(); ++i) {
        if (IsPairCR(s, i) || IsPairLF(s, i)) continue;
        const RectF c = CharFrameRect(s, int32_t(i));
        left = any ? std::min(left, c.x) : c.x;
        right = any ? std::max(right, c.x + c.width) : c.x + c.width;
        top = std::min(top, c.y);
        bottom = std::max(bottom, c.y + c.height);
        any = true;
    }
    if (!any) return box;
    return {left, top, right - left, bottom - top};
}

namespace {

// Box queries shared by the rectangle and quad slots; empty for a bad index.
struct Boxes {
    const Title& host;
    const MetaString* s;

    std::optional<RectF> Char(int32_t col, int32_t includeBreaks) const {
        if (!CharAt(s, col)) return std::nullopt;
        if (!includeBreaks && (IsPairCR(*s, static_cast<size_t>(col)) || IsPairLF(*s, static_cast<size_t>(col))))
            return std::nullopt;
        return host.CharFrameRect(*s, col);
    }
    std::optional<RectF> Line(int32_t index) const {
        const MetaLine* line = s ? LineAt(*s, index) : nullptr;
        if (!line) return std::nullopt;
        const MetaParagraph* para = ParagraphAt(*s, line->ParagraphIndex);
        const float paraLeft = para ? para->Left : 0, paraTop = para ? para->Top : 0;
        const float sx = host.Settings().ScaleX, sy = host.Settings().ScaleY;
        return RectF{(s->Left + paraLeft + line->Left) * sx, (line->Top + paraTop + s->Top) * sy,
                     line->Width * sx, line->Height * sy};
    }
    std::optional<RectF> Paragraph(int32_t index) const {
        const MetaParagraph* para = s ? ParagraphAt(*s, index) : nullptr;
        if (!para) return std::nullopt;
        const float sx = host.Settings().ScaleX, sy = host.Settings().ScaleY;
        return RectF{(para->Left + s->Left) * sx, (para->Top + s->Top) * sy, para->Width * sx, para->Height * sy};
    }
    std::optional<RectF> String() const {
        if (!s) return std::nullopt;
        return host.StringFrameRect(*s);
    }
};

}  // namespace

HRESULT Title::GetCharRect(int32_t row, int32_t col, RectF* out, int32_t includeBreaks) const {
    const Boxes boxes{*this, StringAt(row)};
    return WriteRect(out, [&] { return boxes.Char(col, includeBreaks); });
}

HRESULT Title::GetLineRect(int32_t row, int32_t line, RectF* out) const {
    const Boxes boxes{*this, StringAt(row)};
    return WriteRect(out, [&] { return boxes.Line(line); });
}

HRESULT Title::GetParagraphRect(int32_t row, int32_t para, RectF* out) const {
    const Boxes boxes{*this, StringAt(row)};
    return WriteRect(out, [&] { return boxes.Paragraph(para); });
}

HRESULT Title::GetStringRect(int32_t row, RectF* out) const {
    const Boxes boxes{*this, StringAt(row)};
    return WriteRect(out, [&] { return boxes.String(); });
}

HRESULT Title::GetCharQuad(int32_t row, int32_t col, QuadF* out, int32_t includeBreaks) const {
    const Boxes boxes{*this, StringAt(row)};
    return WriteQuad(boxes.s, out, [&] { return boxes.Char(col, includeBreaks); });
}

HRESULT Title::GetLineQuad(int32_t row, int32_t line, QuadF* out) const {
    const Boxes boxes{*this, StringAt(row)};
    return WriteQuad(boxes.s, out, [&] { return boxes.Line(line); });
}

HRESULT Title::GetParagraphQuad(int32_t row, int32_t para, QuadF* out) const {
    const Boxes boxes{*this, StringAt(row)};
    return WriteQuad(boxes.s, out, [&] { return boxes.Paragraph(para); });
}

HRESULT Title::GetStringQuad(int32_t row, QuadF* out) const {
    const Boxes boxes{*this, StringAt(row)};
    return WriteQuad(boxes.s, out, [&] { return boxes.String(); });
}

int32_t Title::GetText(int32_t row, char16_t* buffer) const {
    const MetaString* s = StringAt(row);
    if (!s) return 0;
    const size_t n = s->chars.size();
    if (buffer) {
        // Exactly n + 1 code units: the text and its terminator.
        for (size_t i = 0; i < n; ++i) buffer[i] = s->chars[i].Value;
        buffer[n] = 0;
    }
    return static_cast<int32_t>(n);
}

HRESULT Title::DumpLayout(int32_t row) const {
    const MetaString* s = StringAt(row);
    if (!s) return E_INVALIDARG;
    // A millisecond count that wraps like a 32-bit tick counter.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    const int t = static_cast<int32_t>(static_cast<uint32_t>(ms.count()));
    constexpr const char* kRule = "---------------------------------------------------------------------------------";

    DebugOutputF("==[Time: %d] Begin=========================================================", t);
    for (size_t i = 0; i < s->chars.size(); ++i) {
        const MetaCharacter& c = s->chars[i];
        DebugOutputF("[String %d] Char %d: ch = %d, rect = (%f, %f, %f, %f), spacing = %f, Line = %d, "
                     "Font = %d, Face = %d, Border = %d, Shadow = %d",
                     row, static_cast<int>(i), c.Value, c.Left, c.Top, c.Width, c.Height, c.Spacing,
                     c.LineIndex, c.FontIndex, c.FaceIndex, c.BorderIndex, c.ShadowIndex);
    }
    DebugOutput(kRule);
    for (size_t i = 0; i < s->lines.size(); ++i) {
        const MetaLine& l = s->lines[i];
        DebugOutputF("[String %d] Line %d: rect = (%f, %f, %f, %f), Char[%d - %d], Paragraph = %d", row,
                     static_cast<int>(i), l.Left, l.Top, l.Width, l.Height, l.CharStart, l.CharEnd,
                     l.ParagraphIndex);
    }
    DebugOutput(kRule);
    for (size_t i = 0; i < s->paragraphs.size(); ++i) {
        const MetaParagraph& p = s->paragraphs[i];
        DebugOutputF("[String %d] Paragraph %d: rect = (%f, %f, %f, %f), Line[%d - %d], Align = %u, "
                     "LineSpace = %f, Before = %f, After = %f, Left = %f, Right = %f",
                     row, static_cast<int>(i), p.Left, p.Top, p.Width, p.Height, p.LineStart, p.LineEnd,
                     p.Align, p.LineSpace, p.BeforeSpace, p.AfterSpace, p.LeftIndent, p.RightIndent);
    }
    DebugOutputF("==[Time: %d] End===========================================================", t);
    return S_OK;
}

}  // namespace qel
