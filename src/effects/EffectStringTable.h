// Display texts of the effects: text key -> caption, narrow (UTF-8) and UTF-16. The file they
// come from (read by persist/StringTableFile.h) is XML:
//   QelDspInfo language version
//     StringTable
//       StringGroup name           (any number)
//         StringItem stringID stringCaption   (any number; a later key wins, across groups too)
// A key without a text yields the key itself, which is then remembered as its text.
#pragma once

#include <map>
#include <string>

#include "qel/QEL_Title2.h"

namespace qel {

class EffectStringTable {
public:
    void Clear();
    // A later caption for the same key replaces the earlier one.
    void Set(std::string key, std::string caption, std::u16string wideCaption);
    // Null for a null key. The pointers stay valid until the next load or destruction.
    const char* LookupCaption(const char* key);
    const char16_t* LookupCaptionW(const char* key);

private:
    std::map<std::string, std::u16string> wideTexts_;
    std::map<std::string, std::string> narrowTexts_;
    std::u16string lastConvertedKey_;  // the latest key LookupCaptionW had to convert
};

}  // namespace qel
