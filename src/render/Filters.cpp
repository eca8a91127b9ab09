// (Placeholder until the filters land.)
#include "render/Filters.h"

namespace qel {

int GaussianBlur(uint8_t*, int32_t, int32_t, float) { return 0; }
int BoxBlur(uint8_t*, int32_t, int32_t, float) { return 0; }
int BoxBlurCopy(uint8_t*, const uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; }
int SmoothVertical(uint8_t*, int32_t, int32_t, int32_t) { return 0; }
int SmoothVertical(uint8_t*, int32_t, int32_t, const RECT&) { return 0; }
void RgbToYcc(int, int, int, int* y, int* cb, int* cr) { *y = *cb = *cr = 0; }

}  // namespace qel
