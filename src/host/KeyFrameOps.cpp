// Key frames and time: slots 50-56. (Placeholder bodies until the key-frame work lands.)
#include "host/TitleHost.h"

namespace qel {

HRESULT TitleHost::SetKeyFrame(int32_t, float, const PathValue*) noexcept { return E_FAIL; }
HRESULT TitleHost::RemoveKeyFrame(int32_t, float) noexcept { return E_FAIL; }
HRESULT TitleHost::ClearKeyFrames(int32_t) noexcept { return E_FAIL; }
int32_t TitleHost::GetKeyFrameCount(int32_t) noexcept { return 0; }
HRESULT TitleHost::GetFirstKeyFrame(int32_t, float*, PathValue*) noexcept { return E_FAIL; }
HRESULT TitleHost::GetNextKeyFrame(int32_t, float*, PathValue*) noexcept { return E_FAIL; }
HRESULT TitleHost::SetTime(int32_t, float) noexcept { return E_FAIL; }

}  // namespace qel
