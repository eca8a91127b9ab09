#include "platform/Fontconfig.h"

#include <dlfcn.h>
#include <unicode/locid.h>

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "base/Unicode.h"

namespace qel::fc {

std::mutex& Lock() {
    static std::mutex mutex;
    return mutex;
}

namespace {

// fontconfig keeps process-wide state that it never frees: its default configuration, the names
// of its objects, the caches it maps. That state is not ours to tear down (the host or another
// library may use fontconfig too), yet when the host does not use fontconfig itself, unloading
// this library would unload fontconfig with it and lose all of that, a few hundred KiB for every
// time a host loads and unloads the engine. So fontconfig stays loaded for the life of the
// process once we have used it, as it would in a host that links it.
bool KeepFontconfigLoaded() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&FcConfigGetCurrent), &info) || !info.dli_fname) return false;
    return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

}  // namespace

FcConfig* Config() {
    static const bool kept = KeepFontconfigLoaded();
    (void)kept;
    // FcConfigGetCurrent loads the default configuration on first use; a failure is retried on
    // the next call rather than remembered, so a machine whose fonts appear later still works.
    return FcConfigGetCurrent();
}

int RequestWeight(const LOGFONTW& lf) {
    if (lf.lfWeight <= 0) return 400;
    return lf.lfWeight > 1000 ? 1000 : lf.lfWeight;
}

std::string FontconfigLanguage(const char* tag) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(tag ? tag : "", status);
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

FcPattern* RequestPattern(const LOGFONTW& lf, const char* language) {
    const std::string family = Utf8FromFaceName(lf.lfFaceName);  // may throw: before the pattern
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    if (!family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddDouble(pattern, FC_WEIGHT, FcWeightFromOpenTypeDouble(RequestWeight(lf)));
    FcPatternAddInteger(pattern, FC_SLANT, lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if (const std::string lang = language && language[0] ? FontconfigLanguage(language) : std::string(); !lang.empty())
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(lang.c_str()));
    FcConfigSubstitute(Config(), pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    return pattern;
}

std::u16string Family(FcPattern* pattern, int i) {
    FcChar8* name = nullptr;
    if (FcPatternGetString(pattern, FC_FAMILY, i, &name) != FcResultMatch || !name) return {};
    return Utf16FromUtf8(reinterpret_cast<const char*>(name));
}

std::string Utf8FromFaceName(const char16_t* face) {
    size_t length = 0;
    while (length < 32 && face[length] != 0) ++length;
    return Utf16ToUtf8(std::u16string_view(face, length));
}

std::string Utf8FromUtf16(std::u16string_view text) {
    return Utf16ToUtf8(text.substr(0, std::min(text.size(), text.find(u'\0'))));
}

std::u16string Utf16FromUtf8(const char* text) {
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        // FcUtf8ToUcs4 reads a sequence the way fontconfig itself does and reports how many bytes
        // it used. It is more lenient than Utf8ToUtf16 (it takes overlong and five- or six-byte
        // forms and encoded surrogates); the names fontconfig hands out are well-formed, and a
        // byte it refuses becomes U+FFFD on its own.
        FcChar32 c = 0;
        int used = FcUtf8ToUcs4(s, &c, 6);
        if (used <= 0) {
            c = kReplacementCharacter;
            used = 1;
        }
        // Five- and six-byte forms decode beyond U+10FFFF, which no UTF-16 pair can carry.
        if (c > 0x10FFFF) c = kReplacementCharacter;
        s += used;
        AppendUtf16(out, c);
    }
    return out;
}

}  // namespace qel::fc
