// The AVX-512 kernels of the view's drawing, put over the portable entries of a table.
#pragma once

#include "viewer/engine/pixel_kernels.h"

// Puts the AVX-512 kernels into the table; false, the table unchanged, where the processor lacks
// the instructions (or the build is not for x86-64).
bool overrideWithAvx512(PixelKernels& kernels);
