// Style tables, paragraph and line records, and key frames of one string.
//
// Style entries are interned per string: characters point into the string's own tables by index,
// an entry is found or added by its exact bytes, and an entry that no character uses any more is
// erased with the higher indices renumbered, so a table never holds duplicates or unused entries.
#include <algorithm>
#include <cstring>

#include "model/TitleModel.h"

namespace qel {
namespace {

constexpr char kNoEffect[] = "PATH_NOEFFECT";

// Releases the entries of `table` used only by the characters of [first, first + count).
//
// Each character of the range is visited in order; its entry is kept when a character outside
// the range uses it, else erased. Counting the uses outside the range once turns the test into a
// table look-up; an erasure then costs one pass to renumber the higher indices.
template <class T>
void ReleaseEntries(std::vector<T>& table, std::vector<MetaCharacter>& chars,
                    int32_t MetaCharacter::*field, int32_t first, int32_t count) {
    const size_t n = chars.size();
    const size_t begin = static_cast<size_t>(std::max(first, 0));
    const size_t end = std::min(n, begin + static_cast<size_t>(std::max(count, 0)));
    if (begin >= end) return;

    std::vector<int32_t> usesOutside(table.size(), 0);
    for (size_t i = 0; i < n; ++i) {
        if (i >= begin && i < end) continue;
        const int32_t e = chars[i].*field;
        if (e >= 0 && static_cast<size_t>(e) < table.size()) ++usesOutside[static_cast<size_t>(e)];
    }

    for (size_t i = begin; i < end; ++i) {
        const int32_t e = chars[i].*field;
        if (e < 0 || static_cast<size_t>(e) >= table.size()) continue;
        if (usesOutside[static_cast<size_t>(e)] > 0) continue;
        for (size_t j = begin; j < end; ++j) {
            if (chars[j].*field == e) chars[j].*field = -1;
        }
        table.erase(table.begin() + e);
        usesOutside.erase(usesOutside.begin() + e);
        for (MetaCharacter& c : chars) {
            if (c.*field > e) --(c.*field);
        }
    }
}

// Copies a NUL-terminated identifier of at most 259 characters, zero-filling the rest.
void CopyPathId(char (&dst)[260], const char (&src)[260]) {
    const size_t n = strnlen(src, sizeof dst - 1);
    std::memcpy(dst, src, n);
    std::memset(dst + n, 0, sizeof dst - n);
}

bool IsNoEffect(const char* pathId) { return std::strcmp(pathId, kNoEffect) == 0; }

}  // namespace

void ReleaseFontEntries(MetaString& s, int32_t first, int32_t count) {
    ReleaseEntries(s.fonts, s.chars, &MetaCharacter::FontIndex, first, count);
}
void ReleaseFaceEntries(MetaString& s, int32_t first, int32_t count) {
    ReleaseEntries(s.faces, s.chars, &MetaCharacter::FaceIndex, first, count);
}
void ReleaseBorderEntries(MetaString& s, int32_t first, int32_t count) {
    ReleaseEntries(s.borders, s.chars, &MetaCharacter::BorderIndex, first, count);
}
void ReleaseShadowEntries(MetaString& s, int32_t first, int32_t count) {
    ReleaseEntries(s.shadows, s.chars, &MetaCharacter::ShadowIndex, first, count);
}

int32_t InsertParagraph(MetaString& s, int32_t pos, const ParagraphAttrs& attrs) {
    MetaParagraph p;
    p.SetAttrs(attrs);
    const size_t at = std::min(static_cast<size_t>(std::max(pos, 0)), s.paragraphs.size());
    s.paragraphs.insert(s.paragraphs.begin() + static_cast<ptrdiff_t>(at), p);
    return static_cast<int32_t>(s.paragraphs.size());
}

int32_t InsertLine(MetaString& s, int32_t pos) {
    const size_t at = std::min(static_cast<size_t>(std::max(pos, 0)), s.lines.size());
    s.lines.insert(s.lines.begin() + static_cast<ptrdiff_t>(at), MetaLine{});
    return static_cast<int32_t>(s.lines.size());
}

const MetaFont& FontOf(const MetaString& s, const MetaCharacter& c) {
    static const MetaFont kNone{};
    if (c.FontIndex < 0 || static_cast<size_t>(c.FontIndex) >= s.fonts.size()) return kNone;
    return s.fonts[static_cast<size_t>(c.FontIndex)];
}

void StoreKeyFrame(MetaString& s, float key, const PathValue& value) {
    PathValue v = value;
    v.PathID[sizeof v.PathID - 1] = 0;
    s.KeyFrames.insert_or_assign(key, v);
}

void EraseKeyFrame(MetaString& s, float key) {
    if (s.KeyFrames.erase(key) == 0) return;
    // The cursor is a key; once its entry is gone there is nothing to continue from.
    if (s.Cursor.placed && !s.Cursor.atEnd && s.Cursor.key == key) s.Cursor = KeyFrameCursor{};
}

void EraseAllKeyFrames(MetaString& s) {
    s.KeyFrames.clear();
    s.Cursor = KeyFrameCursor{};
}

void EvaluateKeyFrames(MetaString& s, float t) {
    if (s.KeyFrames.empty()) return;

    auto take = [&s](const PathValue& v) {
        CopyPathId(s.PathID, v.PathID);
        s.PathProgress = IsNoEffect(s.PathID) ? 1.0f : v.PathProgress;
    };

    if (auto exact = s.KeyFrames.find(t); exact != s.KeyFrames.end()) {
        take(exact->second);
    } else {
        // The later entry is the first key not less than t, the earlier one the entry before it.
        const auto later = s.KeyFrames.lower_bound(t);
        s.Cursor.placed = true;
        s.Cursor.atEnd = later == s.KeyFrames.end();
        if (!s.Cursor.atEnd) s.Cursor.key = later->first;

        if (later == s.KeyFrames.begin() || later == s.KeyFrames.end()) {
            s.PathID[0] = 0;
            s.PathProgress = 0.0f;
        } else {
            const auto earlier = std::prev(later);
            const PathValue& v0 = earlier->second;
            const PathValue& v1 = later->second;
            if (std::strncmp(v0.PathID, v1.PathID, sizeof v0.PathID) != 0) {
                take(v0);
            } else {
                CopyPathId(s.PathID, v0.PathID);
                if (IsNoEffect(s.PathID)) {
                    s.PathProgress = 1.0f;
                } else {
                    const float k0 = earlier->first, k1 = later->first;
                    const float p0 = v0.PathProgress, p1 = v1.PathProgress;
                    s.PathProgress = p0 + (t - k0) / (k1 - k0) * (p1 - p0);
                }
            }
        }
    }
}

}  // namespace qel

namespace qel {

bool StructureValid(const MetaString& s) {
    const size_t n = s.chars.size(), nl = s.lines.size(), np = s.paragraphs.size();
    if (n == 0) return nl == 0 && np == 0;
    if (nl == 0 || np == 0) return false;

    int64_t nextLine = 0;
    for (size_t p = 0; p < np; ++p) {
        const MetaParagraph& para = s.paragraphs[p];
        if (para.LineStart != nextLine || para.LineEnd < para.LineStart ||
            static_cast<size_t>(para.LineEnd) >= nl)
            return false;
        for (int32_t l = para.LineStart; l <= para.LineEnd; ++l) {
            if (s.lines[static_cast<size_t>(l)].ParagraphIndex != static_cast<int32_t>(p)) return false;
        }
        nextLine = int64_t{para.LineEnd} + 1;
    }
    if (nextLine != static_cast<int64_t>(nl)) return false;

    int64_t nextChar = 0;
    for (size_t l = 0; l < nl; ++l) {
        const MetaLine& line = s.lines[l];
        if (line.CharStart != nextChar || line.CharEnd < line.CharStart ||
            static_cast<size_t>(line.CharEnd) >= n)
            return false;
        for (int32_t c = line.CharStart; c <= line.CharEnd; ++c) {
            if (s.chars[static_cast<size_t>(c)].LineIndex != static_cast<int32_t>(l)) return false;
        }
        nextChar = int64_t{line.CharEnd} + 1;
    }
    return nextChar == static_cast<int64_t>(n);
}

void RebuildStructure(MetaString& s, const ParagraphAttrs& fill) {
    const size_t n = s.chars.size();
    if (n == 0) {
        s.lines.clear();
        s.paragraphs.clear();
        return;
    }
    size_t paragraphs = 1;
    for (size_t i = 0; i < n; ++i) {
        if (IsPairLF(s, i)) ++paragraphs;
    }
    if (s.paragraphs.size() > paragraphs) s.paragraphs.resize(paragraphs);
    while (s.paragraphs.size() < paragraphs) {
        InsertParagraph(s, static_cast<int32_t>(s.paragraphs.size()), fill);
    }
    s.lines.assign(paragraphs, MetaLine{});

    int32_t k = 0;
    s.lines[0].CharStart = 0;
    for (size_t i = 0; i < n; ++i) {
        if (IsPairLF(s, i)) {
            s.lines[static_cast<size_t>(k)].CharEnd = static_cast<int32_t>(i) - 1;
            ++k;
            s.lines[static_cast<size_t>(k)].CharStart = static_cast<int32_t>(i);
        }
        s.chars[i].LineIndex = k;
    }
    s.lines[static_cast<size_t>(k)].CharEnd = static_cast<int32_t>(n) - 1;
    for (size_t p = 0; p < paragraphs; ++p) {
        s.lines[p].ParagraphIndex = static_cast<int32_t>(p);
        s.paragraphs[p].LineStart = s.paragraphs[p].LineEnd = static_cast<int32_t>(p);
    }
}

}  // namespace qel
