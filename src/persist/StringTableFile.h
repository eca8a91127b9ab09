// Reading the effects' display texts from their XML file:
//   QelDspInfo language version
//     StringTable
//       StringGroup name           (any number)
//         StringItem stringID stringCaption   (any number; a later key wins, across groups too)
#pragma once

#include "effects/EffectStringTable.h"
#include "qel/QEL_Title2.h"

namespace qel {

class XmlDom;

// Empties the table, then loads the file; the table stays empty on failure.
HRESULT LoadStringTableFile(const char16_t* path, EffectStringTable& table);
// Reads the table from a loaded document; S_OK once QelDspInfo/StringTable is found, even
// without items. The table is emptied first and stays empty on failure.
HRESULT ParseStringTable(XmlDom& dom, EffectStringTable& table);

}  // namespace qel
