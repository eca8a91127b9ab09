#include "authoring/Text.h"

#include <cstdint>
#include <cstdio>

namespace qeltitle {

std::u16string ExpandTitleText(std::string_view utf8) {
    std::string expanded;
    expanded.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\\' && i + 1 < utf8.size() && (utf8[i + 1] == 'n' || utf8[i + 1] == '\\')) {
            expanded += utf8[i + 1] == 'n' ? "\r\n" : "\\";
            ++i;
        } else if (c == '\r') {
            expanded += "\r\n";
            if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            expanded += "\r\n";
        } else {
            expanded += c;
        }
    }
    return Utf8ToUtf16(expanded);
}

std::string PrintableText(std::u16string_view text) {
    std::u16string shown;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            shown += u"\\n";
            ++i;
        } else if (c == u'\\') {
            shown += u"\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
            for (const char* p = hex; *p; ++p) shown += static_cast<char16_t>(*p);
        } else {
            shown += c;
        }
    }
    return Utf16ToUtf8(shown);
}

}  // namespace qeltitle
