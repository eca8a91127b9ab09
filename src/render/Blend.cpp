// (Placeholder until the compositing primitives land.)
#include "render/Blend.h"

namespace qel {

void Premultiply(uint8_t*, int32_t, int32_t, int32_t) {}
void Premultiply(uint8_t*, int32_t, int32_t, const RECT&) {}
void Unpremultiply(uint8_t*, int32_t, int32_t, int32_t) {}
void Unpremultiply(uint8_t*, int32_t, int32_t, const RECT&) {}
void BlendOverKeepAlpha(uint8_t*, const uint8_t*, int32_t, int32_t, int32_t) {}
void BlendOverKeepAlpha(uint8_t*, const uint8_t*, int32_t, int32_t, const RECT&) {}
void BlendOverOpaque(uint8_t*, const uint8_t*, int32_t, int32_t, int32_t) {}
void BlendOverOpaque(uint8_t*, const uint8_t*, int32_t, int32_t, const RECT&) {}
void BlendStraightOpaque(uint8_t*, const uint8_t*, int32_t, int32_t, int32_t) {}
void BlendStraightOpaque(uint8_t*, const uint8_t*, int32_t, int32_t, const RECT&) {}
void MergeFaceOverBorder(uint8_t*, const uint8_t*, int32_t, int32_t, int32_t) {}
void MergeFaceOverBorder(uint8_t*, const uint8_t*, int32_t, int32_t, const RECT&) {}
int PlaceLayer(uint8_t*, int32_t, int32_t, const RECT&, const uint8_t*, int32_t, int32_t, float, float,
               uint8_t) {
    return 0;
}

}  // namespace qel
