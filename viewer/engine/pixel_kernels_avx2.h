// The AVX2 kernels of the view's drawing (x86-64-v3), put over the portable entries of a table.
#pragma once

#include "viewer/engine/pixel_kernels.h"

// Puts the AVX2 kernels into the table; false, the table unchanged, where the processor lacks
// the instructions (or the build is not for x86-64).
bool overrideWithAvx2(PixelKernels& kernels);
