// Line breaking and layout. (Placeholder bodies until the layout work lands.)
#include "host/TitleHost.h"

namespace qel {

int TitleHost::BreakLines(int32_t, int32_t, int32_t) { return 0; }
void TitleHost::LayoutString(int32_t) {}

}  // namespace qel
