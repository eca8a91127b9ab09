#include "authoring/Language.h"

#include <fontconfig/fontconfig.h>
#include <unicode/locid.h>

#include <algorithm>
#include <memory>

#include "authoring/LineBreak.h"
#include "qel/qel_extensions.h"

namespace qeltitle {

namespace {

// Fontconfig's name for the orthography of `tag`: the language, and for Chinese the script or
// region that decides between simplified and traditional characters ("zh-cn", "zh-tw", "zh-hk").
std::string FontconfigLanguage(const std::string& tag) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(tag, status);
    if (U_FAILURE(status)) return {};
    std::string language = locale.getLanguage();
    if (language != "zh") return language;
    status = U_ZERO_ERROR;
    locale.addLikelySubtags(status);  // zh -> zh-Hans-CN, zh-TW -> zh-Hant-TW, zh-Hant -> zh-Hant-TW
    const std::string script = locale.getScript(), region = locale.getCountry();
    if (region == "HK" || region == "MO") return "zh-hk";
    if (script == "Hant") return "zh-tw";
    return region == "SG" ? "zh-sg" : "zh-cn";
}

struct PatternFree {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using Pattern = std::unique_ptr<FcPattern, PatternFree>;

}  // namespace

std::string FaceForLanguage(const std::string& tag) {
    if (!IsLanguageTag(tag)) return {};
    const std::string lang = FontconfigLanguage(tag);
    if (lang.empty()) return {};
    Pattern pattern(FcPatternCreate());
    if (!pattern) return {};
    const FcChar8* name = reinterpret_cast<const FcChar8*>(lang.c_str());
    FcPatternAddString(pattern.get(), FC_LANG, name);
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
    if (!FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern)) return {};
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    Pattern match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match || result != FcResultMatch) return {};
    // Only a face that covers the language: the best match may be a default that does not.
    FcLangSet* langs = nullptr;
    if (FcPatternGetLangSet(match.get(), FC_LANG, 0, &langs) != FcResultMatch || !langs ||
        FcLangSetHasLang(langs, name) == FcLangDifferentLang)
        return {};
    FcChar8* family = nullptr;
    if (FcPatternGetString(match.get(), FC_FAMILY, 0, &family) != FcResultMatch || !family) return {};
    return reinterpret_cast<const char*>(family);
}

namespace {
const QelTextV1* TextExtension() { return static_cast<const QelTextV1*>(QelGetExtension(QEL_TEXT_EXTENSION, 1)); }
}  // namespace

bool SetStringText(qel::ITitleHost& host, int row, const std::string& language, bool evenLines, std::string& error) {
    if (language.empty() && !evenLines) return true;  // what every string has
    const QelTextV1* ext = TextExtension();
    if (!ext) {
        error = "the title library has no text languages (extension " QEL_TEXT_EXTENSION ")";
        return false;
    }
    if (ext->SetLanguage(&host, row, language.c_str()) != qel::S_OK) {
        error = "the title library refused the language '" + language + "'";
        return false;
    }
    if (ext->SetEvenLines(&host, row, evenLines ? 1 : 0) != qel::S_OK) {
        error = "the title library refused even lines";
        return false;
    }
    return true;
}

bool SetTitleEvenLines(qel::ITitleHost& host, bool evenLines, std::string& error) {
    const QelTextV1* ext = TextExtension();
    if (!ext) {
        error = "the title library has no even lines (extension " QEL_TEXT_EXTENSION ")";
        return false;
    }
    for (int row = 0; row < host.GetStringCount(); ++row) {
        if (ext->SetEvenLines(&host, row, evenLines ? 1 : 0) != qel::S_OK) {
            error = "the title library refused even lines for string " + std::to_string(row);
            return false;
        }
    }
    return true;
}

namespace {
const QelTextV2* RunExtension() { return static_cast<const QelTextV2*>(QelGetExtension(QEL_TEXT_EXTENSION, 2)); }
}  // namespace

void SetRunLanguage(qel::ITitleHost& host, const std::string& language) {
    if (const QelTextV2* ext = RunExtension()) (void)ext->SetDefaultLanguage(&host, language.c_str());
}

std::string CharLanguage(qel::ITitleHost& host, int row, int col) {
    const QelTextV2* ext = RunExtension();
    char tag[QEL_MAX_LANGUAGE + 1] = {};
    return ext && ext->GetCharLanguage(&host, row, col, tag, sizeof tag) == qel::S_OK ? std::string(tag) : std::string();
}

std::string StringLanguage(qel::ITitleHost& host, int row) {
    const QelTextV1* ext = TextExtension();
    char tag[QEL_MAX_LANGUAGE + 1] = {};
    return ext && ext->GetLanguage(&host, row, tag, sizeof tag) == qel::S_OK ? std::string(tag) : std::string();
}

bool StringEvenLines(qel::ITitleHost& host, int row) {
    const QelTextV1* ext = TextExtension();
    uint32_t even = 0;
    return ext && ext->GetEvenLines(&host, row, &even) == qel::S_OK && even != 0;
}

std::string SubtitleLanguage(std::string_view bytes, const std::string& path) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (bytes.starts_with("WEBVTT")) {
        // Header lines run to the first blank line.
        size_t at = bytes.find('\n');
        while (at != std::string_view::npos && at + 1 < bytes.size()) {
            const size_t end = std::min(bytes.find('\n', at + 1), bytes.size());
            std::string_view line = bytes.substr(at + 1, end - at - 1);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (line.empty() || line.find("-->") != std::string_view::npos) break;
            if (line.starts_with("Language:")) {
                line.remove_prefix(9);
                while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
                while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
                const std::string tag(line);
                if (IsLanguageTag(tag)) return tag;
            }
            at = end;
        }
    }
    // "talk.ja.srt": the part between the last two dots, when it is a tag whose language has
    // two or three letters (so "talk.final.srt" names no language).
    const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    const size_t last = name.rfind('.');
    if (last == std::string::npos || last == 0) return {};
    const size_t before = name.rfind('.', last - 1);
    if (before == std::string::npos) return {};
    const std::string tag = name.substr(before + 1, last - before - 1);
    const size_t primary = std::min(tag.find('-'), tag.size());
    if ((primary == 2 || primary == 3) && IsLanguageTag(tag)) return tag;
    return {};
}

}  // namespace qeltitle
