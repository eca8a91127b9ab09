// Compiled with the model layer's include path: its own headers and the layers below resolve.
#include "model/Title.h"
#include "platform/FontLinking.h"
