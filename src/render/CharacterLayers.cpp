// Character images. (Placeholder until the character layer work lands.)
#include "host/TitleHost.h"

namespace qel {

int TitleHost::PrepareGlyphLayers(int32_t, int32_t, PreparedGlyph*, float, float, float) noexcept {
    return 0;
}

}  // namespace qel
