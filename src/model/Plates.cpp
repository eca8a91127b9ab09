#include "model/Plates.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace qel {
namespace {

// Largest length and offset a plate takes, in layout units: far beyond any frame.
constexpr float kMaxPlateLength = 100000.0f;

bool LengthOk(float v) { return std::isfinite(v) && v >= 0 && v <= kMaxPlateLength; }
bool OffsetOk(float v) { return std::isfinite(v) && std::fabs(v) <= kMaxPlateLength; }
bool TimeOk(float v) { return std::isfinite(v) && v >= 0 && v <= 1; }

bool IsWhiteSpace(uint16_t u) {
    return u == 0x20 || u == 0x09 || u == 0xA0 || u == 0x1680 || (u >= 0x2000 && u <= 0x200B) || u == 0x202F ||
           u == 0x205F || u == 0x3000;
}

bool IsLineBreak(const MetaString& s, size_t i) {
    return s.chars[i].Value == 13 || s.chars[i].Value == 10 || IsPairCR(s, i) || IsPairLF(s, i);
}

void Grow(LayoutBox& into, const LayoutBox& b, bool* any) {
    if (!*any) {
        into = b;
        *any = true;
        return;
    }
    into.left = std::min(into.left, b.left);
    into.top = std::min(into.top, b.top);
    into.right = std::max(into.right, b.right);
    into.bottom = std::max(into.bottom, b.bottom);
}

// Maps a character position through the removal of [col, col + count).
int64_t AfterDelete(int64_t x, int64_t col, int64_t count) {
    if (x < col) return x;
    return x < col + count ? col : x - count;
}

}  // namespace

bool PlateValid(const QelPlate& p) {
    return p.Per <= QEL_PLATE_PER_WORD && p.First >= 0 && p.Count >= 0 && LengthOk(p.PadX) && LengthOk(p.PadY) &&
           LengthOk(p.Radius) && p.Color1 <= 0xFFFFFF && p.Color2 <= 0xFFFFFF && p.Alpha <= 255 &&
           p.Across <= QEL_ACROSS_STRING && LengthOk(p.BorderSize) && p.BorderColor <= 0xFFFFFF &&
           p.BorderAlpha <= 255 && OffsetOk(p.ShadowX) && OffsetOk(p.ShadowY) && LengthOk(p.ShadowBlur) &&
           p.ShadowColor <= 0xFFFFFF && p.ShadowAlpha <= 255 && p.Reveal <= QEL_REVEAL_GROW &&
           p.RevealFrom <= QEL_FROM_CENTER && TimeOk(p.RevealStart) && TimeOk(p.RevealLength) &&
           TimeOk(p.HideStart) && TimeOk(p.HideLength);
}

bool PlateRange(const MetaString& s, const QelPlate& plate, int32_t* first, int32_t* end) {
    const int64_t n = int64_t(s.chars.size());
    const int64_t f = std::min<int64_t>(std::max<int32_t>(plate.First, 0), n);
    const int64_t e = plate.Count > 0 ? std::min<int64_t>(f + plate.Count, n) : n;
    *first = int32_t(f);
    *end = int32_t(e);
    return e > f;
}

LayoutBox CharLayoutBox(const MetaString& s, size_t i) {
    const MetaCharacter& c = s.chars[i];
    const MetaLine* line = c.LineIndex >= 0 && size_t(c.LineIndex) < s.lines.size() ? &s.lines[size_t(c.LineIndex)]
                                                                                     : nullptr;
    const MetaParagraph* para = line && line->ParagraphIndex >= 0 && size_t(line->ParagraphIndex) < s.paragraphs.size()
                                    ? &s.paragraphs[size_t(line->ParagraphIndex)]
                                    : nullptr;
    const float x = c.Left + s.Left + (para ? para->Left : 0) + (line ? line->Left : 0);
    const float y = c.Top + s.Top + (para ? para->Top : 0) + (line ? line->Top : 0);
    return {x, y, x + c.WidthScale * c.Width, y + c.Height};
}

bool IsPlateGap(const MetaString& s, size_t i) {
    return IsWhiteSpace(s.chars[i].Value) || IsLineBreak(s, i) || IsPairTail(s, i);
}

std::vector<PlateBox> PlateBoxes(const MetaString& s, const QelPlate& plate) {
    std::vector<PlateBox> out;
    int32_t first = 0, end = 0;
    if (!PlateRange(s, plate, &first, &end)) return out;
    PlateBox current;
    bool open = false;
    int32_t openLine = 0;
    auto close = [&] {
        if (open) out.push_back(current);
        open = false;
    };
    for (int32_t i = first; i < end; ++i) {
        const size_t k = size_t(i);
        const bool gap = IsPlateGap(s, k);
        // A word ends at white space or a line break; the tail of a surrogate pair continues it.
        if (plate.Per == QEL_PLATE_PER_WORD && gap && !IsPairTail(s, k)) close();
        if (plate.Per != QEL_PLATE_PER_STRING && open && s.chars[k].LineIndex != openLine) close();
        if (gap) continue;
        const LayoutBox b = CharLayoutBox(s, k);
        if (!open) {
            current = PlateBox{b, i, i};
            open = true;
            openLine = s.chars[k].LineIndex;
            continue;
        }
        bool any = true;
        Grow(current.box, b, &any);
        current.last = i;
    }
    close();
    return out;
}

bool AcrossBox(const MetaString& s, size_t i, uint32_t across, LayoutBox* out) {
    if (across != QEL_ACROSS_LINE && across != QEL_ACROSS_STRING) return false;
    bool any = false;
    const int32_t line = s.chars[i].LineIndex;
    for (size_t k = 0; k < s.chars.size(); ++k) {
        if (IsPlateGap(s, k)) continue;
        if (across == QEL_ACROSS_LINE && s.chars[k].LineIndex != line) continue;
        Grow(*out, CharLayoutBox(s, k), &any);
    }
    return any;
}

void PlatesAfterInsert(MetaString& s, int32_t col, int32_t count) {
    for (QelPlate& p : s.plates) {
        if (col < p.First || (col == p.First && p.Count > 0)) {
            // Text typed in front of a ranged plate's first character.
            p.First = int32_t(std::min<int64_t>(int64_t(p.First) + count, INT32_MAX));
        } else if (p.Count > 0 && col <= int64_t(p.First) + p.Count) {
            p.Count = int32_t(std::min<int64_t>(int64_t(p.Count) + count, INT32_MAX));  // the word grows
        }
    }
}

void PlatesAfterDelete(MetaString& s, int32_t col, int32_t count) {
    std::erase_if(s.plates, [&](QelPlate& p) {
        const int64_t first = AfterDelete(p.First, col, count);
        if (p.Count == 0) {
            p.First = int32_t(first);
            return false;
        }
        const int64_t end = AfterDelete(int64_t(p.First) + p.Count, col, count);
        p.First = int32_t(first);
        p.Count = int32_t(std::clamp<int64_t>(end - first, 0, INT32_MAX));
        return p.Count <= 0;
    });
}

void PlatesAfterClear(MetaString& s) {
    std::erase_if(s.plates, [](const QelPlate& p) { return p.First != 0 || p.Count != 0; });
}

}  // namespace qel
