// The kernel tables the drawing's tests run with: each test of a KernelTableTest suite runs once per
// table, skipped (and counted) where this machine lacks the instructions, its views drawn with it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/viewer/engine/viewer_test_support.h"
#include "viewer/engine/pixel_kernel_tables.h"

// The portable table, the AVX2 one, the AVX-512 one, and
// the AVX-512 expander over the portable decoders, which otherwise draw only where a vector decoder
// declines (near the data's ends).
inline const PixelKernels* testKernelsNamed(const std::string& name) {
    static const PixelKernels* avx512 = pixelKernelsNamed("avx512");
    static const PixelKernels expanderOnly{.name = "avx512_expander",
                                           .expandLine = avx512 != nullptr ? avx512->expandLine : nullptr};
    if (name == expanderOnly.name) return avx512 != nullptr ? &expanderOnly : nullptr;
    return pixelKernelsNamed(name.c_str());
}

class KernelTableTest : public ::testing::TestWithParam<std::string> {
   protected:
    void SetUp() override {
        const PixelKernels* kernels = testKernelsNamed(GetParam());
        if (kernels == nullptr) GTEST_SKIP() << GetParam() << " does not run on this machine";
        testKernels = kernels;
    }
    void TearDown() override { testKernels = &fastestPixelKernels(); }
};

// INSTANTIATE_KERNEL_TABLES(Suite): the suite's tests once per table, named by it.
#define INSTANTIATE_KERNEL_TABLES(suite)                                                      \
    INSTANTIATE_TEST_SUITE_P(Kernels, suite,                                                  \
                             ::testing::Values("plain", "avx2", "avx512", "avx512_expander"), \
                             [](const auto& info) { return info.param; })
