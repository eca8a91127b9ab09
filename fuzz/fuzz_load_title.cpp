// Fuzzes the title loader: LoadTitleFromBuffer on arbitrary text, then a save of whatever loaded.
//
// The first input byte picks the encoding of the rest: even, the bytes are UTF-8 and converted
// (mutations then act on the XML structure, helped by title.dict); odd, they are raw UTF-16 units
// as a host would hand them over. The text is always terminated, as the interface requires.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "host/DebugOutput.h"
#include "persist/XmlDom.h"
#include "qel/QEL_Title2.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A fixed font set, as in the tests, and no failure lines on standard error.
    setenv("FONTCONFIG_FILE", QEL_FUZZ_FONTS_CONF, 0);
    qel::SetDebugSink([](std::string_view) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qel::ITitleHost* host = GetTitleHost();
    if (!host || size == 0) return 0;

    std::u16string text;
    if ((data[0] & 1) == 0) {
        text = qel::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    } else {
        text.resize((size - 1) / 2);
        std::memcpy(text.data(), data + 1, text.size() * 2);
    }
    // An embedded zero unit simply ends the text early, as it would for a host.
    if (host->LoadTitleFromBuffer(text.c_str()) == qel::S_OK && host->GetStringCount() > 0) {
        uint32_t size16 = 0;
        if (host->SaveTitleToBuffer(nullptr, &size16) == qel::S_OK) {
            std::vector<char16_t> saved(size16 / 2 + 1);
            (void)host->SaveTitleToBuffer(saved.data(), &size16);
        }
    }
    return 0;
}
