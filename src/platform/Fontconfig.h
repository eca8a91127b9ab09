// Shared access to fontconfig for the platform files: one process-wide lock around every
// fontconfig call (its configuration and caches are shared by all threads), the pattern a
// LOGFONTW stands for, and the text conversions between face names and fontconfig strings.
#pragma once

#include <fontconfig/fontconfig.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "qel/QEL_Title2.h"

namespace qel::fc {

// Owners of fontconfig objects: out of memory in our own code between creating and destroying
// one (an exception) must not lose it.
struct PatternDeleter {
    void operator()(FcPattern* p) const noexcept { FcPatternDestroy(p); }
};
struct FontSetDeleter {
    void operator()(FcFontSet* s) const noexcept { FcFontSetDestroy(s); }
};
struct ObjectSetDeleter {
    void operator()(FcObjectSet* s) const noexcept { FcObjectSetDestroy(s); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;
using FontSetPtr = std::unique_ptr<FcFontSet, FontSetDeleter>;
using ObjectSetPtr = std::unique_ptr<FcObjectSet, ObjectSetDeleter>;

// Held around every fontconfig call.
std::mutex& Lock();

// The current configuration (loaded on first use, honouring FONTCONFIG_FILE); null when
// fontconfig cannot load one. Call with Lock() held.
FcConfig* Config();

// OpenType weight of a request: lfWeight 0 (don't care) means regular.
int RequestWeight(const LOGFONTW& lf);

// The pattern of a request (family, weight, slant), substituted and ready to match or sort.
// The caller destroys it. Call with Lock() held.
// With a language (a BCP 47 tag, or null), faces that write it rank first.
FcPattern* RequestPattern(const LOGFONTW& lf, const char* language = nullptr);

// Fontconfig's name for the orthography of a BCP 47 tag: the language, and for Chinese the
// script or region that decides between simplified and traditional characters ("zh-cn", "zh-tw",
// "zh-hk"); empty for what is not a tag.
std::string FontconfigLanguage(const char* tag);

// Family name at index i of a pattern as UTF-16; empty when absent.
std::u16string Family(FcPattern* pattern, int i);

// The face name of a LOGFONTW (up to its NUL, at most 32 units) as UTF-8.
std::string Utf8FromFaceName(const char16_t* face);
// UTF-16 text as UTF-8 for fontconfig (an embedded NUL ends it there).
std::string Utf8FromUtf16(std::u16string_view text);
// A NUL-terminated fontconfig string as UTF-16.
std::u16string Utf16FromUtf8(const char* text);

}  // namespace qel::fc
