// The text's language and even lines: the title's operations behind the "qel.text" extension.
// Each is an edit of its string, which is shaped, broken and laid out again.
#include <cstring>

#include "model/Title.h"
#include "model/TitleText.h"

namespace qel {

bool LanguageTagValid(std::string_view tag) {
    if (tag.empty()) return true;
    if (tag.size() > QEL_MAX_LANGUAGE || tag.front() == '-' || tag.back() == '-') return false;
    for (char c : tag) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '-') return false;
    }
    return (tag[0] >= 'a' && tag[0] <= 'z') || (tag[0] >= 'A' && tag[0] <= 'Z');
}

HRESULT Title::SetLanguage(int32_t row, const char* tag) {
    const std::string_view value = tag ? std::string_view(tag) : std::string_view();
    const MetaString* current = StringAt(row);
    if (!current || !LanguageTagValid(value)) return E_INVALIDARG;
    if (current->Language == value) return S_OK;
    MetaString& s = *EditString(row);
    s.Language = value;
    RemeasureString(s);
    return S_OK;
}

HRESULT Title::GetLanguage(int32_t row, char* buffer, uint32_t size) const {
    const MetaString* s = StringAt(row);
    if (!s || s->Language.size() >= size) {
        if (size > 0) buffer[0] = 0;
        return E_INVALIDARG;
    }
    std::memcpy(buffer, s->Language.c_str(), s->Language.size() + 1);
    return S_OK;
}

HRESULT Title::SetDefaultLanguage(const char* tag) {
    const std::string_view value = tag ? std::string_view(tag) : std::string_view();
    if (!LanguageTagValid(value)) return E_INVALIDARG;
    defaultLanguage_ = value;
    return S_OK;
}

HRESULT Title::GetCharLanguage(int32_t row, int32_t col, char* buffer, uint32_t size) const {
    const MetaString* s = StringAt(row);
    if (size > 0) buffer[0] = 0;
    if (!s || col < 0 || static_cast<size_t>(col) >= s->chars.size()) return E_INVALIDARG;
    const MetaFont& font = FontOf(*s, s->chars[static_cast<size_t>(col)]);
    const size_t length = strnlen(font.Language, sizeof font.Language);
    if (length >= size) return E_INVALIDARG;
    std::memcpy(buffer, font.Language, length);
    buffer[length] = 0;
    return S_OK;
}

HRESULT Title::SetEvenLines(int32_t row, uint32_t even) {
    const MetaString* current = StringAt(row);
    if (!current) return E_INVALIDARG;
    if (current->EvenLines == (even ? 1u : 0u)) return S_OK;
    MetaString& s = *EditString(row);
    s.EvenLines = even ? 1 : 0;
    RemeasureString(s);
    return S_OK;
}

HRESULT Title::GetEvenLines(int32_t row, uint32_t* out) const {
    const MetaString* s = StringAt(row);
    *out = s ? s->EvenLines : 0;
    return s ? S_OK : E_INVALIDARG;
}

}  // namespace qel
