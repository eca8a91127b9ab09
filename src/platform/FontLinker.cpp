// The font linker on fontconfig. For a base request it asks fontconfig once for every installed
// face sorted by closeness to the request (FcFontSort), and then, for each code unit the base
// face lacks, takes the first face in that order whose character set has it. Both the sorted list
// and the answers per code unit live as long as the linker, which an editing operation makes
// and drops.
#include <algorithm>
#include <map>
#include <tuple>

#include "platform/FontEngine.h"
#include "platform/FontLinking.h"
#include "platform/Fontconfig.h"

namespace qel {

namespace {

struct BaseKey {
    std::u16string face;
    int weight;
    bool italic;
    std::string language;
    bool operator<(const BaseKey& o) const {
        return std::tie(face, weight, italic, language) < std::tie(o.face, o.weight, o.italic, o.language);
    }
};

BaseKey KeyOf(const LOGFONTW& lf, const char* language) {
    return {std::u16string(lf.lfFaceName, std::find(lf.lfFaceName, lf.lfFaceName + 32, u'\0')),
            fc::RequestWeight(lf), lf.lfItalic != 0, language ? language : ""};
}

}  // namespace

struct FontLinker::Impl {
    struct Candidates {
        FcFontSet* sorted = nullptr;                  // closest first
        std::map<char32_t, std::u16string> answers;  // empty family: no face has it
        std::map<char32_t, std::u16string> colorAnswers;  // the same among colour faces
    };
    std::map<BaseKey, Candidates> bases;

    ~Impl() {
        std::lock_guard<std::mutex> lock(fc::Lock());
        for (auto& [key, candidates] : bases)
            if (candidates.sorted) FcFontSetDestroy(candidates.sorted);
    }
};

FontLinker::FontLinker() {
    std::lock_guard<std::mutex> lock(fc::Lock());
    if (fc::Config()) impl_ = std::make_unique<Impl>();
}

FontLinker::~FontLinker() = default;

namespace {

bool MapFont(FontLinker& linker, const LOGFONTW& base, char32_t code, bool color, char16_t (&face)[32],
             const char* language) {
    FontLinker::Impl* impl = linker.impl();
    if (!impl) return false;
    // Half of a surrogate pair names no character by itself; no face has a glyph for it.
    if ((code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) return false;

    BaseKey key = KeyOf(base, language);
    auto& candidates = impl->bases[key];
    auto& answers = color ? candidates.colorAnswers : candidates.answers;
    auto known = answers.find(code);
    if (known == answers.end()) {
        std::u16string family;
        {
            std::lock_guard<std::mutex> lock(fc::Lock());
            FcConfig* config = fc::Config();
            if (config && !candidates.sorted) {
                if (FcPattern* pattern = fc::RequestPattern(base, language)) {
                    FcResult result = FcResultNoMatch;
                    candidates.sorted = FcFontSort(config, pattern, FcTrue, nullptr, &result);
                    FcPatternDestroy(pattern);
                }
            }
            for (int i = 0; candidates.sorted && i < candidates.sorted->nfont; ++i) {
                FcPattern* font = candidates.sorted->fonts[i];
                FcCharSet* chars = nullptr;
                if (FcPatternGetCharSet(font, FC_CHARSET, 0, &chars) != FcResultMatch || !chars ||
                    !FcCharSetHasChar(chars, code))
                    continue;
                // A face without outlines has no outline metrics and no glyph to draw, unless it
                // is a colour face (emoji in bitmap strikes), which is what a colour request wants.
                FcBool outline = FcTrue, colorFace = FcFalse;
                FcPatternGetBool(font, FC_COLOR, 0, &colorFace);
                if (color && !colorFace) continue;
                if (!color && FcPatternGetBool(font, FC_OUTLINE, 0, &outline) == FcResultMatch && !outline) continue;
                std::u16string name = fc::Family(font, 0);
                // The base's own family would only bring the base face back; a name longer than a
                // face name holds could not be asked for again.
                if (name.empty() || (!color && SameFamilyName(name, key.face)) || name.size() > 31) continue;
                family = std::move(name);
                break;
            }
        }
        known = answers.emplace(code, std::move(family)).first;
    }
    if (known->second.empty()) return false;
    std::fill(std::begin(face), std::end(face), u'\0');
    std::copy(known->second.begin(), known->second.end(), face);
    return true;
}

}  // namespace

bool MapFontForCode(FontLinker& linker, const LOGFONTW& base, char32_t code, char16_t (&face)[32],
                    const char* language) {
    return MapFont(linker, base, code, false, face, language);
}

bool MapColorFontForCode(FontLinker& linker, const LOGFONTW& base, char32_t code, char16_t (&face)[32],
                         const char* language) {
    return MapFont(linker, base, code, true, face, language);
}

}  // namespace qel
