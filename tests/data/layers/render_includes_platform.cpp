// Compiled with the render layer's include path: its own headers and the layers below resolve.
#include "platform/AllocationGate.h"
#include "render/Layers.h"
