#include "platform/Fontconfig.h"

#include <cstdint>

namespace qel::fc {

std::mutex& Lock() {
    static std::mutex mutex;
    return mutex;
}

FcConfig* Config() {
    // FcConfigGetCurrent loads the default configuration on first use; a failure is retried on
    // the next call rather than remembered, so a machine whose fonts appear later still works.
    return FcConfigGetCurrent();
}

int RequestWeight(const LOGFONTW& lf) {
    if (lf.lfWeight <= 0) return 400;
    return lf.lfWeight > 1000 ? 1000 : lf.lfWeight;
}

FcPattern* RequestPattern(const LOGFONTW& lf) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return nullptr;
    const std::string family = Utf8FromFaceName(lf.lfFaceName);
    if (!family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddDouble(pattern, FC_WEIGHT, FcWeightFromOpenTypeDouble(RequestWeight(lf)));
    FcPatternAddInteger(pattern, FC_SLANT, lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
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
    std::string out;
    for (int i = 0; i < 32 && face[i] != 0; ++i) {
        uint32_t c = face[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < 32 && face[i + 1] >= 0xDC00 && face[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (face[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // a lone surrogate cannot be written as UTF-8
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Utf16FromUtf8(const char* text) {
    std::u16string out;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        // FcUtf8ToUcs4 validates the sequence and reports how many bytes it used.
        FcChar32 c = 0;
        int used = FcUtf8ToUcs4(s, &c, 6);
        if (used <= 0) {
            c = 0xFFFD;
            used = 1;
        }
        s += used;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

}  // namespace qel::fc
