// Compiled with the model layer's include path: an include of a higher layer must not resolve.
#include "effects/PathEffect.h"
