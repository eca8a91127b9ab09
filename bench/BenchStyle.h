// The look the frame benchmarks share: a 1920 x 1080 host drawing DejaVu Sans 72 with a border
// of 3 and a shadow offset by 3 and blurred by 3, so that their figures compare.
#pragma once

#include "../tests/render/CompositorFixture.h"

namespace qel::bench {

constexpr int32_t kFrameWidth = 1920, kFrameHeight = 1080;

// maxThreads 0 keeps the host's default.
inline testing::HostPtr StyledHost(int32_t maxThreads = 0) {
    testing::HostPtr host = testing::MakeHost(kFrameWidth, kFrameHeight);
    if (maxThreads > 0) testing::ChangeSettings(*host, [&](RenderSettings& rs) { rs.MaxThreads = maxThreads; });
    testing::SetFont(*host, u"DejaVu Sans", 72);
    MetaBorder border = host->Engine().DefaultBorder();
    border.Size = 3;
    host->SetDefaultBorder(&border);
    MetaShadow shadow = host->Engine().DefaultShadow();
    shadow.OffsetX = shadow.OffsetY = 3;
    shadow.BlurRadius = 3;
    host->SetDefaultShadow(&shadow);
    return host;
}

}  // namespace qel::bench
