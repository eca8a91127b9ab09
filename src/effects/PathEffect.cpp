// (Placeholder until the effect protocol lands.)
#include "effects/PathEffect.h"

namespace qel {

void SeedEffectRandom(uint32_t) {}
int32_t EffectRandom() { return 0; }
void PathEffect::SetFrameSize(int32_t width, int32_t height) {
    frameWidth = width;
    frameHeight = height;
}
int PathEffect::SetStringBounds(const float[4], float) { return 1; }
int PathEffect::SetCharCount(int32_t n) {
    charCount = n;
    return 1;
}
int PathEffect::SetCharBox(int32_t, const CharBox&) { return 0; }
int PathEffect::GetCharState(int32_t, int32_t, float, CharState*) { return 1; }
int PathEffect::SetSourceImage(uint8_t*, int32_t, int32_t, int32_t) { return 0; }
int PathEffect::SetTargetImage(uint8_t*, int32_t, int32_t, int32_t) { return 0; }
int PathEffect::SetImageParam(int32_t format) {
    pixelFormat = format;
    return 0;
}
int PathEffect::ProcessImage(float) { return E_FAIL; }
int PathEffect::GetImageRect(RECT* out, const RECT*) {
    *out = {};
    return 0;
}

}  // namespace qel
