// Display texts of the effects: text key -> caption, narrow (UTF-8) and UTF-16, loaded from an
// XML file:
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

class XmlDom;

class EffectStringTable {
public:
    // Empties the table, then loads the file; the table stays empty on failure.
    HRESULT LoadStringTableFile(const char16_t* path);
    // Reads the table from a loaded document; S_OK once QelDspInfo/StringTable is found, even
    // without items. The table is emptied first and stays empty on failure.
    HRESULT ParseStringTable(XmlDom& dom);
    // Null for a null key. The pointers stay valid until the next load or destruction.
    const char* LookupCaption(const char* key);
    const char16_t* LookupCaptionW(const char* key);

private:
    std::map<std::string, std::u16string> wideTexts_;
    std::map<std::string, std::string> narrowTexts_;
    std::u16string lastConvertedKey_;  // the latest key LookupCaptionW had to convert
};

}  // namespace qel
