// Element-wise functions of doubles on whole runs of data: SLEEF's vector kernels at the
// widest SIMD width this processor runs (8 doubles with AVX-512F, 4 with AVX, else 2),
// chosen once at run time so that one build runs on any x86-64 processor.
#pragma once

#include <cstddef>

#include "math/vector_kernels.h"

namespace mexrt::detail {

// The kernels in use: the widest this processor runs, unless a test chose a narrower width.
const VectorKernels &vectorKernels();

// One function of the table applied to a run, as the element-wise loop skeleton takes it.
struct Vectorised {
  RunKernel VectorKernels::*kernel;
  void run(const double *in, double *out, std::size_t n) const {
    (vectorKernels().*kernel)(in, out, n);
  }
};

}  // namespace mexrt::detail
