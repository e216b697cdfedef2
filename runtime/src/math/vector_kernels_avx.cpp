// The vector kernels four doubles at a time. This file is compiled with -mavx and its code
// runs only where the processor has AVX; SLEEF then picks its AVX, FMA4 or AVX2 code.
#include <immintrin.h>
#include <sleef.h>

#include "math/vector_kernels.h"
#include "math/vector_lanes.h"

namespace mexrt::detail {

namespace {

template <auto F>  // a SLEEF kernel of this width
void run(const double *in, double *out, std::size_t n) {
  runInLanes<4>(in, out, n,
                [](const double *x, double *y) { _mm256_storeu_pd(y, F(_mm256_loadu_pd(x))); });
}

}  // namespace

const VectorKernels kAvxKernels = {4,
                                   run<Sleef_logd4_u10>,
                                   run<Sleef_log10d4_u10>,
                                   run<Sleef_expd4_u10>,
                                   run<Sleef_sind4_u10>,
                                   run<Sleef_cosd4_u10>,
                                   run<Sleef_sqrtd4>};

}  // namespace mexrt::detail
