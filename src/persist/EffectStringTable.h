// Display texts of the effects: text key -> caption, narrow (UTF-8) and UTF-16, loaded from an
// XML file rooted at QelDspInfo. A key without a text yields the key itself.
#pragma once

#include <map>
#include <string>

#include "qel/QEL_Title2.h"

namespace qel {

class EffectStringTable {
public:
    // Empties the table, then loads the file; the table stays empty on failure.
    HRESULT LoadStringTableFile(const char16_t* path);
    // Null for a null key. The pointers stay valid until the next load or destruction.
    const char* LookupCaption(const char* key);
    const char16_t* LookupCaptionW(const char* key);

private:
    friend class EffectStringTableParser;
    std::map<std::string, std::u16string> wideTexts_;
    std::map<std::string, std::string> narrowTexts_;
    std::u16string lastConvertedKey_;
};

}  // namespace qel
