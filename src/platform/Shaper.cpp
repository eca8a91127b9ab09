// The shaper on HarfBuzz and FriBidi.
//
// HarfBuzz works on its own copy of each font file (a face made from the file, with HarfBuzz's
// own OpenType functions and a scale of one font unit), so its answers are those of the font's
// tables, the same that `hb-shape` gives. Positions come back in font units and are scaled to the
// design height here. Features are HarfBuzz's defaults for the script, which include the required
// ligatures, joining forms, conjuncts and mark positioning; the standard and contextual ligatures
// of scripts whose letters stand alone are switched off, so that every letter stays a glyph of its
// own that can move by itself, and so is kerning unless the run asks for it.
#include "platform/Shaper.h"

#include <fribidi.h>
#include <hb.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/FontEngine.h"

namespace qel {

const uint32_t kScriptCommon = HB_SCRIPT_COMMON;
const uint32_t kScriptInherited = HB_SCRIPT_INHERITED;

namespace {

// The process's HarfBuzz fonts, one per font file and face index. They are immutable once made
// and kept until the library is unloaded (a title uses a handful of files).
struct HbFont {
    hb_font_t* font = nullptr;
    unsigned upem = 0;
};

class HbFonts {
public:
    ~HbFonts() {
        for (auto& [key, made] : fonts_) hb_font_destroy(made.font);
    }

    HbFont Get(const std::string& file, int index) {
        std::lock_guard<std::mutex> guard(lock_);
        const auto key = std::make_pair(file, index);
        if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
        HbFont made;
        hb_blob_t* blob = hb_blob_create_from_file_or_fail(file.c_str());
        if (!blob) return made;  // not remembered: the file may be readable later
        hb_face_t* face = hb_face_create(blob, static_cast<unsigned>(index));
        hb_blob_destroy(blob);
        made.upem = hb_face_get_upem(face);
        made.font = hb_font_create(face);
        hb_face_destroy(face);
        hb_font_make_immutable(made.font);
        try {
            fonts_.emplace(key, made);
        } catch (...) {
            hb_font_destroy(made.font);
            throw;
        }
        return made;
    }

private:
    std::mutex lock_;
    std::map<std::pair<std::string, int>, HbFont> fonts_;
};

HbFont FontFor(const std::string& file, int index) {
    static HbFonts fonts;
    return fonts.Get(file, index);
}

hb_feature_t Feature(const char* tag, uint32_t value) {
    hb_feature_t f{hb_tag_from_string(tag, -1), value, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END};
    return f;
}

bool InRange(char32_t c, char32_t first, char32_t last) { return c >= first && c <= last; }

}  // namespace

bool ShapeRun(const LOGFONTW& lf, const char16_t* text, size_t size, size_t start, size_t length,
              const ShapeRequest& request, std::vector<ShapedGlyph>* out) {
    out->clear();
    const FontFace face = FontFace::Open(lf);
    std::string file;
    int index = 0;
    if (!face || !face.Source(&file, &index)) return false;
    const HbFont font = FontFor(file, index);
    if (!font.font || font.upem == 0) return false;

    hb_buffer_t* buffer = hb_buffer_create();
    if (!hb_buffer_allocation_successful(buffer)) {
        hb_buffer_destroy(buffer);
        return false;
    }
    hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(text), static_cast<int>(size),
                        static_cast<unsigned>(start), static_cast<int>(length));
    hb_buffer_set_direction(buffer, request.vertical      ? HB_DIRECTION_TTB
                                    : request.rightToLeft ? HB_DIRECTION_RTL
                                                          : HB_DIRECTION_LTR);
    if (request.script) hb_buffer_set_script(buffer, static_cast<hb_script_t>(request.script));
    // The text's language when the title says it (its local forms: Serbian italics, Japanese or
    // Chinese ideographs), else a fixed one rather than the process's locale, which HarfBuzz would
    // otherwise take: the same title draws the same on every machine.
    const bool named = request.language && request.language[0];
    hb_buffer_set_language(buffer, hb_language_from_string(named ? request.language : "und", -1));
    hb_buffer_guess_segment_properties(buffer);

    hb_feature_t features[3];
    unsigned featureCount = 0;
    const bool standsAlone = ScriptReadsUnshaped(hb_buffer_get_script(buffer));
    if (standsAlone) {
        features[featureCount++] = Feature("liga", 0);
        features[featureCount++] = Feature("clig", 0);
        if (!request.kerning) features[featureCount++] = Feature("kern", 0);
    }
    hb_shape(font.font, buffer, features, featureCount);

    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
    const double scale = double(kEngineEmPixels) / font.upem;
    const int32_t bold = face.Emboldened() ? FontFace::EmboldenAdvance() : 0;
    out->resize(count);
    for (unsigned i = 0; i < count; ++i) {
        ShapedGlyph& g = (*out)[i];
        g.index = info[i].codepoint;
        g.cluster = info[i].cluster;
        // Rounded per glyph as the engine's own advances, so that unshaped and shaped letters of
        // one font advance alike.
        int32_t advance = static_cast<int32_t>(std::lround(pos[i].x_advance * scale));
        if (advance > 0) advance += bold;
        g.advance = static_cast<float>(advance);
        g.x = static_cast<float>(pos[i].x_offset * scale);
        g.y = static_cast<float>(pos[i].y_offset * scale);
    }
    hb_buffer_destroy(buffer);
    return true;
}

uint8_t ResolveBidiLevels(const char16_t* text, size_t size, uint8_t* levels, bool leftToRight) {
    if (size == 0) return 0;
    // FriBidi works on code points: pairs become one, and their levels go back to both units.
    std::vector<FriBidiChar> codes;
    std::vector<size_t> unitOf;
    codes.reserve(size);
    unitOf.reserve(size);
    for (size_t i = 0; i < size; ++i) {
        char32_t c = text[i];
        unitOf.push_back(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < size && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        }
        codes.push_back(c);
    }
    const FriBidiStrIndex n = static_cast<FriBidiStrIndex>(codes.size());
    std::vector<FriBidiCharType> types(codes.size());
    std::vector<FriBidiBracketType> brackets(codes.size());
    std::vector<FriBidiLevel> resolved(codes.size());
    fribidi_get_bidi_types(codes.data(), n, types.data());
    fribidi_get_bracket_types(codes.data(), n, types.data(), brackets.data());
    FriBidiParType direction = leftToRight ? FRIBIDI_PAR_LTR : FRIBIDI_PAR_ON;
    const FriBidiLevel max =
        fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &direction, resolved.data());
    const uint8_t paragraph = FRIBIDI_IS_RTL(direction) ? 1 : 0;
    for (size_t k = 0; k < codes.size(); ++k) {
        const uint8_t level = max == 0 ? paragraph : static_cast<uint8_t>(resolved[k]);
        levels[unitOf[k]] = level;
        if (codes[k] > 0xFFFF) levels[unitOf[k] + 1] = level;
    }
    return paragraph;
}

bool TurnsSideways(char32_t code) {
    return u_getIntPropertyValue(static_cast<UChar32>(code), UCHAR_VERTICAL_ORIENTATION) == U_VO_ROTATED;
}

uint32_t ScriptOf(char32_t code) {
    return static_cast<uint32_t>(hb_unicode_script(hb_unicode_funcs_get_default(), code));
}

bool ScriptReadsUnshaped(uint32_t script) {
    switch (static_cast<hb_script_t>(script)) {
        case HB_SCRIPT_COMMON:
        case HB_SCRIPT_INHERITED:
        case HB_SCRIPT_UNKNOWN:
        case HB_SCRIPT_INVALID:
        case HB_SCRIPT_LATIN:
        case HB_SCRIPT_GREEK:
        case HB_SCRIPT_CYRILLIC:
        case HB_SCRIPT_ARMENIAN:
        case HB_SCRIPT_GEORGIAN:
        case HB_SCRIPT_HAN:
        case HB_SCRIPT_HIRAGANA:
        case HB_SCRIPT_KATAKANA:
        case HB_SCRIPT_BOPOMOFO:
        case HB_SCRIPT_HANGUL:
            return true;
        default:
            return false;
    }
}

bool IsDefaultIgnorable(char32_t c) {
    return c == 0x00AD || c == 0x034F || c == 0x061C || InRange(c, 0x115F, 0x1160) ||
           InRange(c, 0x17B4, 0x17B5) || InRange(c, 0x180B, 0x180F) || InRange(c, 0x200B, 0x200F) ||
           InRange(c, 0x202A, 0x202E) || InRange(c, 0x2060, 0x206F) || c == 0x3164 ||
           InRange(c, 0xFE00, 0xFE0F) || c == 0xFEFF || c == 0xFFA0 || InRange(c, 0xFFF0, 0xFFF8) ||
           InRange(c, 0x1BCA0, 0x1BCA3) || InRange(c, 0x1D173, 0x1D17A) || InRange(c, 0xE0000, 0xE0FFF);
}

bool StandsAlone(char32_t c) {
    if (c < 0x300) return true;  // Latin, its extensions and the spacing modifiers
    if (c >= 0xD800 && c < 0xE000) return true;  // a lone surrogate: the missing glyph
    if (IsDefaultIgnorable(c)) return false;
    switch (hb_unicode_general_category(hb_unicode_funcs_get_default(), c)) {
        case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_UNASSIGNED:
            return false;
        default:
            break;
    }
    // Emoji that can start a sequence (regional indicators, modifiers, the pictographs) are
    // shaped so that their sequences become one glyph.
    if (InRange(c, 0x1F000, 0x1FAFF)) return false;
    return ScriptReadsUnshaped(ScriptOf(c)) && !(ScriptOf(c) == HB_SCRIPT_COMMON && fribidi_get_bidi_type(c) ==
                                                 FRIBIDI_TYPE_AN);
}

bool WantsColor(char32_t code, char32_t next) {
    return next == 0xFE0F || (InRange(code, 0x1F000, 0x1FAFF) && !InRange(code, 0x1F100, 0x1F1E5));
}

bool ContinuesCluster(char32_t prev, char32_t c) {
    if (prev == 0x200D) return true;  // whatever a zero-width joiner joins
    if (c == 0x200D || c == 0x20E3 || InRange(c, 0xFE00, 0xFE0F) || InRange(c, 0xE0100, 0xE01EF) ||
        InRange(c, 0x1F3FB, 0x1F3FF) || InRange(c, 0xE0020, 0xE007F)) {
        return true;
    }
    if (InRange(prev, 0x1F1E6, 0x1F1FF) && InRange(c, 0x1F1E6, 0x1F1FF)) return true;
    switch (hb_unicode_general_category(hb_unicode_funcs_get_default(), c)) {
        case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
        case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
            return true;
        default:
            return false;
    }
}

}  // namespace qel
