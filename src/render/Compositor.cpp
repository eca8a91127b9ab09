// Render (slot 48) and ReleaseCaches (slot 66). (Placeholder bodies until the compositor lands.)
#include "host/TitleHost.h"

namespace qel {

HRESULT TitleHost::Render(uint8_t* pixels, float) noexcept {
    DirtyRect = {};
    return pixels ? E_FAIL : E_INVALIDARG;
}

int32_t TitleHost::ReleaseCaches() noexcept {
    CacheBuffer.reset();
    CacheValid = 0;
    Workers.StopIdleThreads();
    return 0;
}

void TitleHost::RebuildEffect(MetaString&) {}

}  // namespace qel
