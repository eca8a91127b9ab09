// (Placeholder until glyph coverage lands.)
#include "platform/GlyphCoverage.h"

namespace qel {

int GetGlyphCoverage(uint16_t, const MetaFont&, float, float, float, const GlyphRequest&, GlyphCoverage*) {
    return 0;
}

}  // namespace qel
