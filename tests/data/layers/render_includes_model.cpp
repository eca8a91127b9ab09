// Compiled with the render layer's include path: the pixel kernels do not see the title model.
#include "model/TitleModel.h"
