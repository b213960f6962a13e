#include "viewer/engine/pixel_kernel_tables.h"

#include <string_view>

#include "viewer/engine/pixel_kernels_avx2.h"
#include "viewer/engine/pixel_kernels_avx512.h"

namespace {

// The tables this build has: the portable one, and each instruction set's over it where the
// processor has the instructions. Made once; never changed after.
struct KernelTables {
    PixelKernels portable{.name = "plain"};
    PixelKernels avx512 = portable;
    PixelKernels avx2 = portable;
    bool avx512Runs = false;
    bool avx2Runs = false;
};

const KernelTables& kernelTables() {
    static const KernelTables tables = [] {
        KernelTables made;
        made.avx512.name = "avx512";
        made.avx512Runs = overrideWithAvx512(made.avx512);
        made.avx2.name = "avx2";
        made.avx2Runs = overrideWithAvx2(made.avx2);
        return made;
    }();
    return tables;
}

}  // namespace

const PixelKernels& portablePixelKernels() {
    return kernelTables().portable;
}

const PixelKernels& fastestPixelKernels() {
    const KernelTables& tables = kernelTables();
    return tables.avx512Runs ? tables.avx512 : tables.avx2Runs ? tables.avx2 : tables.portable;
}

const PixelKernels* pixelKernelsNamed(const char* name) {
    const KernelTables& tables = kernelTables();
    const std::string_view named = name != nullptr ? name : "";
    if (named == tables.portable.name) return &tables.portable;
    if (named == tables.avx512.name && tables.avx512Runs) return &tables.avx512;
    if (named == tables.avx2.name && tables.avx2Runs) return &tables.avx2;
    return nullptr;
}

const PixelKernels& pixelKernelsAtStart(const char* forced) {
    const PixelKernels* named = pixelKernelsNamed(forced);
    return named != nullptr ? *named : fastestPixelKernels();
}
