// What the fuzz targets share: their set-up, how an input becomes title text, and a save.
//
// The first input byte picks the encoding of the rest: even, the bytes are UTF-8 and converted
// (mutations then act on the XML structure, helped by title.dict); odd, they are raw UTF-16 units
// as a host would hand them over. An embedded zero unit simply ends the text early, as it would
// for a host.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/DebugOutput.h"
#include "persist/XmlDom.h"
#include "qel/QEL_Title2.h"

namespace qel::fuzz {

// A fixed font set, as in the tests, and no debug lines on standard error.
inline void Initialize() {
    setenv("FONTCONFIG_FILE", QEL_FUZZ_FONTS_CONF, 0);
    SetDebugSink([](std::string_view) {});
}

// size >= 1.
inline std::u16string TitleText(const uint8_t* data, size_t size) {
    if ((data[0] & 1) == 0) return Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    std::u16string text((size - 1) / 2, u'\0');
    std::memcpy(text.data(), data + 1, text.size() * 2);
    return text;
}

// The saved title, or empty when the save fails.
inline std::u16string SaveTitle(ITitleHost& host) {
    uint32_t size = 0;
    if (host.SaveTitleToBuffer(nullptr, &size) != S_OK) return {};
    std::vector<char16_t> saved(size / 2 + 1);
    if (host.SaveTitleToBuffer(saved.data(), &size) != S_OK) return {};
    return std::u16string(saved.data());
}

}  // namespace qel::fuzz
