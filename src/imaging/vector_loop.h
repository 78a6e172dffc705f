// Marks a hot loop function for vectorisation: compiled at -O3 and cloned
// for AVX2 with the choice made at run time. Integer kernels give the same
// bytes in every clone. GCC only; other compilers (the fuzz build uses
// clang) build the plain version.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#define VIVID_TARGET_CLONES __attribute__((target_clones("avx2", "default")))
#define VIVID_VECTOR_LOOP __attribute__((optimize("O3"), target_clones("avx2", "default")))
#else
#define VIVID_TARGET_CLONES
#define VIVID_VECTOR_LOOP
#endif
