// The kernel tables this build has, and the choice of one: the portable table, and each
// instruction set's kernels over it where the processor has the instructions.
#pragma once

#include "viewer/engine/pixel_kernels.h"

// The table without kernels, which every machine runs.
const PixelKernels& portablePixelKernels();
// The fastest table this machine runs: AVX-512 where the processor has it, else AVX2, else the
// portable one.
const PixelKernels& fastestPixelKernels();
// The table of that name ("plain", "avx2", "avx512"), or nullptr when there is none or this machine does
// not run it.
const PixelKernels* pixelKernelsNamed(const char* name);
// The table a program starts with: the one `forced` names (PL_PIXEL_KERNEL's value, or nullptr)
// where this machine runs it, else the fastest.
const PixelKernels& pixelKernelsAtStart(const char* forced);
